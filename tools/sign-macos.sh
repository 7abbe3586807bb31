#!/usr/bin/env bash
# Signs the macOS bridge with the hardened runtime, a secure timestamp and one of two
# entitlements files. The property list with the usage descriptions is already embedded in
# the executable at link time; codesign takes the signing identifier from its
# CFBundleIdentifier.
#
#   default      src/platform/apple/pemrix-bridge.entitlements: the calendar and contacts
#                entitlements, for an app that is not sandboxed.
#   --sandboxed  src/platform/apple/pemrix-bridge-sandboxed.entitlements: exactly
#                com.apple.security.app-sandbox and com.apple.security.inherit, for a helper
#                embedded in a sandboxed app. The helper then inherits the app's sandbox,
#                with its calendar and contacts entitlements; it must carry no other
#                entitlement (macOS ends such a helper at start), and only that app can
#                start it.
#
# Usage: tools/sign-macos.sh [--sandboxed] <identity> [binary]
#   identity  a signing identity from the keychain, e.g. "Developer ID Application: ...",
#             or "-" to sign ad hoc (for testing on the building Mac only)
#   binary    the executable to sign (default: build/macos/pemrix-bridge)
# Runs on macOS only (needs codesign).
set -euo pipefail
cd "$(dirname "$0")/.."

entitlements="src/platform/apple/pemrix-bridge.entitlements"
if [ "${1:-}" = "--sandboxed" ]; then
  entitlements="src/platform/apple/pemrix-bridge-sandboxed.entitlements"
  shift
fi
if [ "$#" -lt 1 ] || [ "$#" -gt 2 ]; then
  echo "usage: $0 [--sandboxed] <identity> [binary]" >&2
  exit 64
fi
identity="$1"
binary="${2:-build/macos/pemrix-bridge}"

if [ ! -f "$binary" ]; then
  echo "sign-macos: no executable at $binary (build it with: cmake --build --preset macos)" >&2
  exit 1
fi

timestamp=(--timestamp)
# An ad hoc signature has no certificate to timestamp.
[ "$identity" = "-" ] && timestamp=()
# ${timestamp[@]+...}: macOS's /bin/bash (3.2) takes an empty array for unset under set -u.
codesign --force --options runtime ${timestamp[@]+"${timestamp[@]}"} --entitlements "$entitlements" \
  -s "$identity" "$binary"

cat <<EOT
Signed $binary with $entitlements. To verify:
  codesign -dv --verbose=4 "$binary"      # identifier app.pemrix.bridge, Info.plist entries, runtime flag
  codesign -d --entitlements - "$binary"  # the entitlements of $entitlements
EOT
