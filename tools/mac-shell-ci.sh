#!/usr/bin/env bash
# Runs the scripts a Mac runs under the shell and the Python a Mac has: tools/macos-smoke.sh,
# every step from host to exchange (with --change-time-zone, its pause answered), its
# --exchange-only form, and tools/sign-macos.sh for both entitlements files, under bash 3.2
# (macOS's /bin/bash) and the exchange under Python 3.9 (a fresh Mac's python3). The Mac's
# tools are stand-ins (tests/mac-stand-ins/: uname, sw_vers, xcrun, cmake, ninja, lipo, otool,
# codesign) and the bridge is the simulator on its demonstration world. Everything runs in a
# scratch copy of the tree, so build/ is left as it is.
#
# Bash 3.2 is built from ../shared/third_party beside the checkout (about a minute). Python
# 3.9 is looked for among pyenv's versions and on PATH; without it the exchange runs under
# python3 and is only checked for Python 3.9 syntax, which the log says.
#
# Usage: tools/mac-shell-ci.sh [--bash-dir DIR] [--python39 PATH|none] [SIMULATOR]
#   --bash-dir  build bash 3.2 there and keep it for the next run (default: a temporary folder)
#   --python39  the Python 3.9 to use, or none to take the syntax-check path
#   SIMULATOR   default build/ci/pemrix-bridge-sim (built earlier by .ci/run)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() {
  echo "usage: $0 [--bash-dir DIR] [--python39 PATH|none] [SIMULATOR]" >&2
  exit 64
}
bash_dir=""
python39=""
simulator="build/ci/pemrix-bridge-sim"
while [ "$#" -gt 0 ]; do
  case "$1" in
    --bash-dir) [ "$#" -ge 2 ] || usage; bash_dir="$2"; shift ;;
    --python39) [ "$#" -ge 2 ] || usage; python39="$2"; shift ;;
    -*) usage ;;
    *) simulator="$1" ;;
  esac
  shift
done
simulator="$(cd "$(dirname "$simulator")" && pwd)/$(basename "$simulator")"
[ -x "$simulator" ] || { echo "mac-shell-ci: no simulator at $simulator" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed() {
  echo "mac-shell-ci FAILED: $1" >&2
  exit 1
}

echo "-- bash 3.2"
builder="$root/../shared/third_party/build-bash-3.2.sh"
[ -f "$builder" ] || failed "no $builder (the shared folder sits beside the checkout)"
bash32="$(bash "$builder" "${bash_dir:-$work/bash}" | tail -n 1)"
bash32="$(cd "$(dirname "$bash32")" && pwd)/$(basename "$bash32")"
"$bash32" --version | head -n 1

echo "-- Python 3.9"
is_python39() {
  [ -x "$1" ] && "$1" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 9))' 2>/dev/null
}
if [ -z "$python39" ]; then
  for candidate in "${PYENV_ROOT:-${HOME:-/root}/.pyenv}"/versions/3.9*/bin/python3.9 \
      "$(command -v python3.9 || true)" /usr/bin/python3.9 /usr/local/bin/python3.9; do
    if is_python39 "$candidate"; then python39="$candidate"; break; fi
  done
fi
mkdir -p "$work/bin" "$work/tmp"
python=python3
syntax_only=""
if [ -n "$python39" ] && [ "$python39" != none ]; then
  is_python39 "$python39" || failed "$python39 is not Python 3.9"
  python="$python39"
else
  syntax_only=" (no Python 3.9 found: the exchange's 3.9 syntax only was checked)"
  echo "NO PYTHON 3.9 FOUND: the exchange runs under $(python3 --version 2>&1) and is checked" \
    "for Python 3.9 syntax only (ast feature_version), which misses 3.10 calls and unions"
  python3 - tools/macos-smoke-exchange.py <<'EOF' || failed "the exchange is not Python 3.9"
import ast, sys
with open(sys.argv[1]) as handle:
    ast.parse(handle.read(), sys.argv[1], feature_version=(3, 9))
EOF
fi
# python3 on PATH runs the interpreter itself, not a launcher (pyenv's are bash 4 scripts).
python="$("$python" -c 'import sys; print(sys.executable)')"
printf '#!/bin/sh\nexec %q "$@"\n' "$python" >"$work/bin/python3"
chmod +x "$work/bin/python3"
# Scripts that start with #!/usr/bin/env bash get bash 3.2, as on a Mac.
ln -s "$bash32" "$work/bin/bash"

echo "-- scratch copy of the tree"
tree="$work/tree"
mkdir -p "$tree"
git ls-files -z --cached --others --exclude-standard |
  tar --null --files-from=- --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$tree"

export PATH="$work/bin:$root/tests/mac-stand-ins:$PATH"
export TMPDIR="$work/tmp/"  # macOS's ends with a slash
export MAC_STAND_IN_SIMULATOR="$simulator" MAC_STAND_IN_WORLD=""
unset PEMRIX_BRIDGE_WORLD
[ "$(bash -c 'echo "${BASH_VERSINFO[0]}.${BASH_VERSINFO[1]}"')" = 3.2 ] ||
  failed "bash on PATH is not 3.2"
echo "bash on PATH: $(bash --version | head -n 1); python3 on PATH: $(python3 --version 2>&1)"
cd "$tree"

# Runs one command, its output in $work/<name>.log; fails unless it exits with the status
# given and its output holds each pattern (grep -E) that follows.
check_run() {
  local name="$1" want="$2" status=0 pattern
  shift 2
  local command=()
  while [ "$1" != -- ]; do command+=("$1"); shift; done
  shift
  echo "-- $name: ${command[*]}"
  "${command[@]}" >"$work/$name.log" 2>&1 || status=$?
  sed 's/^/   /' "$work/$name.log"
  [ "$status" -eq "$want" ] || failed "$name: exit status $status, expected $want"
  for pattern in "$@"; do
    grep -q -E -e "$pattern" "$work/$name.log" || failed "$name: no line matches: $pattern"
  done
}

# The whole first-Mac run, started as docs/macos.md says (through the shebang). Return for the
# time-zone pause comes 15 s after the start, when the exchange has kept the bridge alive once.
(sleep 15; echo) | check_run smoke 0 tools/macos-smoke.sh --change-time-zone -- \
  'every step passed' 'macOS 14\.6\.1 \(23G93\) on arm64' 'architectures: x86_64 arm64' \
  'signed ad hoc: identifier app\.pemrix\.bridge' \
  'after the time-zone change .* kept their local time' 'shutdown: exit status 0'
# The exchange-only form, with the access requests of a first run.
PEMRIX_BRIDGE_WORLD="$root/tests/macos-smoke/first-run.json" check_run exchange-only 0 </dev/null \
  "$bash32" tools/macos-smoke.sh --exchange-only "$simulator" --window-start 2024-05-01T00:00:00Z -- \
  'contacts: notDetermined -> limited \(asked in this run\)'
# A signature with a certificate and the sandbox entitlements (through the shebang, as on a Mac).
check_run sign-sandboxed 0 </dev/null tools/sign-macos.sh --sandboxed \
  "Developer ID Application: Stand-in (ABCDE12345)" build/macos/pemrix-bridge -- \
  'pemrix-bridge-sandboxed\.entitlements'
check_run sandboxed-details 0 </dev/null codesign -dv --verbose=4 build/macos/pemrix-bridge -- \
  'flags=0x10000\(runtime\)' 'Timestamp=' 'Info\.plist entries=12'
check_run sandboxed-entitlements 0 </dev/null codesign -d --entitlements - build/macos/pemrix-bridge -- \
  'com\.apple\.security\.app-sandbox' 'com\.apple\.security\.inherit'
check_run sign-usage 64 </dev/null tools/sign-macos.sh -- 'usage:'
check_run smoke-usage 64 </dev/null "$bash32" tools/macos-smoke.sh --exchange-only -- 'usage:'
echo "mac-shell-ci: the Mac's scripts ran under bash 3.2 and $(python3 --version 2>&1)$syntax_only"
