#!/usr/bin/env bash
# Builds the bridge for Linux desktops with its Akonadi module and has it answer a few
# requests over a private, headless Akonadi store (KDE Plasma's) made from the
# demonstration world, one at a time as the app does. Like tools/demo-eds.sh, but the
# answers come from Akonadi; the demonstration world's dates follow the day of the run.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default --target pemrix-bridge pemrix-backend-akonadi pemrix-eds-seed >/dev/null
world=$(mktemp "${TMPDIR:-/tmp}/pemrix-demo-world.XXXXXX.json")
trap 'rm -f "$world"' EXIT
build/default/pemrix-eds-seed --demo-world >"$world"
tools/akonadi-session.sh --world "$world" -- bash tools/demo-exchange.sh build/default/pemrix-bridge
