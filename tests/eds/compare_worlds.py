#!/usr/bin/env python3
"""The same world on both backends: the simulator (pemrix-bridge-sim over the world file)
and the real bridge over a private EDS store seeded with the same world
(tools/eds-session.sh --world). Both get the same requests, derived from the world, one
at a time; their answers are compared byte for byte after setting aside the differences
that a real store makes unavoidable, each counted under its name:

  wording   same failure code, the platform's own sentence (macOS or the desktop)
  order     same items in another order: sources in the registry's order (by display
            name), contacts in the address book's order (family, then given name),
            events that start at the same moment

Any other difference fails, and is printed.

usage: compare_worlds.py SIM BRIDGE SEED EDS_SESSION WORLD... ("demo": the demonstration
world, written out by SEED --demo-world)
"""
import collections
import datetime
import json
import os
import subprocess
import sys
import tempfile

sim, bridge, seed, session = sys.argv[1:5]
worlds = sys.argv[5:]
DAY = datetime.timedelta(days=1)


def stamp(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%SZ")


def parse(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%SZ")


def windows(moments):
    """31-day windows from the day before the earliest moment until past the last."""
    if not moments:
        return []
    start = min(moments).replace(hour=0, minute=0, second=0) - DAY
    out = []
    while start <= max(moments) + DAY:
        out.append((stamp(start), stamp(start + 31 * DAY)))
        start += 31 * DAY
    return out


def requests_for(world):
    calendars = [c["id"] for c in world.get("calendars", []) if c.get("entityType", "events") == "events"]
    lists = [c["id"] for c in world.get("calendars", []) if c.get("entityType") == "reminders"]
    books = [c["id"] for c in world.get("containers", [])]
    out = ['{"id":"s","command":"status"}']
    for entity in ("events", "reminders", "contacts"):
        out.append(json.dumps({"id": "l", "command": "list-sources", "entity": entity}))
    starts = [parse(e["start"]) for e in world.get("events", []) if e.get("start")]
    for begin, end in windows(starts):
        for ids in ([calendars] + [[c] for c in calendars] if calendars else []):
            out.append(json.dumps({"id": "e", "command": "query", "entity": "events",
                                   "sourceIds": ids, "start": begin, "end": end}))
    dues = []
    for r in world.get("reminders", []):
        due = r.get("due") or {}
        try:
            dues.append(datetime.datetime(due["year"], due["month"], due["day"]))
        except (KeyError, ValueError, OverflowError):
            pass
    for begin, end in windows(dues):
        if lists:
            out.append(json.dumps({"id": "r", "command": "query", "entity": "reminders",
                                   "sourceIds": lists, "start": begin, "end": end}))
    words = []
    for c in world.get("contacts", []):
        for key in ("givenName", "familyName", "organizationName", "jobTitle"):
            for word in c.get(key, "").split():
                if len(word) >= 2 and word not in words:
                    words.append(word)
    for word in words[:12] + ["zz-nobody"]:
        if books:
            out.append(json.dumps({"id": "c", "command": "query", "entity": "contacts",
                                   "sourceIds": books, "query": word}))
    if calendars:
        out.append(json.dumps({"id": "m", "command": "query", "entity": "events",
                               "sourceIds": ["no-such-calendar"],
                               "start": "2024-01-01T00:00:00Z", "end": "2024-01-02T00:00:00Z"}))
    return out


DRIVER = r'''
import subprocess, sys
requests = sys.stdin.read().splitlines()
child = subprocess.Popen(sys.argv[1:], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
for request in requests:
    child.stdin.write(request + "\n")
    child.stdin.flush()
    print(child.stdout.readline().rstrip("\n"), flush=True)
child.stdin.close()
child.wait()
'''


def answers(wrapper, program, requests, env=None):
    """The answers of `program`, run inside `wrapper` (a command prefix), one per request."""
    result = subprocess.run(wrapper + [sys.executable, "-c", DRIVER, program],
                            input="\n".join(requests), capture_output=True, text=True,
                            env=env, timeout=600)
    lines = result.stdout.splitlines()
    if len(lines) != len(requests):
        sys.exit(f"{program}: {len(lines)} answers to {len(requests)} requests\n{result.stderr}")
    return lines


def without_order(answer):
    """The answer with its list put in a fixed order, or None when it has no list."""
    result = answer.get("result", {})
    for key in ("items", "sources"):
        if key in result:
            copy = json.loads(json.dumps(answer))
            copy["result"][key].sort(key=lambda item: json.dumps(item, sort_keys=True))
            return copy
    return None


def compare(world_path):
    with open(world_path) as f:
        world = json.load(f)
    requests = requests_for(world)
    expected = answers([], sim, requests, dict(os.environ, PEMRIX_BRIDGE_WORLD=world_path))
    env = dict(os.environ, PEMRIX_EDS_SEED=seed)
    got = answers(["bash", session, "--world", world_path, "--"], bridge, requests, env)
    counts = collections.Counter()
    unexplained = []
    for request, a, b in zip(requests, expected, got):
        if a == b:
            counts["same"] += 1
            continue
        ja, jb = json.loads(a), json.loads(b)
        if "error" in ja and "error" in jb and ja["error"]["code"] == jb["error"]["code"]:
            counts["wording"] += 1
        elif without_order(ja) is not None and without_order(ja) == without_order(jb):
            counts["order"] += 1
        else:
            unexplained.append(f"  request   {request}\n  simulator {a}\n  EDS       {b}")
    print(f"{os.path.basename(world_path)}: {len(requests)} requests, " +
          ", ".join(f"{n} {k}" for k, n in sorted(counts.items())) +
          f", {len(unexplained)} unexplained")
    for line in unexplained:
        print(line)
    return not unexplained


ok = True
with tempfile.TemporaryDirectory() as scratch:
    for world in worlds:
        if world == "demo":
            path = os.path.join(scratch, "demo.json")
            with open(path, "w") as f:
                f.write(subprocess.run([seed, "--demo-world"], capture_output=True, text=True,
                                       check=True).stdout)
            world = path
        ok = compare(world) and ok
sys.exit(0 if ok else 1)
