#!/usr/bin/env python3
"""Benchmarks of the bridge over a real EDS store, against the raw EDS client calls for
the same work in the same run (pemrix-eds-raw). Run it inside a private store:

    tools/bench-eds.sh        (builds the bench preset and runs this in tools/eds-session.sh)

Measures: process start to the first "status" answer; the first events query on a cold
store (the EDS services ended first); a warm 31-day window over 10,000 events; contact
queries over address books of 2,000 and 10,000 contacts, set against the raw D-Bus cursor
walk, the raw direct read and reading every UID directly; how soon a "changed" message for
contacts follows another program's write; the bridge's peak memory in each; and its
resident memory over a long session. Prints one table; figures are medians.

usage: bench-eds.py BRIDGE SEED RAW
"""
import os
import selectors
import signal
import statistics
import subprocess
import sys
import time

BRIDGE, SEED, RAW = sys.argv[1:4]
DAY = 86400
now = int(time.time())
day0 = now - now % DAY
START = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(day0 + 30 * DAY))
END = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(day0 + 61 * DAY))
RAW_START = time.strftime("%Y%m%dT%H%M%SZ", time.gmtime(day0 + 30 * DAY))
RAW_END = time.strftime("%Y%m%dT%H%M%SZ", time.gmtime(day0 + 61 * DAY))
EVENTS_QUERY = ('{"id":"q","command":"query","entity":"events","sourceIds":["bench-events"],'
                f'"start":"{START}","end":"{END}"}}')


def contacts_query(book):
    return ('{"id":"q","command":"query","entity":"contacts","sourceIds":["' + book +
            '"],"query":"nobody"}')


class Bridge:
    def __init__(self):
        self.started = time.perf_counter()
        self.child = subprocess.Popen([BRIDGE], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.selector = selectors.DefaultSelector()
        self.selector.register(self.child.stdout, selectors.EVENT_READ)
        self.pending = b""

    def line(self, seconds=30):
        """The next output line, and the monotonic time it was read."""
        while b"\n" not in self.pending:
            if not self.selector.select(timeout=seconds):
                raise SystemExit("no line from the bridge")
            self.pending += os.read(self.child.stdout.fileno(), 1 << 20)
        found, self.pending = self.pending.split(b"\n", 1)
        return found, time.monotonic()

    def drain(self):
        """Drops the output lines that have already arrived."""
        while self.selector.select(timeout=0):
            self.pending += os.read(self.child.stdout.fileno(), 1 << 20)
        self.pending = b""

    def ask(self, line):
        """Sends one request; returns (milliseconds to the answer, the answer)."""
        start = time.perf_counter()
        self.child.stdin.write(line.encode() + b"\n")
        self.child.stdin.flush()
        answer = self.line()[0]
        while b'"event":"changed"' in answer:
            answer = self.line()[0]
        if b'"ok":true' not in answer:
            raise SystemExit(f"failed: {line} -> {answer[:300]!r}")
        return (time.perf_counter() - start) * 1000, answer

    def memory_kb(self, key):
        with open(f"/proc/{self.child.pid}/status") as status:
            for line in status:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
        return -1

    def close(self):
        self.child.stdin.close()
        self.child.wait(timeout=10)


def raw(*args):
    import json
    out = subprocess.run([RAW] + [str(a) for a in args], capture_output=True, text=True,
                         check=True).stdout
    return json.loads(out)


def end_services():
    for name in ("org.gnome.evolution.dataserver.Calendar8",
                 "org.gnome.evolution.dataserver.AddressBook10",
                 "org.gnome.evolution.dataserver.Sources5"):
        found = subprocess.run([RAW, "pid", name], capture_output=True, text=True)
        if found.returncode == 0:
            os.kill(int(found.stdout), signal.SIGTERM)
    time.sleep(1.0)


rows = []


def row(name, bridge_ms, raw_ms=None, peak_kb=None, note=""):
    ratio = f"{bridge_ms / raw_ms:.2f}x" if raw_ms and bridge_ms else ""
    rows.append((name, f"{bridge_ms:.1f}" if bridge_ms else "", f"{raw_ms:.1f}" if raw_ms else "",
                 ratio, f"{peak_kb / 1024:.1f}" if peak_kb else "", note))


def raw_median(*args, skip=2):
    return statistics.median(raw(*args)["runsMs"][skip:])


for kind, source, count in (("events", "bench-events", 10000), ("contacts", "bench-2k", 2000),
                            ("contacts", "bench-10k", 10000)):
    subprocess.run([SEED, "--bulk", kind, source, str(count)], check=True)

# Process start to the first "status" answer.
starts = []
for _ in range(20):
    bridge = Bridge()
    bridge.ask('{"id":"s","command":"status"}')
    starts.append((time.perf_counter() - bridge.started) * 1000)
    bridge.close()
row("start to first status", statistics.median(starts), note="20 starts")

# The first events query on a cold store: the services are ended first.
cold, cold_raw = [], []
for _ in range(3):
    end_services()
    bridge = Bridge()
    bridge.ask(EVENTS_QUERY)
    cold.append((time.perf_counter() - bridge.started) * 1000)
    bridge.close()
    end_services()
    started = time.perf_counter()
    raw("events", "bench-events", RAW_START, RAW_END, 1)
    cold_raw.append((time.perf_counter() - started) * 1000)
row("first events query, cold store", statistics.median(cold), statistics.median(cold_raw),
    note="process start to answer; services ended first")

# Warm 31-day window over 10,000 events.
bridge = Bridge()
for _ in range(3):
    bridge.ask(EVENTS_QUERY)
warm = [bridge.ask(EVENTS_QUERY)[0] for _ in range(20)]
peak = bridge.memory_kb("VmHWM")
bridge.close()
found = raw("events", "bench-events", RAW_START, RAW_END, 23)
row("warm 31-day window, 10,000 events", statistics.median(warm),
    statistics.median(found["runsMs"][3:]), peak,
    f"{found['items']} events in the window, 100 answered")

# Contact queries: 2,000 and 10,000 contacts (the scan stops at 2,000 either way), set
# against the raw reads of the same 2,000 contacts in the same run.
for source, count in (("bench-2k", 2000), ("bench-10k", 10000)):
    bridge = Bridge()
    for _ in range(2):
        bridge.ask(contacts_query(source))
    times = [bridge.ask(contacts_query(source))[0] for _ in range(20)]
    peak = bridge.memory_kb("VmHWM")
    bridge.close()
    direct = raw_median("contacts-direct", source, 2000, 22)
    row(f"contacts query, {count:,} contacts", statistics.median(times), direct, peak,
        "2,000 scanned, nothing matches; raw: the direct read")
    row("  raw: D-Bus cursor walk, 100 per step", None,
        raw_median("contacts", source, 2000, 22), note="the five fields of 2,000")
    row("  raw: direct read, one step", None, direct, note="the five fields of 2,000")
    row("  raw: every UID, read directly", None, raw_median("uids-direct", source, 12),
        note=f"{count:,} UIDs, no vCards")

# How soon "changed" follows another program's write to an address book the bridge has read.
bridge = Bridge()
bridge.ask(contacts_query("bench-2k"))
latencies = []
for i in range(5):
    time.sleep(1.0)  # past the half-second in which changes are coalesced
    bridge.drain()
    stored = float(subprocess.run([RAW, "add-contact", "bench-2k", f"late-{i}"],
                                  capture_output=True, text=True, check=True).stdout)
    line, arrived = bridge.line(5)
    if b'"entity":"contacts"' not in line:
        raise SystemExit(f"expected a contacts change, got {line!r}")
    latencies.append((arrived - stored) * 1000)
bridge.close()
row("contacts change to \"changed\"", statistics.median(latencies),
    note="from the write's return to the message; 5 writes")

# A long session: resident memory after 50 and after 1,000 mixed queries.
bridge = Bridge()
resident = {}
for i in range(1, 1001):
    bridge.ask(EVENTS_QUERY if i % 2 else contacts_query("bench-10k"))
    if i in (50, 1000):
        resident[i] = bridge.memory_kb("VmRSS")
peak = bridge.memory_kb("VmHWM")
bridge.close()
rows.append(("long session, 1,000 queries", "", "", "", f"{peak / 1024:.1f}",
             f"resident {resident[50] / 1024:.1f} MiB after 50, {resident[1000] / 1024:.1f} "
             "MiB after 1,000"))

header = ("measure", "bridge ms", "raw EDS ms", "ratio", "peak MiB", "note")
widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
for r in [header] + rows:
    print("  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip())
