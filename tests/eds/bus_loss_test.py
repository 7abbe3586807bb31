#!/usr/bin/env python3
"""The real pemrix-bridge when the session bus goes away. It runs on a session bus of its
own (a dbus-daemon this test starts inside the private store of tools/eds-session.sh, so
the EDS services it activates read the seeded world), and the test kills that bus while a
request waits for a calendar service it has stopped: the request is answered
"source_unavailable", the bridge keeps running and answers every later request as it would
without a bus, then ends at the end of its input with status 0 and nothing on standard
error. ("changed" messages, which the sources' going may cause, are skipped.)

usage: bus_loss_test.py PEMRIX_BRIDGE
"""
import os
import signal
import subprocess
import sys
import time

from bridge_pipe import BridgePipe, report

UNAVAILABLE = ('{"error":{"code":"source_unavailable","message":"The desktop\'s calendar and '
               'contacts service could not read the selected sources. Check that it is running '
               'and try again."},"id":"3","ok":false}')
NOT_READABLE = ('{"error":{"code":"permission_required","message":"Make this source available '
                'to Pemrix on your desktop before using it."},"id":"%s","ok":false}')
RESTRICTED = ('{"id":"4","ok":true,"result":{"permissions":{"contacts":"restricted",'
              '"events":"restricted","reminders":"restricted"}}}')

bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
address = bus.stdout.readline().decode().strip()
bridge = BridgePipe([sys.argv[1]], env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address))
send, answer = bridge.send, bridge.answer
failures = []


def service_pid(name):
    found = subprocess.run(["gdbus", "call", "--address", address, "--dest",
                            "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus",
                            "--method", "org.freedesktop.DBus.GetConnectionUnixProcessID", name],
                           capture_output=True, text=True)
    return int(found.stdout.split()[1].rstrip(",)"))


def expect(got, expected, what):
    if got != expected:
        failures.append(f"{what}:\n  got      {got}\n  expected {expected}")


EVENTS = ('{"id":"%s","command":"query","entity":"events","sourceIds":["cal-work"],'
          '"start":"2024-05-06T00:00:00Z","end":"2024-05-07T00:00:00Z"}')
# The stores are in use on the bus...
send('{"id":"1","command":"list-sources","entity":"contacts"}')
expect(answer(), '{"id":"1","ok":true,"result":{"permission":"fullAccess","sources":['
       '{"id":"book-personal","title":"Personal"},{"id":"book-work","title":"Work"}],'
       '"truncated":false}}', "before the bus goes")
send(EVENTS % "2")
expect((answer() or "")[:30], '{"id":"2","ok":true,"result":{', "a query before the bus goes")
# ...when the bus goes away while a request waits for the calendar service.
calendar = service_pid("org.gnome.evolution.dataserver.Calendar8")
os.kill(calendar, signal.SIGSTOP)
send(EVENTS % "3")
time.sleep(0.3)
bus.kill()
bus.wait()
expect(answer(), UNAVAILABLE, "the request in flight")
os.kill(calendar, signal.SIGKILL)
time.sleep(0.5)
if bridge.process.poll() is not None:
    failures.append(f"the bridge ended with the bus: status {bridge.process.returncode}")
else:
    send('{"id":"4","command":"status"}')
    expect(answer(), RESTRICTED, "status without a bus")
    send('{"id":"5","command":"list-sources","entity":"contacts"}')
    expect(answer(), NOT_READABLE % "5", "a listing without a bus")
    send('{"id":"6","command":"query","entity":"events","sourceIds":["cal-work"],'
         '"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"}')
    expect(answer(), NOT_READABLE % "6", "a query without a bus")
    bridge.process.stdin.close()
bridge.finish(failures)
sys.exit(report(failures))
