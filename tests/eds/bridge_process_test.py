#!/usr/bin/env python3
"""The real pemrix-bridge over standard input and output, against the private store that
tools/eds-session.sh seeded with worlds/store.json: literal answers, a "changed" message
after another process writes to a calendar the bridge has read, an orderly end, and
nothing at all on standard error.

usage: bridge_process_test.py PEMRIX_BRIDGE PEMRIX_EDS_SEED
"""
import os
import selectors
import subprocess
import sys
import time

bridge_path, seed_path = sys.argv[1], sys.argv[2]
bridge = subprocess.Popen([bridge_path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)
lines = selectors.DefaultSelector()
lines.register(bridge.stdout, selectors.EVENT_READ)
failures = []
pending = b""


def read_line(seconds):
    """The next output line, or None when none is complete after `seconds`."""
    global pending
    deadline = time.monotonic() + seconds
    while b"\n" not in pending:
        left = deadline - time.monotonic()
        if left <= 0 or not lines.select(timeout=left):
            return None
        chunk = os.read(bridge.stdout.fileno(), 65536)
        if not chunk:
            return None
        pending += chunk
    line, pending = pending.split(b"\n", 1)
    return line.decode()


def exchange(request, expected):
    bridge.stdin.write((request + "\n").encode())
    bridge.stdin.flush()
    answer = read_line(20)
    if answer != expected:
        failures.append(f"{request}\n  got      {answer}\n  expected {expected}")


exchange('{"id":"1","command":"status"}',
         '{"id":"1","ok":true,"result":{"permissions":{"contacts":"fullAccess",'
         '"events":"fullAccess","reminders":"fullAccess"}}}')
exchange('{"id":"2","command":"list-sources","entity":"events"}',
         '{"id":"2","ok":true,"result":{"permission":"fullAccess","sources":['
         '{"id":"cal-home","title":"Home"},{"id":"cal-work","title":"Work"}],"truncated":false}}')
exchange('{"id":"3","command":"query","entity":"events","sourceIds":["cal-home"],'
         '"start":"2024-05-02T00:00:00Z","end":"2024-05-03T00:00:00Z"}',
         '{"id":"3","ok":true,"result":{"items":[{"allDay":false,"end":"2024-05-02T19:00:00Z",'
         '"id":"evt-dinner@2024-05-02T17:00:00Z","sourceId":"cal-home","start":'
         '"2024-05-02T17:00:00Z","title":"Dinner"},{"allDay":true,"end":"2024-05-03T22:00:00Z",'
         '"id":"evt-birthday@2024-05-02T22:00:00Z","sourceId":"cal-home","start":'
         '"2024-05-02T22:00:00Z","title":"Maya\'s birthday"}],"truncated":false}}')

# Another process writes to the calendar: one message per entity, about half a second later.
time.sleep(0.5)
subprocess.run([seed_path, "--add-event", "cal-home", "added-by-test"], check=True)
changed = set()
deadline = time.monotonic() + 5
while len(changed) < 2 and time.monotonic() < deadline:
    line = read_line(deadline - time.monotonic())
    if line is None:
        break
    changed.add(line)
expected_changes = {'{"entity":"events","event":"changed"}',
                    '{"entity":"reminders","event":"changed"}'}
if changed != expected_changes:
    failures.append(f"changed messages: got {sorted(changed)}, expected {sorted(expected_changes)}")

exchange('{"id":"4","command":"shutdown"}', '{"id":"4","ok":true,"result":{"stopped":true}}')
try:
    status = bridge.wait(timeout=10)
except subprocess.TimeoutExpired:
    bridge.kill()
    status = "still running"
if status != 0:
    failures.append(f"exit status {status}")
stderr = bridge.stderr.read()
if stderr:
    failures.append(f"standard error was not empty: {stderr[:500]!r}")

for failure in failures:
    print("FAIL:", failure)
print("ok" if not failures else f"{len(failures)} failure(s)")
sys.exit(1 if failures else 0)
