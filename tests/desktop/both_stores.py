#!/usr/bin/env python3
"""The Linux bridge on a desktop that runs both stores: run inside
tools/akonadi-session.sh --with-eds (Akonadi holds the world; evolution-data-server, which
the session bus starts on demand, holds its own default sources). Checks the wire answers:
the sources of both stores, Akonadi's under "akonadi:" identifiers; an events query and a
contacts query that name sources of both; a clean end. ("changed" from either store is
the desktop System's unit test and each backend's conformance case.) Then the same desktop
as a machine without Qt sees it: the executable and the EDS module link no Qt or KDE
library, and a copy of the executable beside the EDS module alone serves EDS's sources.

usage: both_stores.py BRIDGE   (inside the session; $PEMRIX_AKONADI_MANIFEST names the world)
"""
import json
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

bridge = sys.argv[1]
with open(os.environ["PEMRIX_AKONADI_MANIFEST"]) as f:
    world = json.load(f)
failures = []


def start(executable):
    return subprocess.Popen([executable], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)


child = start(bridge)


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



def finish(what):
    child.stdin.close()
    child.wait(timeout=30)
    check(child.returncode == 0, what + ": exits with 0 at the end of its input")
    check(child.stderr.read() == "", what + ": nothing on standard error")


finish("both stores")

# A machine without Qt: nothing the executable or the EDS module needs is Qt's or KDE's.
folder = os.path.dirname(os.path.realpath(bridge))
eds_module = os.path.join(folder, "pemrix-backend-eds.so")
qt_or_kde = re.compile(r"libQt|libKF5|libKPim")
needed = subprocess.run(["readelf", "-d", bridge], capture_output=True, text=True).stdout
check("NEEDED" in needed and not qt_or_kde.search(needed)
      and not re.search(r"libecal|libebook|libedataserver", needed),
      "the executable links neither Qt, KDE's libraries nor EDS")
loaded = subprocess.run(["ldd", eds_module], capture_output=True, text=True).stdout
check("libecal" in loaded and not qt_or_kde.search(loaded),
      "the EDS module loads no Qt or KDE library")

# Akonadi runs, but its module is not there (its libraries missing): EDS serves alone.
with tempfile.TemporaryDirectory() as alone:
    shutil.copy(bridge, alone)
    shutil.copy(eds_module, alone)
    child = start(os.path.join(alone, os.path.basename(bridge)))
    status = ask({"id": "s", "command": "status"})
    check(status["result"]["permissions"]["events"] == "fullAccess",
          "without the Akonadi module: status from EDS")
    listed = ask({"id": "l", "command": "list-sources", "entity": "events"})["result"]["sources"]
    check(len(listed) > 0 and not any(s["id"].startswith("akonadi:") for s in listed),
          "without the Akonadi module: EDS's sources alone")
    finish("without the Akonadi module")
sys.exit(1 if failures else 0)
