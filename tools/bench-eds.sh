#!/usr/bin/env bash
# Benchmarks of the bridge over evolution-data-server against the raw EDS calls for the
# same work (tools/bench-eds.py), in a private headless store. Builds the bench preset.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target pemrix-bridge pemrix-eds-seed pemrix-eds-raw >/dev/null
PEMRIX_EDS_SEED=build/bench/pemrix-eds-seed tools/eds-session.sh -- \
  python3 tools/bench-eds.py build/bench/pemrix-bridge build/bench/pemrix-eds-seed \
  build/bench/pemrix-eds-raw
