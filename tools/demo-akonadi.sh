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
# The exchange names the sources by the identifiers Akonadi gave their collections.
# shellcheck disable=SC2016  # expanded inside the session
tools/akonadi-session.sh --world "$world" -- bash -c \
  'bash tools/demo-exchange.sh build/default/pemrix-bridge $(python3 tools/akonadi-collections.py --world-ids)'
