#!/usr/bin/env bash
# Builds the simulator and has it answer a few requests on its demonstration world, one
# at a time as the app does (a store request must be answered before the next is sent).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target pemrix-bridge-sim
bash tools/demo-exchange.sh build/default/pemrix-bridge-sim
