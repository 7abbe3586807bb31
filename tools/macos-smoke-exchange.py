#!/usr/bin/env python3
"""The exchange step of the first-Mac smoke test (tools/macos-smoke.sh), against any bridge
executable: on a Mac the freshly built pemrix-bridge, in the continuous integration
pemrix-bridge-sim over a world file.

It sends "status" (timing the cold start and a round trip), "request-permission" for each
source whose state is "notDetermined" or "writeOnly" (the user answers the prompts),
"list-sources" for events, reminders and contacts, a "query" of each kind that is readable,
and "shutdown". Every answer is checked for its shape; the bridge's standard error is read
all along by a background thread into a file, and the run fails as soon as anything appears
there; the bridge must exit with status 0 after "shutdown". A run in which no source could be
read fails too, unless --allow-denied is given.

With --change-time-zone, the run pauses after the reminders query, keeping the same bridge
process alive, while the user changes the Mac's time zone; it then queries the events again
(first, so that no reminders query has run in the new zone yet) and the reminders, and says
which all-day events and which due dates kept their local time and which kept their UTC
time. An all-day event must keep its local days: one that kept its UTC times fails the run.

Python 3.9 (the Xcode command-line tools' python3), standard library only. Prints report
lines, each indented by two spaces, on standard output and exits 0; or prints one line
"exchange FAILED: <why>" and exits 1. Prompts for the user go to standard error.
"""

import argparse
import datetime
import json
import os
import select
import subprocess
import sys
import tempfile
import threading
import time

ENTITIES = ("events", "reminders", "contacts")
STATES = {"notDetermined", "restricted", "denied", "fullAccess", "writeOnly", "limited", "unknown"}
# States in which "request-permission" may lead to a prompt: a first request, or an upgrade
# from write-only to full access.
ASKABLE = {"notDetermined", "writeOnly"}
ITEM_KEYS = {
    "events": {"allDay", "end", "id", "sourceId", "start", "title"},
    "reminders": {"completed", "due", "id", "priority", "sourceId", "title"},
    "contacts": {"id", "jobTitle", "organization", "sourceId", "title"},
}
PERMISSION_REQUIRED = {"code": "permission_required",
                       "message": "Allow access to this source in macOS before using it."}
ANSWER_SECONDS = 20  # the bridge's own deadline for a store request is 15 s
PROMPT_SECONDS = 130  # time for the user to answer a permission prompt
KEEP_ALIVE_SECONDS = 10  # well inside the bridge's 30-second idle exit
PAUSE_SECONDS = 900  # longest wait for the user to change the time zone
DUES_SHOWN = 8
TIMESTAMP = "%Y-%m-%dT%H:%M:%SZ"


class Failed(Exception):
    """Ends the run: the message says which check did not hold."""


def parse_arguments():
    parser = argparse.ArgumentParser(description="The smoke test's exchange with a bridge.")
    parser.add_argument("bridge")
    parser.add_argument("--window-start", help="UTC start of the events and reminders window "
                        "(default: now, minus a day)")
    parser.add_argument("--expect-items", action="store_true",
                        help="every query of a readable source must return an item")
    parser.add_argument("--allow-denied", action="store_true",
                        help="pass even when no source could be read")
    parser.add_argument("--change-time-zone", action="store_true",
                        help="pause for a change of the time zone, then query reminders again")
    parser.add_argument("--stderr-log", help="file for the bridge's standard error "
                        "(default: a temporary file, kept only when not empty)")
    return parser.parse_args()


class Bridge:
    """One bridge process: requests and answers over its pipes, and its standard error
    copied by a background thread into a file that every wait checks."""

    def __init__(self, executable, stderr_path):
        self.stderr_path = stderr_path
        log = open(stderr_path, "wb")  # empty until the bridge writes to its standard error
        self.started = time.monotonic()
        try:
            self.process = subprocess.Popen([executable], stdin=subprocess.PIPE,
                                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        except OSError as error:
            log.close()
            raise Failed(f"cannot start {executable}: {error}") from error
        self.reader = threading.Thread(target=self._copy_stderr, args=(log,), daemon=True)
        self.reader.start()
        self.pending = b""
        self.counter = 0

    def _copy_stderr(self, log):
        with log:
            while True:
                chunk = os.read(self.process.stderr.fileno(), 65536)
                if not chunk:
                    return
                log.write(chunk)
                log.flush()

    def check_stderr(self):
        """Fails once anything has reached the bridge's standard error."""
        size = os.path.getsize(self.stderr_path)
        if size:
            with open(self.stderr_path, "rb") as log:
                start = log.read(200)
            raise Failed(f"the bridge wrote to standard error ({size} bytes so far, kept in "
                         f"{self.stderr_path}), starting {start!r}")

    def read_line(self, seconds):
        """The next line the bridge writes, within `seconds`."""
        deadline = time.monotonic() + seconds
        while b"\n" not in self.pending:
            self.check_stderr()
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failed(f"no answer within {seconds:.0f} s")
            ready, _, _ = select.select([self.process.stdout], [], [], min(left, 0.2))
            if not ready:
                continue
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                self.check_stderr()
                try:
                    code = self.process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    raise Failed("the bridge closed its output but did not exit") from None
                self.reader.join(5)
                self.check_stderr()
                raise Failed(f"the bridge closed its output (exit status {code})")
            self.pending += chunk
        line, _, self.pending = self.pending.partition(b"\n")
        return line

    def ask(self, command, seconds=ANSWER_SECONDS, **fields):
        """Sends one request; returns (envelope, seconds taken). "changed" lines are skipped."""
        self.counter += 1
        request = {"id": str(self.counter), "command": command, **fields}
        sent = time.monotonic()
        try:
            self.process.stdin.write((json.dumps(request) + "\n").encode())
            self.process.stdin.flush()
        except OSError as error:
            raise Failed(f"{command}: cannot write to the bridge: {error}") from error
        while True:
            line = self.read_line(seconds)
            try:
                message = json.loads(line)
            except ValueError:
                raise Failed(f"not JSON: {line!r}") from None
            if not isinstance(message, dict):
                raise Failed(f"not a JSON object: {line!r}")
            if message.get("event") == "changed":
                continue
            if message.get("id") != request["id"] or not isinstance(message.get("ok"), bool):
                raise Failed(f"{command}: not an answer to {request}: {line!r}")
            return message, time.monotonic() - sent

    def shut_down(self):
        """Sends "shutdown"; the bridge must exit with status 0, writing nothing more."""
        stopped, _ = self.ask("shutdown")
        if result(stopped, "shutdown") != {"stopped": True}:
            raise Failed(f"shutdown: unexpected result {stopped}")
        try:
            code = self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            raise Failed("the bridge did not exit within 5 s of shutdown") from None
        rest = self.pending + self.process.stdout.read()
        self.reader.join(5)
        self.check_stderr()
        if code != 0:
            raise Failed(f"exit status {code} after shutdown")
        if rest.strip():
            raise Failed(f"output after the shutdown answer: {rest[:200]!r}")

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def result(message, what):
    if not message["ok"]:
        raise Failed(f"{what} failed: {message.get('error')}")
    return message["result"]


def permission(value, what):
    if value not in STATES:
        raise Failed(f"{what}: unexpected permission state {value!r}")
    return value


def readable(entity, state):
    return state == "fullAccess" or (entity == "contacts" and state == "limited")


def utc(stamp):
    moment = datetime.datetime.strptime(stamp, TIMESTAMP)
    return moment.replace(tzinfo=datetime.timezone.utc)


def local_zone():
    return time.strftime("%Z (UTC%z)")


def local_walls(item, keys):
    """The item's times named by `keys`, as wall-clock times in the local time zone."""
    return tuple(utc(item[key]).astimezone().replace(tzinfo=None) for key in keys)


def event_key(item):
    """An event's calendar and identifier without the start that "id" ends with, which an
    all-day event's changes with the time zone."""
    return item["sourceId"], item["id"].rpartition("@")[0]


def local_dues(items):
    """The due dates in the Mac's time zone as the user sees them in Reminders."""
    shown = [utc(item["due"]).astimezone().strftime("%a %Y-%m-%d %H:%M %Z")
             for item in items[:DUES_SHOWN]]
    more = f" and {len(items) - DUES_SHOWN} more" if len(items) > DUES_SHOWN else ""
    return (f"reminders due, in local time: {', '.join(shown)}{more} "
            "(a date-only reminder shows 00:00 of its day)")


class Exchange:
    """The requests of one run and the report lines they give."""

    def __init__(self, bridge, args):
        self.bridge = bridge
        self.args = args
        self.report = []
        self.read = []  # entities whose sources were listed
        self.final_states = []  # "<entity> <state>": each state after any request for access
        self.queries = {}  # entity -> the fields of its query
        self.found = {}  # entity -> the items its query returned
        if args.window_start:
            start = datetime.datetime.strptime(args.window_start, TIMESTAMP)
        else:
            now = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None, microsecond=0)
            start = now - datetime.timedelta(days=1)
        end = start + datetime.timedelta(days=14)
        self.window = {"start": start.strftime(TIMESTAMP), "end": end.strftime(TIMESTAMP)}

    def run(self):
        status, _ = self.bridge.ask("status")
        cold = time.monotonic() - self.bridge.started
        states = result(status, "status").get("permissions")
        if not isinstance(states, dict) or set(states) != set(ENTITIES):
            raise Failed(f"status: unexpected permissions {states}")
        for entity in ENTITIES:
            permission(states[entity], f"status {entity}")
        _, round_trip = self.bridge.ask("status")
        self.report += [f"cold start to first answer: {cold * 1000:.1f} ms",
                        f"round trip of \"status\": {round_trip * 1000:.1f} ms",
                        f"permissions at start: {json.dumps(states, sort_keys=True)}"]
        for entity in ENTITIES:
            self.check_entity(entity, states[entity])
        if self.args.change_time_zone:
            self.check_time_zone_change()
        self.bridge.shut_down()
        self.report.append("shutdown: exit status 0, nothing on standard error")
        if not self.read and not self.args.allow_denied:
            raise Failed(
                "no source could be read (" + ", ".join(self.final_states) + "). Run the script "
                "from Terminal.app and allow access when asked; if no prompt appears, see "
                "\"When no prompt appears\" in docs/macos.md. --allow-denied accepts a run "
                "that reads nothing.")

    def ask_for_access(self, entity, state):
        """The state after "request-permission", and how it came about, for the report."""
        print(f"  asking for access to {entity} ({state}): answer the prompt", file=sys.stderr,
              flush=True)
        answer, _ = self.bridge.ask("request-permission", PROMPT_SECONDS, entity=entity)
        after = permission(result(answer, f"request-permission {entity}").get("permission"),
                           f"request-permission {entity}")
        return after, f"{state} -> {after} (asked in this run)"

    def check_entity(self, entity, state):
        shown = state
        if state in ASKABLE:
            state, shown = self.ask_for_access(entity, state)
        self.final_states.append(f"{entity} {state}")
        listing, listed_in = self.bridge.ask("list-sources", entity=entity)
        if not readable(entity, state):
            if listing["ok"] or listing.get("error") != PERMISSION_REQUIRED:
                raise Failed(f"list-sources {entity} in state {state}: expected "
                             f"permission_required, got {listing}")
            self.report.append(f"{entity}: {shown}, not readable; list-sources answered "
                               "permission_required")
            return
        sources = result(listing, f"list-sources {entity}")
        if (not isinstance(sources.get("sources"), list)
                or not isinstance(sources.get("truncated"), bool)):
            raise Failed(f"list-sources {entity}: unexpected result {sources}")
        for source in sources["sources"]:
            if set(source) != {"id", "title"}:
                raise Failed(f"list-sources {entity}: unexpected source {source}")
        self.read.append(entity)
        ids = [source["id"] for source in sources["sources"]][:16]
        line = f"{entity}: {shown}, {len(sources['sources'])} source(s) in {listed_in * 1000:.1f} ms"
        if not ids:
            if self.args.expect_items:
                raise Failed(f"list-sources {entity}: no sources")
            self.report.append(line + "; no source to query")
            return
        fields = {"entity": entity, "sourceIds": ids, "limit": 100}
        if entity == "contacts":
            fields["query"] = "an"  # two characters at least; common in names
        else:
            fields.update(self.window)
        self.queries[entity] = fields
        items, truncated, queried_in = self.query(entity)
        self.report.append(line + f"; query of {len(ids)} source(s): {len(items)} item(s), "
                           f"truncated {str(truncated).lower()}, in {queried_in * 1000:.1f} ms")
        if entity == "reminders" and items:
            self.report.append(local_dues(items))

    def query(self, entity):
        """Runs the entity's query; returns (items, truncated, seconds taken)."""
        answer, taken = self.bridge.ask("query", **self.queries[entity])
        found = result(answer, f"query {entity}")
        items = found.get("items")
        if not isinstance(items, list) or not isinstance(found.get("truncated"), bool):
            raise Failed(f"query {entity}: unexpected result {found}")
        for item in items:
            if set(item) != ITEM_KEYS[entity]:
                raise Failed(f"query {entity}: unexpected item keys {sorted(item)}")
        if self.args.expect_items and not items:
            raise Failed(f"query {entity}: no items")
        self.found[entity] = items
        return items, found["truncated"], taken

    def check_time_zone_change(self):
        before = self.found.get("reminders")
        if not before:
            raise Failed("--change-time-zone needs readable reminders with at least one due "
                         "in the window")
        all_day = [item for item in self.found.get("events", []) if item["allDay"]]
        if not all_day:
            raise Failed("--change-time-zone needs readable events with at least one all-day "
                         "event in the window")
        zone = local_zone()
        day_walls = {}
        day_instants = {}
        for item in all_day:
            day_walls.setdefault(event_key(item), set()).add(local_walls(item, ("start", "end")))
            day_instants.setdefault(event_key(item), set()).add((item["start"], item["end"]))
        walls = {item["id"]: utc(item["due"]).astimezone().replace(tzinfo=None)
                 for item in before}
        instants = {item["id"]: utc(item["due"]) for item in before}
        self.pause_for_time_zone_change()
        time.tzset()
        self.check_all_day_events(zone, day_walls, day_instants)
        after, _, _ = self.query("reminders")
        kept_local = kept_utc = neither = 0
        for item in after:
            if item["id"] not in walls:
                continue
            moment = utc(item["due"])
            if moment.astimezone().replace(tzinfo=None) == walls[item["id"]]:
                kept_local += 1
            elif moment == instants[item["id"]]:
                kept_utc += 1
            else:
                neither += 1
        self.report.append(f"after the time-zone change {zone} -> {local_zone()}, same process: "
                           f"{kept_local} due date(s) kept their local time, {kept_utc} kept "
                           f"their UTC time, {neither} neither")
        self.report.append(local_dues(after))

    def check_all_day_events(self, zone, day_walls, day_instants):
        """Queries the events again, in the new zone: each all-day event of the first query
        must keep its local days (midnight to midnight in whatever zone the Mac has)."""
        after, _, _ = self.query("events")
        kept_local = kept_utc = neither = 0
        for item in after:
            key = event_key(item)
            if not item["allDay"] or key not in day_walls:
                continue
            if local_walls(item, ("start", "end")) in day_walls[key]:
                kept_local += 1
            elif (item["start"], item["end"]) in day_instants[key]:
                kept_utc += 1
            else:
                neither += 1
        self.report.append(f"after the time-zone change {zone} -> {local_zone()}, same process: "
                           f"{kept_local} all-day event(s) kept their local days, {kept_utc} "
                           f"kept their UTC times, {neither} neither")
        if kept_utc:
            raise Failed(f"{kept_utc} all-day event(s) kept the UTC times of the old time zone: "
                         "the bridge did not read the new one")
        if not kept_local + neither:
            raise Failed("no all-day event of the first events query came back after the "
                         "time-zone change")

    def pause_for_time_zone_change(self):
        """Waits for Return on standard input, asking "status" meanwhile so that the bridge
        does not reach its idle exit."""
        print("  change the Mac's time zone (System Settings > General > Date & Time), then "
              "press Return", file=sys.stderr, flush=True)
        deadline = time.monotonic() + PAUSE_SECONDS
        while True:
            ready, _, _ = select.select([sys.stdin], [], [], KEEP_ALIVE_SECONDS)
            if ready:
                if not sys.stdin.readline():
                    raise Failed("standard input ended while waiting for the time-zone change")
                return
            if time.monotonic() > deadline:
                raise Failed(f"no Return within {PAUSE_SECONDS} s of the time-zone prompt")
            result(self.bridge.ask("status")[0], "status while waiting")


def main():
    args = parse_arguments()
    stderr_path = args.stderr_log
    if stderr_path is None:
        handle, stderr_path = tempfile.mkstemp(prefix="pemrix-smoke-stderr-", suffix=".log")
        os.close(handle)
    bridge = None
    try:
        bridge = Bridge(args.bridge, stderr_path)
        exchange = Exchange(bridge, args)
        exchange.run()
    except Failed as failure:
        print(f"exchange FAILED: {failure}")
        return 1
    finally:
        if bridge is not None:
            bridge.kill()
        if args.stderr_log is None and os.path.getsize(stderr_path) == 0:
            os.remove(stderr_path)
    for line in exchange.report:
        print(f"  {line}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
