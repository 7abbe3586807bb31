#!/usr/bin/env python3
"""The same world on both backends: the simulator (pemrix-bridge-sim over the world file)
and the real bridge over a private store made from the same world (tools/eds-session.sh
--world, or with --akonadi tools/akonadi-session.sh --world). Both get the same requests,
derived from the world, one at a time; their answers are compared byte for byte after
setting aside the differences that a real store makes unavoidable, each counted under its
name:

  wording     same failure code, the platform's own sentence (macOS or the desktop)
  order       same items in another order: sources in the store's order (by display
              name), contacts in the address book's order (family, then given name),
              events that start at the same moment
  both kinds  (Akonadi) a calendar file's collection holds events and to-dos alike, so it
              is listed under both; the sources of the other kind are set aside

Akonadi gives its collections identifiers of its own: inside the session the requests are
sent with them (the world's sources matched to the collections by file) and the answers
are read back with the world's.

Any other difference fails, and is printed.

usage: compare_worlds.py [--akonadi] SIM BRIDGE SEED SESSION WORLD... ("demo": the
demonstration world, written out by SEED --demo-world)
"""
import collections
import datetime
import json
import os
import subprocess
import sys
import tempfile

akonadi = sys.argv[1:2] == ["--akonadi"]
args = sys.argv[2:] if akonadi else sys.argv[1:]
sim, bridge, seed, session = args[0:4]
worlds = args[4:]
DAY = datetime.timedelta(days=1)
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


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
import json, os, subprocess, sys
inward, outward = {}, {}
if os.environ.get("PEMRIX_AKONADI_MANIFEST"):
    listing = subprocess.run([sys.executable, os.path.join(sys.argv[1], "tools/akonadi-collections.py"),
                              "--world-ids"], capture_output=True, text=True, check=True).stdout
    for line in listing.splitlines():
        world_id, store_id = line.split("=", 1)
        inward[world_id] = store_id
        outward[store_id] = world_id
def translated(answer):
    result = json.loads(answer).get("result") or {}
    for item in result.get("sources", []):
        item["id"] = outward.get(item["id"], item["id"])
    for item in result.get("items", []):
        if "sourceId" in item:
            item["sourceId"] = outward.get(item["sourceId"], item["sourceId"])
    whole = json.loads(answer)
    if "result" in whole:
        whole["result"] = result
    return json.dumps(whole, ensure_ascii=False, separators=(",", ":"), sort_keys=True)
requests = sys.stdin.read().splitlines()
child = subprocess.Popen(sys.argv[2:], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
for request in requests:
    if outward:
        sent = json.loads(request)
        if "sourceIds" in sent:
            sent["sourceIds"] = [inward.get(i, i) for i in sent["sourceIds"]]
        request = json.dumps(sent)
    child.stdin.write(request + "\n")
    child.stdin.flush()
    answer = child.stdout.readline().rstrip("\n")
    print(translated(answer) if outward else answer, flush=True)
child.stdin.close()
child.wait()
'''


def answers(wrapper, program, requests, env=None):
    """The answers of `program`, run inside `wrapper` (a command prefix), one per request."""
    result = subprocess.run(wrapper + [sys.executable, "-c", DRIVER, ROOT, program],
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


def canonical(answer):
    """The answer as the bridge writes JSON (keys sorted, no spaces, UTF-8 as it is)."""
    return json.dumps(json.loads(answer), ensure_ascii=False, separators=(",", ":"),
                      sort_keys=True)


def kinds_of(world):
    """The kind of each of the world's sources, by identifier."""
    kinds = {c["id"]: c.get("entityType", "events") for c in world.get("calendars", [])}
    kinds.update({c["id"]: "contacts" for c in world.get("containers", [])})
    return kinds


def of_its_kind(request, answer, kinds):
    """A list-sources answer without the sources the world has as another kind."""
    asked = json.loads(request)
    result = answer.get("result") or {}
    if asked.get("command") != "list-sources" or "sources" not in result:
        return answer
    copy = json.loads(json.dumps(answer))
    copy["result"]["sources"] = [source for source in result["sources"]
                                 if kinds.get(source["id"], asked["entity"]) == asked["entity"]]
    return copy


def compare(world_path):
    with open(world_path) as f:
        world = json.load(f)
    requests = requests_for(world)
    expected = answers([], sim, requests, dict(os.environ, PEMRIX_BRIDGE_WORLD=world_path))
    env = dict(os.environ, PEMRIX_EDS_SEED=seed)
    got = answers(["bash", session, "--world", world_path, "--"], bridge, requests, env)
    if akonadi:
        # The driver read the store's answers back with the world's identifiers.
        expected = [canonical(a) for a in expected]
    kinds = kinds_of(world)
    counts = collections.Counter()
    unexplained = []
    for request, a, b in zip(requests, expected, got):
        if a == b:
            counts["same"] += 1
            continue
        ja, jb = json.loads(a), json.loads(b)
        if akonadi and of_its_kind(request, jb, kinds) != jb:
            jb = of_its_kind(request, jb, kinds)
            if ja == jb:
                counts["both kinds"] += 1
                continue
        if "error" in ja and "error" in jb and ja["error"]["code"] == jb["error"]["code"]:
            counts["wording"] += 1
        elif without_order(ja) is not None and without_order(ja) == without_order(jb):
            counts["order"] += 1
        else:
            unexplained.append(f"  request   {request}\n  simulator {a}\n  store     {b}")
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
