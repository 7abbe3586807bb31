#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset, clang with address and undefined-
# behaviour sanitizers) and runs every target for a bounded time on a copy of its seed
# corpus in a temporary directory; the repository is never written to. Prints the
# executions of each target and fails when any target finds a crash, a broken invariant,
# a leak or a hang. The inputs that failed are kept in a directory named at the end.
#
# Usage: tools/fuzz.sh [seconds-per-target]   (default 60)
set -euo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

work="$(mktemp -d "${TMPDIR:-/tmp}/pemrix-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# Stop at the first report of undefined behaviour, so that it counts as a crash.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

failed=()
while read -r target; do
  [ -n "$target" ] || continue
  dir="$work/$target"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp "fuzz/corpus/$target/"* "$dir/corpus/"
  options=(-max_total_time="$seconds" -timeout=25 -print_final_stats=1
           -artifact_prefix="$dir/artifacts/")
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  status=0
  "build/fuzz/fuzz/$target" "${options[@]}" "$dir/corpus" >"$dir/log" 2>&1 || status=$?
  runs="$(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$dir/log" | tail -n 1 || true)"
  if [ "$status" -eq 0 ] && [ -n "$runs" ]; then
    echo "$target: ${runs#Done }"
  else
    echo "$target: FAILED (exit status $status)"
    tail -n 40 "$dir/log"
    failed+=("$target")
  fi
done < build/fuzz/fuzz-targets.txt

if [ "${#failed[@]}" -gt 0 ]; then
  kept="$(mktemp -d "${TMPDIR:-/tmp}/pemrix-fuzz-failures.XXXXXX")"
  for target in "${failed[@]}"; do
    cp -r "$work/$target/artifacts" "$kept/$target"
    cp "$work/$target/log" "$kept/$target/log"
  done
  echo "fuzzing failed in: ${failed[*]}; inputs and logs kept in $kept"
  exit 1
fi
echo "fuzzing found nothing in $seconds second(s) per target"
