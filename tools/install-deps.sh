#!/usr/bin/env bash
# Installs the Debian packages (tools/debian-packages.txt, tools/akonadi-packages.txt) needed
# to build, test, fuzz and benchmark the bridge, a German locale for a test, and Node.js
# with npm for the Node.js client.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# The build's packages, and what a private Akonadi store needs at run time (its server, file
# resources and the payload plugins; tools/akonadi-session.sh).
cat "$(dirname "$0")/debian-packages.txt" "$(dirname "$0")/akonadi-packages.txt" \
  | xargs $SUDO apt-get install -y --no-install-recommends
# A locale whose decimal point is a comma, for the test that numbers on the wire do not
# follow the locale (WireNumbers.LocaleDoesNotChangeNumbers); made once, from the locales
# package's definitions, when the machine has none.
if ! locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
bash "$(dirname "$0")/install-node.sh"
