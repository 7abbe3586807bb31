#!/usr/bin/env bash
# Installs Node.js and npm from Debian's packages when the machine has no Node.js 18 or
# later with npm; the Node.js client (clients/node) and its tests need them.
set -euo pipefail
if command -v npm >/dev/null &&
  node -e 'process.exit(Number(process.versions.node.split(".")[0]) >= 18 ? 0 : 1)' 2>/dev/null; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends nodejs npm
