#!/usr/bin/env bash
# The demonstration exchange that tools/demo.sh and tools/demo-eds.sh print: starts the
# bridge given as the first argument and sends it a few requests about the demonstration
# world, one at a time as the app does (a store request must be answered before the next is
# sent), printing each request and its answer. Dates follow the day of the run. Each
# WORLD_ID=STORE_ID names the identifier a store gave one of the world's sources, for a store
# that chooses its own (Akonadi's collections); the requests name the store's.
#
# Usage: tools/demo-exchange.sh BRIDGE [WORLD_ID=STORE_ID ...]
set -euo pipefail
bridge=$1
shift

now=$(date -u +%s)
day() { date -u -d "@$((now + $1 * 86400))" +%Y-%m-%dT00:00:00Z; }
requests=(
  '{"id":"1","command":"status"}'
  '{"id":"2","command":"list-sources","entity":"events"}'
  "{\"id\":\"3\",\"command\":\"query\",\"entity\":\"events\",\"sourceIds\":[\"cal-home\",\"cal-work\"],\"start\":\"$(day -1)\",\"end\":\"$(day 2)\",\"limit\":5}"
  '{"id":"4","command":"list-sources","entity":"reminders"}'
  "{\"id\":\"5\",\"command\":\"query\",\"entity\":\"reminders\",\"sourceIds\":[\"list-errands\",\"list-work\"],\"start\":\"$(day -7)\",\"end\":\"$(day 14)\",\"limit\":5}"
  '{"id":"6","command":"list-sources","entity":"contacts"}'
  '{"id":"7","command":"query","entity":"contacts","sourceIds":["container-personal","container-work"],"query":"jose","limit":5}'
  '{"id":"8","command":"query","entity":"contacts","sourceIds":["container-work"],"query":"Engineer","limit":3}'
  '{"id":"9","command":"status","extra":true}'
  '{"id":"10","command":"query","entity":"events","sourceIds":["cal-gone"],"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"}'
  '{"id":"11","command":"shutdown"}'
)

for pair in "$@"; do
  for i in "${!requests[@]}"; do
    requests[i]=${requests[i]//\"${pair%%=*}\"/\"${pair#*=}\"}
  done
done

coproc BRIDGE { "$bridge"; }
# shellcheck disable=SC2153  # coproc sets BRIDGE_PID
bridge_pid=$BRIDGE_PID  # bash unsets BRIDGE_PID once the coprocess has exited
for request in "${requests[@]}"; do
  printf '> %s\n' "$request"
  printf '%s\n' "$request" >&"${BRIDGE[1]}"
  IFS= read -r answer <&"${BRIDGE[0]}"
  printf '< %s\n\n' "$answer"
done
wait "$bridge_pid" && echo "bridge exited with status 0"
