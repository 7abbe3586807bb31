#!/usr/bin/env python3
"""Figures of the Linux bridge over whichever store the session it runs in holds, so that
evolution-data-server and Akonadi are measured the same way on the same world:

    tools/bench-desktop.py --world OUT.json              writes the world (see below)
    tools/eds-session.sh --world OUT.json -- tools/bench-desktop.py BRIDGE
    tools/akonadi-session.sh --world OUT.json -- tools/bench-desktop.py BRIDGE

The world: two calendars with 120 events over May 2024 (a busy month), a reminder list, and
an address book of 2,000 contacts. Measures, medians of repeated runs: process start to
the first answered events query and to the first answered contacts query (a new process
each time); a month's events query in a running bridge; a contacts query that scans the
2,000 contacts, the first in a process and the later ones; the bridge's peak memory
(VmHWM) after all that. Prints one table.
"""
import json
import os
import statistics
import subprocess
import sys
import time

MONTH = ("2024-05-01T00:00:00Z", "2024-06-01T00:00:00Z")


def world():
    events = []
    for i in range(120):
        day, hour = 1 + i % 31, 8 + (i * 7) % 10
        events.append({"calendar": "cal-work" if i % 2 else "cal-home", "id": f"E{i}",
                       "title": f"Meeting {i}", "start": f"2024-05-{day:02d}T{hour:02d}:00:00Z",
                       "end": f"2024-05-{day:02d}T{hour:02d}:45:00Z"})
    given = ["Ann", "Ben", "Carla", "Dmitri", "Eva", "Farid", "Grace", "Hugo", "Ines", "Jon"]
    family = ["Smith", "Novak", "Garcia", "Kowalski", "Lind", "Moreau", "Okafor", "Rossi"]
    contacts = [{"container": "book", "id": f"P{i}", "givenName": given[i % 10],
                 "familyName": f"{family[i % 8]}{i}", "organizationName": f"Firm {i % 50}",
                 "jobTitle": "Engineer"} for i in range(2000)]
    return {"timeZone": "Europe/Berlin",
            "calendars": [{"id": "cal-home", "title": "Home"}, {"id": "cal-work", "title": "Work"},
                          {"id": "list", "title": "Errands", "entityType": "reminders"}],
            "events": events, "reminders": [],
            "containers": [{"id": "book", "name": "Everyone"}], "contacts": contacts}


class Bridge:
    def __init__(self, program):
        self.started = time.monotonic()
        self.child = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      text=True)
        self.count = 0

    def ask(self, request):
        self.count += 1
        request = dict(request, id=str(self.count))
        before = time.monotonic()
        self.child.stdin.write(json.dumps(request) + "\n")
        self.child.stdin.flush()
        while True:
            answer = json.loads(self.child.stdout.readline())
            if answer.get("id") == request["id"]:
                if not answer.get("ok"):
                    sys.exit(f"failed: {request} -> {answer}")
                return answer, time.monotonic() - before

    def peak_mib(self):
        with open(f"/proc/{self.child.pid}/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024

    def close(self):
        self.child.stdin.close()
        self.child.wait(timeout=30)


def sources(program, entity):
    bridge = Bridge(program)
    listed, _ = bridge.ask({"command": "list-sources", "entity": entity})
    bridge.close()
    return [s["id"] for s in listed["result"]["sources"]]


def events_query(ids):
    return {"command": "query", "entity": "events", "sourceIds": ids, "start": MONTH[0],
            "end": MONTH[1]}


def contacts_query(ids, text):
    return {"command": "query", "entity": "contacts", "sourceIds": ids, "query": text}


def ms(seconds):
    return f"{seconds * 1000:.1f} ms"


def main(program):
    calendars, books = sources(program, "events"), sources(program, "contacts")
    rows = []
    for name, request in (("start to first events answer", events_query(calendars)),
                          ("start to first contacts answer", contacts_query(books, "zz"))):
        times = []
        for _ in range(5):
            bridge = Bridge(program)
            bridge.ask(request)
            times.append(time.monotonic() - bridge.started)
            bridge.close()
        rows.append((name, ms(statistics.median(times))))
    bridge = Bridge(program)
    month = [bridge.ask(events_query(calendars))[1] for _ in range(10)]
    items = len(bridge.ask(events_query(calendars))[0]["result"]["items"])
    rows.append((f"a month's events query ({items} events)", ms(statistics.median(month))))
    _, first = bridge.ask(contacts_query(books, "zzq"))
    later = [bridge.ask(contacts_query(books, text))[1] for text in ("zza", "zzb", "zzc", "zzd")]
    rows.append(("contacts query scanning 2,000: first in the process", ms(first)))
    rows.append(("contacts query scanning 2,000: later ones", ms(statistics.median(later))))
    rows.append(("peak memory", f"{bridge.peak_mib():.1f} MiB"))
    bridge.close()
    for name, value in rows:
        print(f"{name:55} {value}")


if __name__ == "__main__":
    if sys.argv[1:2] == ["--world"]:
        with open(sys.argv[2], "w") as f:
            json.dump(world(), f, indent=1)
    else:
        main(sys.argv[1])
