# shellcheck shell=bash
# Sourced by tools/eds-session.sh and tools/akonadi-session.sh: the end of a private session
# whose processes all carry `XDG_RUNTIME_DIR=$1/runtime` in their environment.
#
# end_private_session ROOT: ends what the session's bus started (the services can outlive
# the bus by a moment), by process id, found by the private runtime folder in their
# environment (asked nicely for a second, then killed); then removes ROOT.
end_private_session() {
  local root=$1 pids tries
  unset XDG_RUNTIME_DIR  # the scan's own processes must not match
  for tries in $(seq 50); do
    pids=$(grep -lzsx "XDG_RUNTIME_DIR=$root/runtime" /proc/[0-9]*/environ 2>/dev/null \
      | sed -e 's|^/proc/||' -e 's|/environ$||' | grep -vx "$$" || true)
    [ -z "$pids" ] && break
    # shellcheck disable=SC2086 # one process id per word
    if [ "$tries" -ge 10 ]; then kill $pids 2>/dev/null || true; fi
    sleep 0.1
  done
  rm -rf "$root"
}
