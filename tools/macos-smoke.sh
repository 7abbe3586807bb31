#!/usr/bin/env bash
# First-Mac smoke test of the bridge: run it once on a Mac, from Terminal.app, and paste the
# report it prints into an issue. It stops at the first step that does not hold and says which
# and why, with the folder of its logs.
#
#   1. host       macOS, and the tools: cmake, ninja, python3, codesign, otool, lipo
#   2. build      the universal release binary (preset macos: warnings are errors, utf8proc and
#                 nlohmann/json built from their pinned source releases); any availability
#                 warning (a call newer than macOS 12 without @available) fails the step
#   3. slices     `lipo -archs` lists both arm64 and x86_64
#   4. linkage    `otool -arch all -L`: every slice links only system libraries (/usr/lib,
#                 /System/Library)
#   5. signature  signed ad hoc with the hardened runtime and the entitlements
#                 (tools/sign-macos.sh -), verified, with the embedded Info.plist
#   6. exchange   tools/macos-smoke-exchange.py: "status"; "request-permission" for each source
#                 not yet decided or write-only (answer the prompts, which name the terminal);
#                 "list-sources" and a "query" of each readable kind; "shutdown". Nothing may
#                 appear on standard error, the process must exit with status 0, and at least
#                 one source must have been read.
#
# Usage: tools/macos-smoke.sh [--allow-denied] [--change-time-zone]
#        tools/macos-smoke.sh --exchange-only <bridge> [--window-start <UTC timestamp>]
#                             [--expect-items] [--allow-denied] [--change-time-zone]
#   --allow-denied      pass even when every source is denied (nothing was read)
#   --change-time-zone  pause after the reminders query for a change of the Mac's time zone,
#                       then query the events (an all-day event is needed) and the reminders
#                       again in the same bridge process
#   --exchange-only     only step 6, against any bridge executable (the continuous integration
#                       runs it against pemrix-bridge-sim and a world file)
#   --window-start      start of the events and reminders windows (default: now, minus a day)
#   --expect-items      every query of a readable source must return at least one item
# Exit status: 0 when every step holds; 1 at the first that does not; 64 for a wrong usage.
set -Eeuo pipefail
cd "$(dirname "$0")/.."

exchange=tools/macos-smoke-exchange.py
usage() {
  echo "usage: $0 [--allow-denied] [--change-time-zone]" >&2
  echo "       $0 --exchange-only <bridge> [exchange options]" >&2
  exit 64
}

if [ "${1:-}" = "--exchange-only" ]; then
  shift
  [ "$#" -ge 1 ] || usage
  exec python3 "$exchange" "$@"
fi
exchange_options=()
while [ "$#" -gt 0 ]; do
  case "$1" in
    --allow-denied | --change-time-zone) exchange_options+=("$1") ;;
    *) usage ;;
  esac
  shift
done

logs="$(mktemp -d "${TMPDIR:-/tmp}/pemrix-smoke.XXXXXX")" || {
  echo "SMOKE TEST FAILED at step 0 (setup): mktemp -d could not make a folder for the logs"
  exit 1
}
report=()
step_number=0
current="setup"

begin() {
  step_number=$((step_number + 1))
  current="$1"
  echo "== $step_number. $current"
}
# Stops the run at the current step with a reason.
fail() {
  echo
  echo "SMOKE TEST FAILED at step $step_number ($current): $1"
  echo "Logs: $logs"
  exit 1
}
# Anything else that fails stops the run the same way, not silently.
trap 'fail "unexpected failure (exit status $?) of: $BASH_COMMAND"' ERR
note() {
  report+=("$1")
  echo "   $1"
}
# Runs one tool with its standard output in $logs/<name>.out and its standard error in
# $logs/<name>.err; when it fails, the run stops at the current step and shows both.
run_tool() {
  local name="$1" status=0
  shift
  "$@" >"$logs/$name.out" 2>"$logs/$name.err" || status=$?
  [ "$status" -eq 0 ] || fail "\`$*\` failed with exit status $status; the end of its output
($logs/$name.out and $logs/$name.err):
$(tail -n 30 "$logs/$name.out" "$logs/$name.err")"
}
# The first line a tool wrote on standard output.
first_line() {
  head -n 1 "$logs/$1.out"
}

begin "host"
run_tool uname uname -s
[ "$(first_line uname)" = Darwin ] || fail "this is $(first_line uname), not macOS"
for tool in cmake ninja python3 codesign otool lipo sw_vers xcrun; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool not found"
done
run_tool product sw_vers -productVersion
run_tool build-version sw_vers -buildVersion
run_tool machine uname -m
run_tool clang xcrun clang --version
run_tool cmake cmake --version
note "macOS $(first_line product) ($(first_line build-version)) on $(first_line machine)"
note "$(first_line clang); $(first_line cmake)"

begin "build"
started=$(date +%s)
run_tool configure cmake --preset macos
grep -q '^PEMRIX_WARNINGS_AS_ERRORS:BOOL=ON$' build/macos/CMakeCache.txt ||
  fail "the macos preset does not build with warnings as errors (PEMRIX_WARNINGS_AS_ERRORS)"
build_status=0
cmake --build --preset macos >"$logs/build.log" 2>&1 || build_status=$?
# Availability diagnostics, as warnings or as errors: a call newer than macOS 12 outside
# @available would fail at run time on older systems.
if grep -E 'W(unguarded|partial)-availability' "$logs/build.log" >"$logs/availability.log"; then
  fail "availability diagnostics ($(wc -l <"$logs/availability.log" | tr -d ' ') lines, in
$logs/availability.log; guard the calls with @available):
$(head -n 10 "$logs/availability.log")"
fi
[ "$build_status" -eq 0 ] ||
  fail "build failed with exit status $build_status; the end of $logs/build.log:
$(tail -n 30 "$logs/build.log")"
binary="build/macos/pemrix-bridge"
[ -x "$binary" ] || fail "no executable at $binary"
if grep -q 'warning:' "$logs/build.log"; then
  note "build warnings outside the project's own code: $(grep -c 'warning:' "$logs/build.log") (see $logs/build.log)"
fi
note "built in $(($(date +%s) - started)) s; $(wc -c <"$binary" | tr -d ' ') bytes"

begin "slices"
run_tool lipo lipo -archs "$binary"
archs="$(first_line lipo)"
for arch in arm64 x86_64; do
  case " $archs " in
    *" $arch "*) ;;
    *) fail "no $arch slice (lipo -archs: $archs)" ;;
  esac
done
note "architectures: $archs"

begin "linkage"
run_tool otool otool -arch all -L "$binary"
# A header line names each slice ("<file> (architecture arm64):"); the indented lines under it
# each name one library, followed by its versions in parentheses.
for arch in arm64 x86_64; do
  awk -v header="(architecture $arch):" '
    /^[^ \t]/ { inside = index($0, header) > 0; next }
    inside && NF { print $1 }' "$logs/otool.out" >"$logs/libraries-$arch.txt"
  [ -s "$logs/libraries-$arch.txt" ] ||
    fail "otool lists no libraries for the $arch slice (see $logs/otool.out)"
  if grep -v -E '^(/usr/lib/|/System/Library/)' "$logs/libraries-$arch.txt" >"$logs/foreign-$arch.txt"; then
    fail "the $arch slice links libraries outside the system: $(tr '\n' ' ' <"$logs/foreign-$arch.txt")"
  fi
done
libraries="$(sed 's|.*/||' "$logs"/libraries-*.txt | sort -u | xargs)"
note "both slices link only system libraries: $libraries"

begin "signature"
run_tool sign tools/sign-macos.sh - "$binary"
run_tool verify codesign --verify --strict "$binary"
run_tool details codesign -dv --verbose=4 "$binary"
details="$(cat "$logs/details.out" "$logs/details.err")"
grep -q 'Identifier=app.pemrix.bridge' <<<"$details" ||
  fail "signing identifier is not app.pemrix.bridge (the embedded Info.plist is missing?)"
grep -q 'Info.plist entries=12' <<<"$details" || fail "the embedded Info.plist does not have 12 entries"
grep -q 'runtime' <<<"$details" || fail "no hardened runtime flag"
run_tool entitlements codesign -d --entitlements - "$binary"
entitlements="$(cat "$logs/entitlements.out" "$logs/entitlements.err")"
for key in com.apple.security.personal-information.calendars \
           com.apple.security.personal-information.addressbook; do
  grep -q "$key" <<<"$entitlements" || fail "entitlement $key missing"
done
note "signed ad hoc: identifier app.pemrix.bridge, hardened runtime, 12 Info.plist entries, both entitlements"

begin "exchange"
exchange_status=0
python3 "$exchange" "$binary" --stderr-log "$logs/bridge-stderr.log" \
  ${exchange_options[@]+"${exchange_options[@]}"} >"$logs/exchange.out" || exchange_status=$?
[ "$exchange_status" -eq 0 ] ||
  fail "$(cat "$logs/exchange.out") (exit status $exchange_status of $exchange)"
while IFS= read -r line; do note "${line#  }"; done <"$logs/exchange.out"

echo
echo "---- smoke report (paste into an issue) ----"
echo "pemrix-bridge smoke test: every step passed ($(git rev-parse --short HEAD 2>/dev/null || echo 'no git'))"
for line in "${report[@]}"; do echo "- $line"; done
echo "--------------------------------------------"
rm -rf "$logs"
