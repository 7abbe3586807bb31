#!/usr/bin/env python3
"""The Linux bridge on a desktop that runs both stores: run inside
tools/akonadi-session.sh --with-eds (Akonadi holds the world; evolution-data-server, which
the session bus starts on demand, holds its own default sources). Checks the wire answers:
the sources of both stores, Akonadi's under "akonadi:" identifiers; an events query and a
contacts query that name sources of both; a clean end. ("changed" from either store is
the desktop System's unit test and each backend's conformance case.)

usage: both_stores.py BRIDGE   (inside the session; $PEMRIX_AKONADI_MANIFEST names the world)
"""
import json
import os
import select
import subprocess
import sys
import time

bridge = sys.argv[1]
with open(os.environ["PEMRIX_AKONADI_MANIFEST"]) as f:
    world = json.load(f)
child = subprocess.Popen([bridge], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, text=True)
failures = []


def ask(request, timeout=60):
    child.stdin.write(json.dumps(request) + "\n")
    child.stdin.flush()
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ready, _, _ = select.select([child.stdout], [], [], deadline - time.monotonic())
        if not ready:
            break
        answer = json.loads(child.stdout.readline())
        if answer.get("id") == request["id"]:
            return answer
    sys.exit(f"no answer to {request}")


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)


status = ask({"id": "s", "command": "status"})
check(status["result"]["permissions"] == {"contacts": "fullAccess", "events": "fullAccess",
                                          "reminders": "fullAccess"}, "status: full access")

listed = ask({"id": "l", "command": "list-sources", "entity": "events"})["result"]["sources"]
akonadi = [s for s in listed if s["id"].startswith("akonadi:")]
eds = [s for s in listed if not s["id"].startswith("akonadi:")]
titles = {s["title"] for s in akonadi}
check({s["title"] for s in world if s["kind"] == "events"} <= titles,
      "events sources: the world's calendars from Akonadi, under akonadi: identifiers")
check(len(eds) > 0, "events sources: evolution-data-server's own calendars beside them")
ids = [s["id"] for s in listed]
check(len(ids) == len(set(ids)), "events sources: every identifier once")

both = ask({"id": "e", "command": "query", "entity": "events", "sourceIds": ids,
            "start": "2024-05-01T00:00:00Z", "end": "2024-05-31T00:00:00Z"})
check(both.get("ok") is True, "an events query over the sources of both stores is answered")
starts = [item["start"] for item in both.get("result", {}).get("items", [])]
check(starts == sorted(starts), "its events come in date order")
check(len(starts) > 0 and all(i["sourceId"].startswith("akonadi:")
                              for i in both["result"]["items"]),
      "its events are the world's, from Akonadi (EDS's calendars are empty)")

books = ask({"id": "b", "command": "list-sources", "entity": "contacts"})["result"]["sources"]
from_akonadi = [s["id"] for s in books if s["id"].startswith("akonadi:")]
contacts = ask({"id": "c", "command": "query", "entity": "contacts",
                "sourceIds": [s["id"] for s in books], "query": "an"})
check(contacts.get("ok") is True and any(i["sourceId"] in from_akonadi
                                         for i in contacts["result"]["items"]),
      "a contacts query over both stores finds the world's contacts in Akonadi")

child.stdin.close()
child.wait(timeout=30)
check(child.returncode == 0, "exits with 0 at the end of its input")
check(child.stderr.read() == "", "nothing on standard error")
sys.exit(1 if failures else 0)
