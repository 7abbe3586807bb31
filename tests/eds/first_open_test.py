#!/usr/bin/env python3
"""Read-only use of a new profile reports no change: in a fresh private store (no world:
EDS's own calendar, task list, address book and birthdays calendar, never opened before),
the real pemrix-bridge lists and queries every source once, and no "changed" message may
follow. Opening a calendar or address book for the first time makes its storage and moves
its revision on while the bridge connects; the bridge once took that for a change in about a
third of such runs on a loaded machine. Each round therefore runs the bridge on one CPU
beside a busy process, and the check runs in ROUNDS fresh stores (5).

usage: first_open_test.py PEMRIX_BRIDGE EDS_SESSION_SCRIPT [ROUNDS]
       first_open_test.py --round PEMRIX_BRIDGE      (one round, inside a store)
"""
import json
import subprocess
import sys

from bridge_pipe import BridgePipe


def one_round(bridge_path):
    # The bridge shares one CPU with a busy process, as on a loaded desktop: its threads,
    # and EDS's own in it, then run late against each other.
    busy = subprocess.Popen(["taskset", "-c", "0", sys.executable, "-c",
                             "import time\nend = time.time() + 4\nwhile time.time() < end: pass"])
    bridge = BridgePipe(["taskset", "-c", "0", bridge_path], stderr=None)

    def read(seconds):
        line = bridge.line(seconds)
        return json.loads(line) if line is not None else None

    unexpected = []

    def ask(body):
        bridge.send('{"id":"1",%s}' % body)
        while (message := read(20)) is not None and "id" not in message:
            unexpected.append(message)
        return message["result"]

    window = '"start":"2024-05-01T00:00:00Z","end":"2024-05-31T00:00:00Z"'
    ids = {}
    for entity in ("events", "reminders", "contacts"):
        ids[entity] = [s["id"] for s in
                       ask(f'"command":"list-sources","entity":"{entity}"')["sources"]]
    for entity in ("events", "reminders", "contacts"):
        rest = '"query":"zz"' if entity == "contacts" else window
        ask(f'"command":"query","entity":"{entity}","sourceIds":{json.dumps(ids[entity])},{rest}')
    while (message := read(1.5)) is not None:
        unexpected.append(message)
    bridge.process.stdin.close()
    bridge.process.wait()
    busy.kill()
    print("ok" if not unexpected else f"FAIL: {unexpected}")
    return 1 if unexpected else 0


if sys.argv[1] == "--round":
    sys.exit(one_round(sys.argv[2]))
bridge_path, session = sys.argv[1], sys.argv[2]
rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
failed = 0
for _ in range(rounds):
    failed += subprocess.run(["bash", session, "--", sys.executable, __file__, "--round",
                              bridge_path]).returncode != 0
print("ok" if not failed else f"{failed} of {rounds} rounds reported a change")
sys.exit(1 if failed else 0)
