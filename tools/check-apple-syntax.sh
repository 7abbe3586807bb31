#!/usr/bin/env bash
# Compiles the macOS adapters (every .mm file under src/platform/apple/), their plain C++
# parts (the .cc files there), the product entry (src/main.cc) and the conformance suite's
# EventKit and Contacts writer (tests/conformance/apple_backend.mm) in syntax-only mode for
# the macOS deployment target, against the declarations of Apple's API in tests/apple-sdk/,
# on a host without Apple's SDK. It proves
# that the Objective-C++ parses, that every selector, type and constant the adapters use
# exists with Apple's documented signature, that ARC accepts the code, and that every use of
# an API newer than the deployment target sits behind `@available`
# (-Werror=unguarded-availability-new), as Apple's compiler checks it. It does not build,
# link or run anything.
#
# Every file is compiled for two targets, as the universal build compiles it:
# x86_64-apple-macos<target>, where BOOL is `signed char`, and arm64-apple-macos<target>,
# where it is `bool`, so type mistakes that only one architecture shows fail. The deployment
# target is CMAKE_OSX_DEPLOYMENT_TARGET of the "macos" preset (CMakePresets.json). As there,
# a call deprecated after the target (requestAccessToEntityType:completion:, deprecated in
# macOS 14, on the path for older systems) compiles without a warning, and one deprecated at
# or before the target fails. The C and C++ libraries are the host's (glibc, and the
# compiler's libc++ with its availability markup for Apple platforms on), with the few
# stand-ins that compiles for Apple targets need over glibc in tests/apple-sdk/linux-host/.
#
# Usage: tools/check-apple-syntax.sh [--sdk DIR] [--mode signed-char|bool]
#        tools/check-apple-syntax.sh --self-test
#   --sdk DIR   declarations to compile against (default tests/apple-sdk)
#   --mode      one BOOL mode (target) only (default: both)
#   --self-test proves that the check fails, in each mode, on copies of the declarations
#               and of the adapters with a deliberate mistake, and passes on them as they are
# Compiler: $PEMRIX_CLANGXX, else clang++-22 where installed, else clang++; it needs libc++'s
# headers (Debian: clang-22, libc++-22-dev).
# Exit status: 0 when every file compiles, 1 when any does not (each failure is reported).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -n "${PEMRIX_CLANGXX:-}" ]; then
  compiler="$PEMRIX_CLANGXX"
elif command -v clang++-22 >/dev/null 2>&1; then
  compiler=clang++-22
else
  compiler=clang++
fi
if ! command -v "$compiler" >/dev/null 2>&1; then
  echo "check-apple-syntax: compiler '$compiler' not found" >&2
  exit 1
fi

deployment_target="$(sed -n 's/.*"CMAKE_OSX_DEPLOYMENT_TARGET": *"\([0-9.]*\)".*/\1/p' CMakePresets.json)"
if [ -z "$deployment_target" ]; then
  echo "check-apple-syntax: no CMAKE_OSX_DEPLOYMENT_TARGET in CMakePresets.json" >&2
  exit 1
fi

sdk="tests/apple-sdk"
modes=(signed-char bool)
self_test=0
while [ "$#" -gt 0 ]; do
  case "$1" in
    --sdk) sdk="$2"; shift 2 ;;
    --mode) modes=("$2"); shift 2 ;;
    --self-test) self_test=1; shift ;;
    *) echo "usage: $0 [--sdk DIR] [--mode signed-char|bool] | --self-test" >&2; exit 64 ;;
  esac
done

shopt -s nullglob
sources=(src/platform/apple/*.mm)
if [ "${#sources[@]}" -eq 0 ]; then
  echo "check-apple-syntax: no .mm files under src/platform/apple/" >&2
  exit 1
fi
plain=(src/platform/apple/*.cc)
# The conformance backend includes the suite's headers (tests/) and GoogleTest's (the host's).
conformance_backend=tests/conformance/apple_backend.mm

# The compiler's own include directories for its Linux target, in order (libc++'s, clang's,
# the C library's): an Apple target would look for them in an SDK that is not here.
host_includes=()
have_libcxx=0
while IFS= read -r directory; do
  host_includes+=(-isystem "$directory")
  [ -f "$directory/__config_site" ] && have_libcxx=1
done < <("$compiler" -stdlib=libc++ -x c++ -E -v - </dev/null 2>&1 \
           | sed -n '/^#include <...> search starts here:/,/^End of search list./{/^ /s/^ *//p}')
if [ "$have_libcxx" -eq 0 ]; then
  echo "check-apple-syntax: $compiler has no libc++ headers (Debian: libc++-22-dev)" >&2
  exit 1
fi

# Compiles `$3...` (default: every adapter, its plain C++ parts, the conformance backend
# and src/main.cc) against the declarations in `$1`
# for the target of BOOL mode `$2`; prints one line per file. With first_failure_ends=1 it
# stops at the first file that fails.
first_failure_ends=0
check_all() {
  local declarations="$1" mode="$2" failed=0 arch=x86_64
  shift 2
  local files=("$@")
  [ "${#files[@]}" -eq 0 ] && files=("${sources[@]}" "${plain[@]}" "$conformance_backend" src/main.cc)
  [ "$mode" = bool ] && arch=arm64
  local common=(-target "$arch-apple-macos$deployment_target" -std=c++20 -fsyntax-only -fblocks
                -nostdinc -nostdinc++ -U__nonnull -D_GNU_SOURCE
                -isystem "$declarations/linux-host" "${host_includes[@]}"
                -DPEMRIX_PLATFORM_APPLE -I src -I tests -I "$declarations"
                -Wall -Wextra -Wshadow -Wunguarded-availability
                -Werror=unguarded-availability-new -Werror)
  local file language
  for file in "${files[@]}"; do
    # The entry point and the plain parts are C++ files in the product build: compiling the
    # entry as C++ also proves that the headers it reaches (platform/system.h,
    # platform/apple/apple_system.h) are plain C++.
    language=(-x objective-c++ -fobjc-arc -fobjc-exceptions)
    [ "${file##*.}" = cc ] && language=(-x c++)
    if "$compiler" "${language[@]}" "${common[@]}" "$file"; then
      echo "ok      [$mode] $file"
    else
      echo "FAILED  [$mode] $file" >&2
      failed=$((failed + 1))
      [ "$first_failure_ends" -eq 1 ] && break
    fi
  done
  return "$failed"
}

if [ "$self_test" -eq 0 ]; then
  failed=0
  for mode in "${modes[@]}"; do
    check_all "$sdk" "$mode" || failed=$((failed + $?))
  done
  if [ "$failed" -ne 0 ]; then
    echo "check-apple-syntax: $failed compilation(s) failed" >&2
    exit 1
  fi
  echo "check-apple-syntax: ${#sources[@]} Objective-C++ adapter(s), ${#plain[@]} C++ file(s)," \
       "$conformance_backend and src/main.cc compile" \
       "for macOS $deployment_target in mode(s): ${modes[*]}"
  exit 0
fi

# Self-test. Each case edits copies of the declarations or of the adapters with sed and
# states, per mode, whether the check must pass or fail on them.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
problems=0
first_failure_ends=1  # a case's outcome is known at its first failure

# expect <name> <what to edit> <sed expression> <signed-char outcome> <bool outcome>
#   <what to edit>: "declarations" (every file is compiled against the edited copy),
#   "declarations:FILE..." (only FILE... are), or the adapters FILE... (copies of them are
#   edited and compiled, each must change)
expect() {
  local name="$1" what="$2" edit="$3" want_signed="$4" want_bool="$5"
  rm -rf "$scratch/sdk" "$scratch/src"
  cp -R tests/apple-sdk "$scratch/sdk"
  mkdir -p "$scratch/src"
  local edited=() compiled=() file
  case "$what" in
    declarations) edited=("$scratch/sdk/apple_declarations.h") ;;
    declarations:*)
      edited=("$scratch/sdk/apple_declarations.h")
      read -r -a compiled <<<"${what#declarations:}" ;;
    *)
      for file in $what; do
        cp "$file" "$scratch/src/"
        edited+=("$scratch/src/$(basename "$file")")
      done
      compiled=("${edited[@]}") ;;
  esac
  for file in "${edited[@]}"; do
    [ -n "$edit" ] || continue
    cp "$file" "$file.orig"
    sed -i -e "$edit" "$file"
    if cmp -s "$file" "$file.orig"; then
      echo "FAILED  self-test $name: the edit changed nothing in $file" >&2
      problems=$((problems + 1))
      return
    fi
  done
  local mode want got
  for mode in signed-char bool; do
    want="$want_signed"
    [ "$mode" = bool ] && want="$want_bool"
    if check_all "$scratch/sdk" "$mode" "${compiled[@]}" >/dev/null 2>&1; then got=pass; else got=fail; fi
    if [ "$got" = "$want" ]; then
      echo "ok      self-test [$mode] $name: $got"
    else
      echo "FAILED  self-test [$mode] $name: expected $want, got $got" >&2
      problems=$((problems + 1))
    fi
  done
}

expect "declarations as they are" declarations "" pass pass
# A selector that Apple does not have.
expect "misspelt selector" declarations \
  's/predicateForEventsWithStartDate:(NSDate\*)startDate/predicateForEventsStartingDate:(NSDate*)startDate/' \
  fail fail
# A selector of the conformance backend's writer that Apple does not have: the backend is
# compiled against the same declarations.
expect "misspelt selector of the conformance writer" "declarations:$conformance_backend" \
  's/- (BOOL)saveCalendar:(EKCalendar\*)calendar/- (BOOL)storeCalendar:(EKCalendar*)calendar/' \
  fail fail
# A parameter type that is wrong on every architecture.
expect "wrong parameter type" declarations \
  's/- (void)addObject:(ObjectType)anObject;/- (void)addObject:(NSUInteger)anObject;/' \
  fail fail
# The stop flag spelt as `signed char *`: the same type as BOOL * on x86_64, so only the
# arm64 target can tell the declaration is wrong.
expect "stop flag that is only right on x86_64" declarations \
  's/typedef void (^EKEventSearchCallback)(EKEvent\* event, BOOL\* stop);/typedef void (^EKEventSearchCallback)(EKEvent* event, signed char* stop);/' \
  pass fail
# Every `@available` guard in the adapters taken away: the macOS 14 calls behind them are then
# reachable on macOS 12.
guarded="$(grep -l '@available' "${sources[@]}" | tr '\n' ' ' || true)"
if [ -z "${guarded// /}" ]; then
  echo "FAILED  self-test: no adapter has an @available guard to take away" >&2
  problems=$((problems + 1))
else
  expect "@available guard taken away" "$guarded" 's/@available([^)]*)/true/g' fail fail
fi
# The access call for older systems deprecated at the deployment target instead of after it:
# a deprecated call that the target reaches fails, as in the real build.
expect "fallback call deprecated at the target" "declarations:$guarded" \
  "s/macos(10\.9, 14\.0)/macos(10.9, $deployment_target)/" fail fail

if [ "$problems" -ne 0 ]; then
  echo "check-apple-syntax: self-test found $problems problem(s)" >&2
  exit 1
fi
echo "check-apple-syntax: self-test passed"
