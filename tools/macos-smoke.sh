#!/usr/bin/env bash
# First-Mac smoke test of the bridge: run it once on a Mac and paste the report it prints into
# an issue. It stops at the first step that does not hold and says which and why.
#
#   1. host       macOS, and the tools: cmake, ninja, python3, codesign, otool, lipo
#   2. build      the universal release binary (preset macos: utf8proc and, if needed,
#                 nlohmann/json built from their pinned source releases)
#   3. slices     `lipo -archs` lists both arm64 and x86_64
#   4. linkage    `otool -L` lists only system libraries (/usr/lib, /System/Library)
#   5. signature  signed ad hoc with the hardened runtime and the entitlements
#                 (tools/sign-macos.sh -), verified, with the embedded Info.plist
#   6. exchange   "status"; "request-permission" for each source still undetermined (answer
#                 the prompts, which name the terminal); "list-sources" for events, reminders
#                 and contacts; a "query" of each kind that is readable; "shutdown". Every
#                 answer is checked for its shape, nothing may appear on standard error, and
#                 the process must exit with status 0. Cold start and a round trip are timed.
#
# Usage: tools/macos-smoke.sh
#        tools/macos-smoke.sh --exchange-only <bridge> [--window-start <UTC timestamp>]
#                             [--expect-items]
#   --exchange-only  only step 6, against any bridge executable (the continuous integration
#                    runs it against pemrix-bridge-sim and a world file)
#   --window-start   start of the events and reminders windows (default: now, minus a day)
#   --expect-items   every query of a readable source must return at least one item
# Exit status: 0 when every step holds; 1 at the first that does not.
set -euo pipefail
cd "$(dirname "$0")/.."

# The exchange, in Python (part of the Xcode command-line tools that the build needs).
exchange() {
  python3 - "$@" <<'PYTHON'
import argparse, datetime, json, os, selectors, subprocess, sys, time

parser = argparse.ArgumentParser()
parser.add_argument("bridge")
parser.add_argument("--window-start")
parser.add_argument("--expect-items", action="store_true")
args = parser.parse_args()

ENTITIES = ("events", "reminders", "contacts")
STATES = {"notDetermined", "restricted", "denied", "fullAccess", "writeOnly", "limited", "unknown"}
ITEM_KEYS = {
    "events": {"allDay", "end", "id", "sourceId", "start", "title"},
    "reminders": {"completed", "due", "id", "priority", "sourceId", "title"},
    "contacts": {"id", "jobTitle", "organization", "sourceId", "title"},
}
PERMISSION_REQUIRED = {"code": "permission_required",
                       "message": "Allow access to this source in macOS before using it."}


def fail(message):
    print(f"exchange FAILED: {message}")
    sys.exit(1)


def stamp(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


if args.window_start:
    start = datetime.datetime.strptime(args.window_start, "%Y-%m-%dT%H:%M:%SZ")
else:
    now = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None, microsecond=0)
    start = now - datetime.timedelta(days=1)
window = {"start": stamp(start), "end": stamp(start + datetime.timedelta(days=14))}

began = time.monotonic()
try:
    bridge = subprocess.Popen([args.bridge], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE)
except OSError as error:
    fail(f"cannot start {args.bridge}: {error}")
watch = selectors.DefaultSelector()
watch.register(bridge.stdout, selectors.EVENT_READ)
pending = b""
counter = 0


def read_line(seconds):
    """The next line the bridge writes, within `seconds`."""
    global pending
    deadline = time.monotonic() + seconds
    while b"\n" not in pending:
        left = deadline - time.monotonic()
        if left <= 0 or not watch.select(left):
            fail(f"no answer within {seconds:.0f} s")
        chunk = os.read(bridge.stdout.fileno(), 65536)
        if not chunk:
            fail("the bridge closed its output (exit status %s, stderr %r)"
                 % (bridge.wait(), bridge.stderr.read().decode(errors="replace")))
        pending += chunk
    line, _, pending = pending.partition(b"\n")
    return line


def ask(command, seconds=20, **fields):
    """Sends one request and returns (envelope, seconds taken); "changed" lines are skipped."""
    global counter
    counter += 1
    request = {"id": str(counter), "command": command, **fields}
    sent = time.monotonic()
    bridge.stdin.write((json.dumps(request) + "\n").encode())
    bridge.stdin.flush()
    while True:
        line = read_line(seconds)
        try:
            message = json.loads(line)
        except ValueError:
            fail(f"not JSON: {line!r}")
        if not isinstance(message, dict):
            fail(f"not a JSON object: {line!r}")
        if message.get("event") == "changed":
            continue
        taken = time.monotonic() - sent
        if message.get("id") != request["id"] or not isinstance(message.get("ok"), bool):
            fail(f"{command}: not an answer to {request}: {line!r}")
        return message, taken


def result(message, what):
    if not message["ok"]:
        fail(f"{what} failed: {message.get('error')}")
    return message["result"]


def readable(entity, state):
    return state == "fullAccess" or (entity == "contacts" and state == "limited")


status, cold = ask("status")
cold = time.monotonic() - began
states = result(status, "status")["permissions"]
if set(states) != set(ENTITIES) or not set(states.values()) <= STATES:
    fail(f"status: unexpected permissions {states}")
_, round_trip = ask("status")
report = [f"cold start to first answer: {cold * 1000:.1f} ms",
          f"round trip of \"status\": {round_trip * 1000:.1f} ms",
          f"permissions at start: {json.dumps(states, sort_keys=True)}"]

for entity in ENTITIES:
    state = states[entity]
    if state == "notDetermined":
        print(f"  asking for access to {entity}: answer the prompt", file=sys.stderr, flush=True)
        answer, _ = ask("request-permission", 130, entity=entity)
        state = result(answer, f"request-permission {entity}")["permission"]
        if state not in STATES:
            fail(f"request-permission {entity}: unexpected state {state}")
    listing, listed_in = ask("list-sources", 20, entity=entity)
    if not readable(entity, state):
        if listing["ok"] or listing.get("error") != PERMISSION_REQUIRED:
            fail(f"list-sources {entity} in state {state}: expected permission_required, "
                 f"got {listing}")
        report.append(f"{entity}: {state}, not readable; list-sources answered permission_required")
        continue
    sources = result(listing, f"list-sources {entity}")
    if not isinstance(sources.get("sources"), list) or not isinstance(sources.get("truncated"), bool):
        fail(f"list-sources {entity}: unexpected result {sources}")
    for source in sources["sources"]:
        if set(source) != {"id", "title"}:
            fail(f"list-sources {entity}: unexpected source {source}")
    ids = [source["id"] for source in sources["sources"]][:16]
    line = (f"{entity}: {state}, {len(sources['sources'])} source(s) in "
            f"{listed_in * 1000:.1f} ms")
    if not ids:
        report.append(line + "; no source to query")
        if args.expect_items:
            fail(f"list-sources {entity}: no sources")
        continue
    fields = {"entity": entity, "sourceIds": ids, "limit": 100}
    if entity == "contacts":
        fields["query"] = "an"  # two characters at least; common in names
    else:
        fields.update(window)
    answer, queried_in = ask("query", 20, **fields)
    found = result(answer, f"query {entity}")
    items = found.get("items")
    if not isinstance(items, list) or not isinstance(found.get("truncated"), bool):
        fail(f"query {entity}: unexpected result {found}")
    for item in items:
        if set(item) != ITEM_KEYS[entity]:
            fail(f"query {entity}: unexpected item keys {sorted(item)}")
    if args.expect_items and not items:
        fail(f"query {entity}: no items")
    report.append(line + f"; query of {len(ids)} source(s): {len(items)} item(s), "
                  f"truncated {str(found['truncated']).lower()}, in {queried_in * 1000:.1f} ms")

stopped, _ = ask("shutdown")
if result(stopped, "shutdown") != {"stopped": True}:
    fail(f"shutdown: unexpected result {stopped}")
try:
    code = bridge.wait(timeout=5)
except subprocess.TimeoutExpired:
    bridge.kill()
    fail("the bridge did not exit within 5 s of shutdown")
rest = pending + bridge.stdout.read()
errors = bridge.stderr.read()
if code != 0:
    fail(f"exit status {code} after shutdown")
if rest.strip():
    fail(f"output after the shutdown answer: {rest[:200]!r}")
if errors:
    fail(f"standard error is not empty: {errors[:500]!r}")
report.append("shutdown: exit status 0, nothing on standard error")
for line in report:
    print(f"  {line}")
PYTHON
}

if [ "${1:-}" = "--exchange-only" ]; then
  shift
  if [ "$#" -lt 1 ]; then
    echo "usage: $0 --exchange-only <bridge> [--window-start <timestamp>] [--expect-items]" >&2
    exit 64
  fi
  exchange "$@"
  exit
fi
if [ "$#" -ne 0 ]; then
  echo "usage: $0 | $0 --exchange-only <bridge> [options]" >&2
  exit 64
fi

logs="$(mktemp -d)"
report=()
step_number=0
current=""

begin() {
  step_number=$((step_number + 1))
  current="$1"
  echo "== $step_number. $current"
}
# Stops the run at the current step with a reason.
fail() {
  echo
  echo "SMOKE TEST FAILED at step $step_number ($current): $1"
  echo "Logs: $logs"
  exit 1
}
note() {
  report+=("$1")
  echo "   $1"
}

begin "host"
[ "$(uname -s)" = Darwin ] || fail "this is $(uname -s), not macOS"
for tool in cmake ninja python3 codesign otool lipo; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool not found"
done
note "macOS $(sw_vers -productVersion) ($(sw_vers -buildVersion)) on $(uname -m)"
note "$(xcrun clang --version 2>/dev/null | head -n 1); $(cmake --version | head -n 1)"

begin "build"
started=$(date +%s)
cmake --preset macos >"$logs/configure.log" 2>&1 ||
  fail "configure failed; the end of $logs/configure.log: $(tail -n 20 "$logs/configure.log")"
cmake --build --preset macos >"$logs/build.log" 2>&1 ||
  fail "build failed; the end of $logs/build.log: $(tail -n 30 "$logs/build.log")"
binary="build/macos/pemrix-bridge"
[ -x "$binary" ] || fail "no executable at $binary"
if grep -q 'warning:' "$logs/build.log"; then
  note "build warnings: $(grep -c 'warning:' "$logs/build.log") (see $logs/build.log)"
fi
note "built in $(($(date +%s) - started)) s; $(wc -c <"$binary" | tr -d ' ') bytes"

begin "slices"
archs="$(lipo -archs "$binary")"
for arch in arm64 x86_64; do
  case " $archs " in
    *" $arch "*) ;;
    *) fail "no $arch slice (lipo -archs: $archs)" ;;
  esac
done
note "architectures: $archs"

begin "linkage"
libraries="$(otool -L "$binary" | tail -n +2 | awk '{print $1}')"
foreign="$(printf '%s\n' "$libraries" | grep -v -E '^(/usr/lib/|/System/Library/)' || true)"
[ -z "$foreign" ] || fail "links libraries outside the system: $(echo "$foreign" | tr '\n' ' ')"
note "links only system libraries: $(printf '%s\n' "$libraries" | xargs -n 1 basename | tr '\n' ' ')"

begin "signature"
tools/sign-macos.sh - "$binary" >"$logs/sign.log" 2>&1 ||
  fail "signing failed: $(cat "$logs/sign.log")"
codesign --verify --strict "$binary" 2>"$logs/verify.log" ||
  fail "the signature does not verify: $(cat "$logs/verify.log")"
details="$(codesign -dv --verbose=4 "$binary" 2>&1)"
grep -q 'Identifier=app.pemrix.bridge' <<<"$details" ||
  fail "signing identifier is not app.pemrix.bridge (the embedded Info.plist is missing?)"
grep -q 'Info.plist entries=12' <<<"$details" || fail "the embedded Info.plist does not have 12 entries"
grep -q 'runtime' <<<"$details" || fail "no hardened runtime flag"
entitlements="$(codesign -d --entitlements - "$binary" 2>&1)"
for key in com.apple.security.personal-information.calendars \
           com.apple.security.personal-information.addressbook; do
  grep -q "$key" <<<"$entitlements" || fail "entitlement $key missing"
done
note "signed ad hoc: identifier app.pemrix.bridge, hardened runtime, 12 Info.plist entries, both entitlements"

begin "exchange"
exchange_output="$(exchange "$binary")" || fail "$exchange_output"
while IFS= read -r line; do note "${line#  }"; done <<<"$exchange_output"

echo
echo "---- smoke report (paste into an issue) ----"
echo "pemrix-bridge smoke test: every step passed ($(git rev-parse --short HEAD 2>/dev/null || echo 'no git'))"
for line in "${report[@]}"; do echo "- $line"; done
echo "--------------------------------------------"
rm -rf "$logs"
