#!/usr/bin/env python3
"""The real pemrix-bridge over standard input and output, against the private store that
tools/eds-session.sh seeded with worlds/store.json: literal answers, a "changed" message
after another process writes to a calendar the bridge has read, an orderly end, and
nothing at all on standard error.

usage: bridge_process_test.py PEMRIX_BRIDGE PEMRIX_EDS_SEED
"""
import subprocess
import sys
import time

from bridge_pipe import BridgePipe, report

bridge_path, seed_path = sys.argv[1], sys.argv[2]
bridge = BridgePipe([bridge_path])
failures = []


def exchange(request, expected):
    bridge.send(request)
    answer = bridge.line(20)
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
    line = bridge.line(deadline - time.monotonic())
    if line is None:
        break
    changed.add(line)
expected_changes = {'{"entity":"events","event":"changed"}',
                    '{"entity":"reminders","event":"changed"}'}
if changed != expected_changes:
    failures.append(f"changed messages: got {sorted(changed)}, expected {sorted(expected_changes)}")

exchange('{"id":"4","command":"shutdown"}', '{"id":"4","ok":true,"result":{"stopped":true}}')
bridge.finish(failures)
sys.exit(report(failures))
