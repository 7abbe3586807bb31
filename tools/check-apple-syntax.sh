#!/usr/bin/env bash
# Compiles the macOS adapters (every .mm file under src/platform/apple/) and the product
# entry (src/main.cc) in syntax-only mode, against the declarations of Apple's API in
# tests/apple-sdk/, on a host without Apple's SDK. It proves that the Objective-C++ parses,
# that every selector, type and constant the adapters use exists with Apple's documented
# signature, and that ARC accepts the code. It does not build, link or run anything.
#
# Every file is compiled twice: with BOOL as `signed char` (x86_64) and with BOOL as `bool`
# (arm64, OBJC_BOOL_IS_BOOL=1), so type mistakes that only one architecture shows fail here.
#
# Usage: tools/check-apple-syntax.sh [--sdk DIR] [--mode signed-char|bool]
#        tools/check-apple-syntax.sh --self-test
#   --sdk DIR   declarations to compile against (default tests/apple-sdk)
#   --mode      one BOOL mode only (default: both)
#   --self-test proves that the check fails, in each mode, on copies of the declarations
#               with a deliberate mistake, and passes on the declarations as they are
# Compiler: $PEMRIX_CLANGXX or clang++.
# Exit status: 0 when every file compiles, 1 when any does not (each failure is reported).
set -euo pipefail
cd "$(dirname "$0")/.."

compiler="${PEMRIX_CLANGXX:-clang++}"
if ! command -v "$compiler" >/dev/null 2>&1; then
  echo "check-apple-syntax: compiler '$compiler' not found" >&2
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

# Compiles everything against `$1` in BOOL mode `$2`; prints one line per file.
check_all() {
  local declarations="$1" mode="$2" failed=0 bool_flag=0
  [ "$mode" = bool ] && bool_flag=1
  local common=(-std=c++20 -fsyntax-only -fblocks -DPEMRIX_PLATFORM_APPLE -DOBJC_BOOL_IS_BOOL="$bool_flag"
                -I src -I "$declarations" -Wall -Wextra -Wshadow -Werror)
  local objc=(-fobjc-runtime=macosx-14.0 -fobjc-arc -fobjc-exceptions)
  local file
  for file in "${sources[@]}"; do
    if "$compiler" -x objective-c++ "${objc[@]}" "${common[@]}" "$file"; then
      echo "ok      [$mode] $file"
    else
      echo "FAILED  [$mode] $file" >&2
      failed=$((failed + 1))
    fi
  done
  # The entry point is a C++ file in the product build: compiling it as C++ also proves that
  # the headers it reaches (platform/system.h, platform/apple/apple_system.h) are plain C++.
  if "$compiler" -x c++ -fobjc-runtime=macosx-14.0 "${common[@]}" src/main.cc; then
    echo "ok      [$mode] src/main.cc"
  else
    echo "FAILED  [$mode] src/main.cc" >&2
    failed=$((failed + 1))
  fi
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
  echo "check-apple-syntax: ${#sources[@]} Objective-C++ file(s) and src/main.cc compile" \
       "in mode(s): ${modes[*]}"
  exit 0
fi

# Self-test. Each case edits a copy of the declarations with sed and states, per mode,
# whether the check must pass or fail on it.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
problems=0

# expect <name> <sed expression> <signed-char outcome> <bool outcome>
expect() {
  local name="$1" edit="$2" want_signed="$3" want_bool="$4"
  rm -rf "$scratch/sdk"
  cp -R tests/apple-sdk "$scratch/sdk"
  if [ -n "$edit" ]; then
    sed -i.orig -e "$edit" "$scratch/sdk/apple_declarations.h"
    if cmp -s "$scratch/sdk/apple_declarations.h" "$scratch/sdk/apple_declarations.h.orig"; then
      echo "self-test: case '$name' changed nothing in the declarations" >&2
      problems=$((problems + 1))
      return
    fi
  fi
  local mode want got
  for mode in signed-char bool; do
    want="$want_signed"
    [ "$mode" = bool ] && want="$want_bool"
    if check_all "$scratch/sdk" "$mode" >/dev/null 2>&1; then got=pass; else got=fail; fi
    if [ "$got" = "$want" ]; then
      echo "ok      self-test [$mode] $name: $got"
    else
      echo "FAILED  self-test [$mode] $name: expected $want, got $got" >&2
      problems=$((problems + 1))
    fi
  done
}

expect "declarations as they are" "" pass pass
# A selector that Apple does not have.
expect "misspelt selector" \
  's/predicateForEventsWithStartDate:(NSDate\*)startDate/predicateForEventsStartingDate:(NSDate*)startDate/' \
  fail fail
# A parameter type that is wrong on every architecture.
expect "wrong parameter type" \
  's/- (void)addObject:(ObjectType)anObject;/- (void)addObject:(NSUInteger)anObject;/' \
  fail fail
# The stop flag spelt as `signed char *`: the same type as BOOL * on x86_64, so only the
# arm64 mode can tell the declaration is wrong.
expect "stop flag that is only right on x86_64" \
  's/typedef void (^EKEventSearchCallback)(EKEvent\* event, BOOL\* stop);/typedef void (^EKEventSearchCallback)(EKEvent* event, signed char* stop);/' \
  pass fail

if [ "$problems" -ne 0 ]; then
  echo "check-apple-syntax: self-test found $problems problem(s)" >&2
  exit 1
fi
echo "check-apple-syntax: self-test passed"
