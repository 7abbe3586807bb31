#!/usr/bin/env bash
# Runs a command inside a private, headless evolution-data-server (EDS) store:
#
#   tools/eds-session.sh [--world WORLD.json] [--monitor FILE] -- COMMAND [ARGS...]
#
# It makes a temporary HOME and XDG folders, starts a private session bus
# (dbus-run-session; the EDS services are activated on it when first used), seeds the
# world if one is given (pemrix-eds-seed, with the world's identifiers) and sets the local
# zone (TZ) to the world's "timeZone", then runs COMMAND with standard input and output
# untouched and exits with its status. When it ends, nothing it started is left running
# and its folders are gone. With --monitor, everything said on the private bus while
# COMMAND runs is written to FILE (dbus-monitor), to see what EDS sent.
#
# The seeding tool is $PEMRIX_EDS_SEED, or the newest build/*/pemrix-eds-seed.
set -euo pipefail

usage() {
  echo "usage: tools/eds-session.sh [--world WORLD.json] [--monitor FILE] -- COMMAND [ARGS...]" >&2
  exit 64
}

world="" monitor=""
while [ $# -gt 0 ]; do
  case "$1" in
    --world) [ $# -ge 2 ] || usage; world=$2; shift 2 ;;
    --monitor) [ $# -ge 2 ] || usage; monitor=$(realpath -m "$2"); shift 2 ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
[ $# -gt 0 ] || usage

here=$(cd "$(dirname "$0")/.." && pwd)
seed=${PEMRIX_EDS_SEED:-$(ls -t "$here"/build/*/pemrix-eds-seed 2>/dev/null | head -n 1 || true)}
if [ -n "$world" ]; then
  [ -x "$seed" ] || { echo "eds-session: pemrix-eds-seed not built" >&2; exit 69; }
  world=$(cd "$(dirname "$world")" && pwd)/$(basename "$world")
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/pemrix-eds.XXXXXX")

# shellcheck source=tools/private-session.sh
. "$here/tools/private-session.sh"
cleanup() { end_private_session "$root"; }
trap cleanup EXIT

mkdir -p "$root"/{home,data,config,cache,runtime}
chmod 700 "$root/runtime"
export HOME=$root/home XDG_DATA_HOME=$root/data XDG_CONFIG_HOME=$root/config
export XDG_CACHE_HOME=$root/cache XDG_RUNTIME_DIR=$root/runtime GSETTINGS_BACKEND=memory
unset DBUS_SESSION_BUS_ADDRESS
if [ -n "$world" ]; then
  TZ=$("$seed" --zone "$world")
  export TZ
fi

# The bus and the services it starts write their own messages to stderr: they go to a log
# in the session's folder (shown if seeding fails), and the command gets the session's
# standard error back.
exec 3>&2
set +e
dbus-run-session -- bash -c '
  exec 2>&3 3>&-
  if [ -n "$1" ]; then
    "$2" "$1" 2>"$XDG_RUNTIME_DIR/seed.log" || { cat "$XDG_RUNTIME_DIR/seed.log" >&2; exit 70; }
    cat "$XDG_RUNTIME_DIR/seed.log" >&2
  fi
  if [ -n "$3" ]; then
    dbus-monitor --session >"$3" 2>/dev/null &
    sleep 0.3
  fi
  shift 3
  exec "$@"' eds-session "$world" "$seed" "$monitor" "$@" 2>>"$root/bus.log"
status=$?
set -e
exit $status
