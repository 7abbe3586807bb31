#!/usr/bin/env bash
# A bounded fault run of pemrix-bridge over a private evolution-data-server store
# (tools/eds-faults.py, inside tools/eds-session.sh with tests/eds/worlds/store.json):
# mixed requests while EDS services are killed and sources come and go. With --akonadi
# the same run over a private Akonadi store (inside tools/akonadi-session.sh): its server
# and resources killed, its resources removed during the reads, and at the end the session
# bus taken away. Fails on any lost or duplicated answer, any byte on standard error, or a
# bridge that ended other than as documented.
#
#   tools/eds-faults.sh [--akonadi] [--seconds N] [--seed N] [--bridge PATH]
#
# Builds pemrix-bridge and pemrix-eds-seed in the ci preset (build/ci) unless --bridge
# names another bridge (the seeding tool still comes from build/ci).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60 seed=1 bridge="" akonadi=""
while [ $# -gt 0 ]; do
  case "$1" in
    --akonadi) akonadi=1; shift ;;
    --seconds) seconds=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --bridge) bridge=$2; shift 2 ;;
    *) echo "usage: tools/eds-faults.sh [--akonadi] [--seconds N] [--seed N] [--bridge PATH]" >&2
       exit 64 ;;
  esac
done

cmake --preset ci >/dev/null
if [ -n "$akonadi" ]; then
  cmake --build --preset ci -j2 --target pemrix-bridge pemrix-backend-akonadi >/dev/null
  tools/akonadi-session.sh --world tests/eds/worlds/store.json -- \
    python3 tools/eds-faults.py "${bridge:-build/ci/pemrix-bridge}" "$seconds" "$seed" --akonadi
else
  cmake --build --preset ci -j2 --target pemrix-bridge pemrix-eds-seed >/dev/null
  PEMRIX_EDS_SEED=build/ci/pemrix-eds-seed tools/eds-session.sh \
    --world tests/eds/worlds/store.json -- \
    python3 tools/eds-faults.py "${bridge:-build/ci/pemrix-bridge}" "$seconds" "$seed"
fi
