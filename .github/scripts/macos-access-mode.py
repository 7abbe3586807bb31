#!/usr/bin/env python3
"""Asks the built bridge for "status" and says how the smoke exchange must run, as lines
for $GITHUB_OUTPUT:

  states=<the bridge's permissions, as JSON>
  readable=<the readable stores, comma-separated; empty when none>
  mode=granted   every store is readable: the exchange must find items in each
  mode=partial   some are: the exchange must find items in those
  mode=denied    none is (granting did not take): the smoke test runs with --allow-denied

The bridge is started the way the smoke test starts it (a child of python3 in this job), so
macOS holds the same process responsible for it and it sees the access the smoke test will.

Usage: macos-access-mode.py BRIDGE
Exits 1 when the bridge does not answer "status" as expected, 64 for a wrong usage.
"""

import json
import subprocess
import sys

ENTITIES = ("events", "reminders", "contacts")
READABLE = {"fullAccess", "limited"}  # "limited" is a contacts state only


def main(arguments):
    if len(arguments) != 1:
        print("usage: macos-access-mode.py BRIDGE", file=sys.stderr)
        return 64
    requests = '{"id":"1","command":"status"}\n{"id":"2","command":"shutdown"}\n'
    finished = subprocess.run(arguments, input=requests, capture_output=True, text=True,
                              timeout=30)
    try:
        states = json.loads(finished.stdout.splitlines()[0])["result"]["permissions"]
        readable = [entity for entity in ENTITIES if states[entity] in READABLE]
    except (IndexError, KeyError, TypeError, ValueError):
        print(f"the bridge did not answer \"status\" (exit status {finished.returncode}): "
              f"{finished.stdout[:300]!r} {finished.stderr[:300]!r}", file=sys.stderr)
        return 1
    mode = "granted" if len(readable) == len(ENTITIES) else "partial" if readable else "denied"
    print(f"states={json.dumps(states, sort_keys=True)}")
    print(f"readable={','.join(readable)}")
    print(f"mode={mode}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
