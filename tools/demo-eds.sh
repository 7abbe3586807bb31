#!/usr/bin/env bash
# Builds the bridge for Linux desktops and has it answer a few requests over a private,
# headless evolution-data-server store seeded with the demonstration world, one at a time
# as the app does (a store request must be answered before the next is sent). Like
# tools/demo.sh, but every answer comes from a real store; the demonstration world's
# dates follow the day of the run.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default --target pemrix-bridge pemrix-eds-seed >/dev/null
world=$(mktemp "${TMPDIR:-/tmp}/pemrix-demo-world.XXXXXX.json")
trap 'rm -f "$world"' EXIT
build/default/pemrix-eds-seed --demo-world >"$world"
PEMRIX_EDS_SEED=build/default/pemrix-eds-seed \
  tools/eds-session.sh --world "$world" -- bash tools/demo-exchange.sh build/default/pemrix-bridge
