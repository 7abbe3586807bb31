#!/usr/bin/env bash
# Installs the Debian packages (tools/debian-packages.txt) needed to build, test, fuzz and
# benchmark the bridge, and Node.js with npm for the Node.js client.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
xargs $SUDO apt-get install -y --no-install-recommends < "$(dirname "$0")/debian-packages.txt"
bash "$(dirname "$0")/install-node.sh"
