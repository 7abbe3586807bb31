#!/usr/bin/env bash
# The Node.js client's CI steps: Node.js and npm (Debian's packages where the machine has
# none), lock files without download addresses, then `npm ci` and `npm test` in
# clients/node against the simulator of the ci preset.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-node.sh
echo "node $(node --version), npm $(npm --version)"

echo "== lock files record no download addresses"
locks=$(find . -name package-lock.json -not -path '*/node_modules/*')
if [ -n "$locks" ] && grep -l '"resolved"' $locks; then
  echo 'the lock files above record download addresses: regenerate them with' \
    'omit-lockfile-registry-resolved=true in .npmrc' >&2
  exit 1
fi

echo "== simulator (ci preset)"
cmake --preset ci >/dev/null
cmake --build --preset ci -j2 --target pemrix-bridge-sim

echo "== Node.js client: npm ci && npm test"
cd clients/node
npm ci --no-audit --no-fund
PEMRIX_BRIDGE_SIM="$(cd ../.. && pwd)/build/ci/pemrix-bridge-sim" npm test
