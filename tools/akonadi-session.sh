#!/usr/bin/env bash
# shellcheck disable=SC2317 # functions run through wait_for and trap look unreachable
# Runs a command inside a private, headless Akonadi store (KDE Plasma's personal data):
#
#   tools/akonadi-session.sh [--world WORLD.json] [--with-eds] -- COMMAND [ARGS...]
#
# It makes a temporary HOME and XDG folders, configures Akonadi there (SQLite database, no
# default resources, no agents started on their own), starts a private session bus
# (dbus-run-session) and Akonadi on it. With a world it writes the world's sources as files
# (tools/akonadi-world.py), creates one file resource per source (akonadi_ical_resource
# for a calendar or reminder list, akonadi_vcard_resource for a contact container) named
# after the source's title, waits until every resource has read its whole file, and sets
# the local zone (TZ) to the world's "timeZone". Then it runs COMMAND with standard input
# and output untouched and exits with its status. When it ends, Akonadi is stopped,
# nothing it started is left running and its folders are gone. The real user's Akonadi
# (another bus, other folders) is never touched.
#
# The private bus starts no service on demand, so Akonadi is the only store on it; with
# --with-eds it is the desktop's usual session bus, on which evolution-data-server starts
# when first used (with its own default sources), as on a desktop that has both.
#
# Inside COMMAND, $PEMRIX_AKONADI_MANIFEST names the world's manifest (JSON: kind, id,
# title, file, items per source) and tools/akonadi-collections.py lists the store's
# collections with their item counts.
#
# Exits with 70 when the store cannot be set up (the end of Akonadi's log is shown), 64
# for wrong arguments, 65 when the world cannot be written, 69 when Akonadi is not
# installed.
#
# Time-outs are generous (a busy machine delays Akonadi's start by a minute):
# $PEMRIX_AKONADI_TIMEOUT seconds (default 300) for each wait.
set -euo pipefail

usage() {
  echo "usage: tools/akonadi-session.sh [--world WORLD.json] [--with-eds] -- COMMAND [ARGS...]" >&2
  exit 64
}

here=$(cd "$(dirname "$0")/.." && pwd)
timeout_seconds=${PEMRIX_AKONADI_TIMEOUT:-300}

# ---- Inside the private bus: start Akonadi, create the resources, run the command. ----

# The private bus's NameHasOwner for $1.
has_owner() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner "$1" 2>/dev/null | grep -q true
}

# Waits until "$@" succeeds, polling every 0.1 s; fails after the time-out naming $what.
wait_for() {
  local what=$1 deadline=$((SECONDS + timeout_seconds))
  shift
  until "$@"; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "akonadi-session: gave up after ${timeout_seconds}s waiting for $what" >&2
      return 1
    fi
    sleep 0.1
  done
}

# A GVariant string literal of $1, for gdbus arguments.
gvariant_string() {
  local text=${1//\\/\\\\}
  printf '"%s"' "${text//\"/\\\"}"
}

# Calls METHOD (interface.method) on OBJECT of bus name DEST with ARGS.
call() {
  local dest=$1 object=$2 method=$3
  shift 3
  gdbus call --session --dest "$dest" --object-path "$object" --method "$method" "$@"
}

# Creates the resource for one source and starts its first sync; prints the instance id.
add_resource() {
  local kind=$1 file=$2 title=$3 agent settings id dest
  if [ "$kind" = contacts ]; then
    agent=akonadi_vcard_resource settings=org.kde.Akonadi.VCard.Settings
  else
    agent=akonadi_ical_resource settings=org.kde.Akonadi.ICal.Settings
  fi
  id=$(call org.freedesktop.Akonadi.Control /AgentManager \
    org.freedesktop.Akonadi.AgentManager.createAgentInstance "$agent")
  id=${id#\(\'} id=${id%\',\)}
  if [ -z "$id" ] || [ "$id" = "()" ]; then
    echo "akonadi-session: cannot create $agent" >&2
    return 1
  fi
  dest=org.freedesktop.Akonadi.Resource.$id
  wait_for "resource $id on the bus" has_owner "$dest"
  call "$dest" /Settings "$settings.setPath" "$(gvariant_string "$file")" >/dev/null
  call "$dest" /Settings "$settings.setDisplayName" "$(gvariant_string "$title")" >/dev/null
  call "$dest" /Settings "$settings.save" >/dev/null
  # Without reconfigure the resource keeps the collection it had before the path was set.
  call "$dest" / org.freedesktop.Akonadi.Agent.Control.reconfigure >/dev/null
  call "$dest" / org.freedesktop.Akonadi.Resource.synchronize >/dev/null
  printf '%s\n' "$id"
}

# True when every resource in $root/resources ("id items" lines) has a collection holding
# that many items and reports itself idle. Reading the database file does not go through
# the server: asking the server for item counts during a first sync can deadlock it.
all_synced() {
  local listing id items status
  listing=$(python3 "$here/tools/akonadi-collections.py" 2>/dev/null) || return 1
  while read -r id items; do
    python3 -c '
import json, sys
found = [c for c in json.loads(sys.argv[1]) if c["resource"] == sys.argv[2]]
sys.exit(0 if found and sum(c["items"] for c in found) == int(sys.argv[3]) else 1)' \
      "$listing" "$id" "$items" || return 1
    status=$(call "org.freedesktop.Akonadi.Resource.$id" / \
      org.freedesktop.Akonadi.Agent.Status.status 2>/dev/null) || return 1
    [ "$status" = "(0,)" ] || return 1
  done <"$root/resources"
}

inside() {
  local manifest=$1 kind file title items id started
  shift
  started=$SECONDS
  akonadictl start </dev/null >>"$root/akonadi.log" 2>&1 &
  wait_for "the Akonadi control service" has_owner org.freedesktop.Akonadi.Control
  wait_for "the Akonadi server" has_owner org.freedesktop.Akonadi
  : >"$root/resources"
  if [ -n "$manifest" ]; then
    while IFS= read -r -d '' kind && IFS= read -r -d '' file && IFS= read -r -d '' title \
      && IFS= read -r -d '' items; do
      id=$(add_resource "$kind" "$file" "$title")
      printf '%s %s\n' "$id" "$items" >>"$root/resources"
    done < <(python3 -c '
import json, sys
for source in json.load(open(sys.argv[1], encoding="utf-8")):
    for key in ("kind", "file", "title", "items"):
        sys.stdout.write("%s\0" % source[key])' "$manifest")
    wait_for "the resources' first sync" all_synced
  fi
  echo "akonadi-session: ready after $((SECONDS - started))s" >>"$root/akonadi.log"
  set +e
  "$@" 2>&3 3>&-
  local status=$?
  set -e
  akonadictl stop </dev/null >>"$root/akonadi.log" 2>&1 || true
  wait_for "Akonadi to stop" eval '! has_owner org.freedesktop.Akonadi.Control' || true
  return "$status"
}

if [ "${1-}" = --inside ]; then
  # Re-entered by dbus-run-session below: $root is inherited, fd 3 is the caller's stderr.
  shift
  root=$PEMRIX_AKONADI_ROOT
  inside "$@"
  exit
fi

# ---- Outside: folders, configuration, world files, the private bus. ----

world=""
bus_config=()
with_eds=""
while [ $# -gt 0 ]; do
  case "$1" in
    --world) [ $# -ge 2 ] || usage; world=$2; shift 2 ;;
    --with-eds) with_eds=1; shift ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
[ $# -gt 0 ] || usage

for tool in akonadictl akonadi_ical_resource akonadi_vcard_resource gdbus dbus-run-session python3; do
  command -v "$tool" >/dev/null || {
    echo "akonadi-session: $tool not found (install tools/akonadi-packages.txt)" >&2
    exit 69
  }
done

root=$(mktemp -d "${TMPDIR:-/tmp}/pemrix-akonadi.XXXXXX")

# shellcheck source=tools/private-session.sh
. "$here/tools/private-session.sh"
cleanup() { end_private_session "$root"; }
trap cleanup EXIT

mkdir -p "$root"/{home,data,config/akonadi,cache,runtime,world}
chmod 700 "$root/runtime"
if [ -z "$with_eds" ]; then
  # A session bus that activates nothing: Akonadi is started by akonadictl, its resources
  # by Akonadi itself.
  cat >"$root/bus.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
  bus_config=(--config-file="$root/bus.conf")
fi
# SQLite instead of a database server of its own.
printf '[%%General]\nDriver=QSQLITE3\n' >"$root/config/akonadi/akonadiserverrc"
# Marks the default resources (personal calendar, address book, notes, birthdays) as
# already handled, so no client library creates them.
printf '[ProcessedDefaults]\nbirthdaycalendar=none\ndefaultaddressbook=none\n%s\n' \
  'defaultcalendar=none
defaultnotebook=none' >"$root/config/akonadi-firstrunrc"

manifest=""
if [ -n "$world" ]; then
  manifest=$root/manifest.json
  python3 "$here/tools/akonadi-world.py" "$world" "$root/world" >"$manifest" || exit 65
  TZ=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1])).get("timeZone", "UTC"))' \
    "$world")
  export TZ PEMRIX_AKONADI_MANIFEST=$manifest
fi

export HOME=$root/home XDG_DATA_HOME=$root/data XDG_CONFIG_HOME=$root/config
export XDG_CACHE_HOME=$root/cache XDG_RUNTIME_DIR=$root/runtime PEMRIX_AKONADI_ROOT=$root
export QT_QPA_PLATFORM=offscreen AKONADI_DISABLE_AGENT_AUTOSTART=1
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY AKONADI_INSTANCE

# Akonadi and the bus write their own messages to stderr: they go to a log in the
# session's folder (shown when the session cannot be set up), and the command gets the
# session's standard error back.
exec 3>&2
set +e
dbus-run-session ${bus_config[@]+"${bus_config[@]}"} -- bash "$here/tools/akonadi-session.sh" --inside "$manifest" "$@" \
  2>>"$root/akonadi.log"
status=$?
set -e
if [ "$status" -ne 0 ] && ! grep -q '^akonadi-session: ready' "$root/akonadi.log"; then
  tail -n 40 "$root/akonadi.log" >&2
  status=70
fi
exit $status
