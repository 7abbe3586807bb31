#!/usr/bin/env bash
# Signs the macOS bridge with the hardened runtime, a secure timestamp and the calendar and
# contacts entitlements (src/platform/apple/pemrix-bridge.entitlements). The property list
# with the usage descriptions is already embedded in the executable at link time; codesign
# takes the signing identifier from its CFBundleIdentifier.
#
# Usage: tools/sign-macos.sh <identity> [binary]
#   identity  a signing identity from the keychain, e.g. "Developer ID Application: ..."
#   binary    the executable to sign (default: build/macos/pemrix-bridge)
# Runs on macOS only (needs codesign).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$#" -lt 1 ] || [ "$#" -gt 2 ]; then
  echo "usage: $0 <identity> [binary]" >&2
  exit 64
fi
identity="$1"
binary="${2:-build/macos/pemrix-bridge}"
entitlements="src/platform/apple/pemrix-bridge.entitlements"

if [ ! -f "$binary" ]; then
  echo "sign-macos: no executable at $binary (build it with: cmake --build --preset macos)" >&2
  exit 1
fi

codesign --force --options runtime --timestamp --entitlements "$entitlements" \
  -s "$identity" "$binary"

cat <<EOT
Signed $binary. To verify:
  codesign -dv --verbose=4 "$binary"      # identifier app.pemrix.bridge, Info.plist entries, runtime flag
  codesign -d --entitlements - "$binary"  # the calendars and addressbook entitlements, both true
EOT
