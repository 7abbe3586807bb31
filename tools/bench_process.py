#!/usr/bin/env python3
"""Process-level benchmarks of pemrix-bridge-sim next to a floor program.

The floor is `cat` over the same kind of pipes: the least any child process answering
lines can cost. Each figure runs the bridge and the floor alternately, many times, in
one run, and reports medians and their ratio:

  cold start   start, answer one "status", exit at end of input
  round trip   one "status" and its answer on a running process
  workload     10,000 mixed requests (status, list-sources, queries, refusals), each
               answered before the next is sent, on the demonstration world
  flood        100 MB of refused lines, written while the answers are read
  peak RSS     of each process (the kernel's high-water mark), after the first answer,
               the workload and the flood
  executable   the size of a stripped copy

With --micro, it also reads Google Benchmark's JSON output and checks the micro-benchmark
figures against their targets. Standard library only.
"""

import argparse
import datetime
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

MIB = 1024 * 1024
STATUS = b'{"id":"1","command":"status"}\n'


class Child:
    """A child process with its standard input and output on pipes."""

    def __init__(self, argv, env=None):
        self.argv = argv
        in_r, self.stdin = os.pipe()
        self.stdout, out_w = os.pipe()
        actions = [
            (os.POSIX_SPAWN_DUP2, in_r, 0),
            (os.POSIX_SPAWN_DUP2, out_w, 1),
            (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0),
        ]
        # The pipe ends are close-on-exec: only the duplicates reach the child.
        self.pid = os.posix_spawn(argv[0], argv, env if env is not None else os.environ,
                                  file_actions=actions)
        os.close(in_r)
        os.close(out_w)
        self.pending = bytearray()

    def send(self, data):
        view = memoryview(data)
        while view:
            view = view[os.write(self.stdin, view):]

    def close_input(self):
        if self.stdin >= 0:
            os.close(self.stdin)
            self.stdin = -1

    def readline(self):
        """One output line, or b"" at end of output."""
        end = self.pending.find(b"\n")
        while end < 0:
            chunk = os.read(self.stdout, 1 << 16)
            if not chunk:
                line = bytes(self.pending)
                self.pending.clear()
                return line
            start = len(self.pending)  # no newline so far: search only the new part
            self.pending += chunk
            end = self.pending.find(b"\n", start)
        line = bytes(self.pending[:end + 1])
        del self.pending[:end + 1]
        return line

    def skip_lines(self, count):
        """Reads `count` output lines without keeping them; returns their bytes."""
        received = 0
        while count > 0:
            if not self.pending:
                self.pending += os.read(self.stdout, 1 << 16)
                if not self.pending:
                    raise RuntimeError("output ended early")
            lines = self.pending.count(b"\n")
            if lines < count:
                count -= lines
                received += len(self.pending)
                self.pending.clear()
                continue
            end = -1
            for _ in range(count):
                end = self.pending.find(b"\n", end + 1)
            received += end + 1
            del self.pending[:end + 1]
            count = 0
        return received

    def drain(self):
        """Reads to end of output; returns the number of bytes read."""
        total = len(self.pending)
        self.pending.clear()
        while True:
            chunk = os.read(self.stdout, 1 << 16)
            if not chunk:
                return total
            total += len(chunk)

    def peak_rss(self):
        """The peak resident memory of the running process so far, in bytes.

        Read from /proc rather than from os.wait4: the kernel folds the parent's peak at
        the moment of the spawn into a child's ru_maxrss, so for a small child of this
        Python process wait4 reports Python's size, not the child's."""
        with open(f"/proc/{self.pid}/status", encoding="ascii") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
        raise RuntimeError(f"no VmHWM for process {self.pid}")

    def finish(self, what):
        """Ends input, reads what is left and waits; fails unless the exit status is 0."""
        self.close_input()
        self.drain()
        status = self.wait()
        if status != 0:
            raise RuntimeError(f"{self.argv[0]}: {what} ended with status {status}")

    def wait(self):
        """Waits for the exit; returns the exit status."""
        self.close_input()
        _, status = os.waitpid(self.pid, 0)
        os.close(self.stdout)
        return os.waitstatus_to_exitcode(status)


def median(values):
    return statistics.median(values) if values else float("nan")


# ---------------------------------------------------------------------------------------
# The figures. Each function takes the command line of one program and returns samples.

def cold_start(argv):
    """Seconds from the spawn to the exit at end of input, after one "status"."""
    begin = time.perf_counter()
    child = Child(argv)
    child.send(STATUS)
    child.close_input()
    answer = child.readline()
    child.drain()
    status = child.wait()
    elapsed = time.perf_counter() - begin
    if not answer.startswith(b'{"id":"1"') or status != 0:
        raise RuntimeError(f"{argv[0]}: unexpected start-up answer {answer!r}, status {status}")
    return elapsed


def start_rss(argv):
    """Peak resident bytes of a process that has started and answered one "status"."""
    child = Child(argv)
    child.send(STATUS)
    child.readline()
    rss = child.peak_rss()
    child.close_input()
    child.drain()
    child.wait()
    return rss


def round_trips(sim, floor, count):
    """Alternating round trips on one running bridge and one running floor."""
    children = {"sim": Child(sim), "floor": Child(floor)}
    samples = {"sim": [], "floor": []}
    for i in range(count):
        order = ("sim", "floor") if i % 2 == 0 else ("floor", "sim")
        for name in order:
            child = children[name]
            begin = time.perf_counter()
            child.send(STATUS)
            line = child.readline()
            samples[name].append(time.perf_counter() - begin)
            if not line.startswith(b'{"id":"1"'):
                raise RuntimeError(f"{name}: unexpected round-trip answer {line!r}")
    for child in children.values():
        child.wait()
    return samples


def workload_lines(count):
    """`count` mixed request lines for the demonstration world, around today."""
    today = datetime.datetime.now(datetime.timezone.utc).replace(
        hour=0, minute=0, second=0, microsecond=0)

    def day(offset):
        return (today + datetime.timedelta(days=offset)).strftime("%Y-%m-%dT%H:%M:%SZ")

    templates = [
        '{"id":"%d","command":"status"}',
        '{"id":"%d","command":"list-sources","entity":"events"}',
        '{"id":"%d","command":"query","entity":"events","sourceIds":["cal-home","cal-work",'
        '"cal-birthdays"],"start":"' + day(-7) + '","end":"' + day(14) + '"}',
        '{"id":"%d","command":"list-sources","entity":"reminders"}',
        '{"id":"%d","command":"query","entity":"reminders","sourceIds":["list-errands",'
        '"list-work"],"start":"' + day(-3) + '","end":"' + day(10) + '","limit":50}',
        '{"id":"%d","command":"query","entity":"contacts","sourceIds":["container-personal",'
        '"container-work"],"query":"engineer"}',
        '{"id":"%d","command":"list-sources","entity":"contacts"}',
        '{"id":"%d","command":"query","entity":"contacts","sourceIds":["container-work"],'
        '"query":"Acme Corp manager","limit":10}',
        '{"id":"%d","command":"status","extra":true}',
        '{"id":"%d","command":"query","entity":"events","sourceIds":["cal-home"],'
        '"start":"' + day(0) + '","end":"' + day(40) + '"}',
        '{"id":"%d","command":"launch"}',
        '{"id":"%d","command":"status"',
        '{"id":"%d","command":"query","entity":"contacts","sourceIds":["container-personal"],'
        '"query":"José"}',
    ]
    return [(templates[i % len(templates)] % i + "\n").encode() for i in range(count)]


def run_workload(argv, lines):
    """Sends each line and reads its answer before the next; (seconds, rss, refusals)."""
    child = Child(argv)
    refused = 0
    begin = time.perf_counter()
    for line in lines:
        child.send(line)
        answer = child.readline()
        if b'"ok":false' in answer:
            refused += 1
        elif not answer:
            raise RuntimeError(f"{argv[0]}: no answer to {line!r}")
    elapsed = time.perf_counter() - begin
    rss = child.peak_rss()
    child.finish("workload")
    return elapsed, rss, refused


def flood_lines(total_bytes):
    """Refused lines of many kinds, about `total_bytes` in all, each under 16384 bytes."""
    kinds = [
        b'{"id":"f-1","command":"status","pad":"' + b"x" * 12000 + b'"}\n',
        b"not json at all " * 600 + b"\n",
        b'{"id":"f-2","command":"query","entity":"events","sourceIds":[' +
        b",".join(b'"cal-%d"' % i for i in range(900)) + b'],"start":"x","end":"y"}\n',
        b'{"id":"f-3","command":"status","deep":' + b"[" * 6000 + b"]" * 6000 + b"}\n",
        b'{"id":"f-4","command":"query","entity":"contacts","sourceIds":["a"],"query":"' +
        "Zoë Ærøskøbing 会議 ".encode() * 400 + b'","extra":1}\n',
        b'{"command":"status","id":{"nested":[1,2,3,{"a":"b"}]},"x":' + b"1" * 8000 + b"}\n",
    ]
    assert all(len(kind) <= 16384 for kind in kinds)
    block = b"".join(kinds)
    repeat = max(1, total_bytes // len(block))
    return block * repeat, len(kinds) * repeat


def run_flood(argv, data, line_count):
    """Writes `data` from a thread while reading one answer per line; (seconds, rss,
    answer bytes)."""
    child = Child(argv)
    writer = threading.Thread(target=child.send, args=(data,))
    begin = time.perf_counter()
    writer.start()
    received = child.skip_lines(line_count)
    writer.join()
    elapsed = time.perf_counter() - begin
    rss = child.peak_rss()
    child.finish("flood")
    return elapsed, rss, received


def stripped_size(path):
    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, "stripped")
        shutil.copy(path, copy)
        subprocess.run(["strip", copy], check=True)
        return os.path.getsize(copy)


# ---------------------------------------------------------------------------------------
# Micro-benchmark targets, checked against Google Benchmark's JSON output.

MICRO_TARGETS = [
    ("BM_ParseEventsQueryLine", "parse a query line", 2e-6),
    ("BM_ParseDate", "parseDate", 150e-9),
    ("BM_ContactsQueryScan2000/manual_time", "contact query, 2000 scanned", 2e-3),
    ("BM_EventsQuery100Of10000/manual_time", "events query, 100 of 10,000", 0.5e-3),
    ("BM_BoundedResult100Large/2500", "boundedResult, 100 large items", 0.5e-3),
]

UNIT_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


# Store requests measured again with the whole benchmark on one CPU: the same work
# without the cost of handing data between two cores, which varies a lot on a shared
# virtual machine.
SAME_CPU_ROWS = [
    ("BM_StoreRoundTripBaseline/manual_time", "store request hand-off alone, one CPU"),
    ("BM_ContactsQueryScan2000/manual_time", "contact query, 2000 scanned, one CPU"),
    ("BM_EventsQuery100Of10000/manual_time", "events query, 100 of 10,000, one CPU"),
]


def read_medians(path):
    """Real time in seconds of each benchmark in Google Benchmark's JSON output."""
    with open(path, encoding="utf-8") as handle:
        report = json.load(handle)
    found = {}
    for bench in report.get("benchmarks", []):
        # With repetitions, the median of the repetitions; otherwise the single run.
        if bench.get("run_type") == "aggregate":
            if bench.get("aggregate_name") != "median":
                continue
            name = bench["run_name"]
        elif bench["name"] in found:
            continue
        else:
            name = bench["name"]
        found[name] = bench["real_time"] * UNIT_SECONDS[bench["time_unit"]]
    return found


def micro_rows(path, same_cpu_path=None):
    found = read_medians(path)
    rows = []
    for name, label, target in MICRO_TARGETS:
        value = found.get(name)
        rows.append((label, fmt_time(value) if value is not None else "missing", "", "",
                     "< " + fmt_time(target), verdict(value is not None and value < target)))
    if same_cpu_path:
        same_cpu = read_medians(same_cpu_path)
        for name, label in SAME_CPU_ROWS:
            value = same_cpu.get(name)
            rows.append((label, fmt_time(value) if value is not None else "missing", "", "", "",
                         ""))
    return rows


# ---------------------------------------------------------------------------------------
# Formatting.

def fmt_time(seconds):
    if seconds is None or seconds != seconds:
        return "n/a"
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("µs", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def fmt_mib(count):
    return f"{count / MIB:.2f} MiB"


def verdict(ok):
    return "yes" if ok else "NO"


def print_table(rows):
    header = ("Figure", "pemrix-bridge-sim", "floor (cat)", "ratio", "target", "met")
    widths = [max(len(str(row[i])) for row in [header] + rows) for i in range(len(header))]
    line = lambda cells: "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"
    print(line(header))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows:
        print(line(row))


# ---------------------------------------------------------------------------------------

def alternate(count, programs, measure):
    """Runs measure(argv) `count` times for each of `programs` ({name: argv}), switching
    the order every round; returns {name: [results]}."""
    results = {name: [] for name in programs}
    names = list(programs)
    for i in range(count):
        for name in names if i % 2 == 0 else reversed(names):
            results[name].append(measure(programs[name]))
    return results


def column(results, index):
    """{name: [tuple]} -> {name: [tuple[index]]}"""
    return {name: [r[index] for r in values] for name, values in results.items()}


def timed(label, samples, target_ratio=None):
    s, f = median(samples["sim"]), median(samples["floor"])
    ratio = s / f
    target = f"≤ {target_ratio}× floor" if target_ratio else ""
    met = verdict(ratio <= target_ratio) if target_ratio else ""
    return (label, fmt_time(s), fmt_time(f), f"{ratio:.2f}×", target, met)


def peak(label, samples):
    s, f = max(samples["sim"]), max(samples["floor"])
    return (label, fmt_mib(s), fmt_mib(f), f"{s / f:.2f}×", "≤ 8 MiB", verdict(s <= 8 * MIB))


def process_rows(args, programs):
    """Runs every process benchmark; returns the table rows."""
    starts = alternate(args.starts, programs, cold_start)
    first_rss = alternate(5, programs, start_rss)
    trips = round_trips(programs["sim"], programs["floor"], args.trips)

    lines = workload_lines(args.requests)
    work = alternate(args.workloads, programs, lambda argv: run_workload(argv, lines))
    refused = work["sim"][0][2]

    data, flood_count = flood_lines(args.flood_mb * 1000 * 1000)
    flood = alternate(args.floods, programs, lambda argv: run_flood(argv, data, flood_count))
    size = stripped_size(programs["sim"][0])

    per_request = {name: [t / args.requests for t in times]
                   for name, times in column(work, 0).items()}
    return [
        timed(f"cold start, median of {args.starts}", starts, 1.5),
        timed(f"round trip, median of {args.trips}", trips, 3),
        timed(f"workload of {args.requests} requests ({refused} refused), median of "
              f"{args.workloads}", column(work, 0)),
        timed("  per request", per_request),
        timed(f"flood of {len(data) / 1e6:.0f} MB in {flood_count} refused lines, median of "
              f"{args.floods}", column(flood, 0)),
        peak("peak RSS, started and answered", first_rss),
        peak("peak RSS, workload", column(work, 1)),
        peak("peak RSS, flood", column(flood, 1)),
        ("stripped executable", fmt_mib(size), "", "", "≤ 2 MiB", verdict(size <= 2 * MIB)),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sim", default="build/bench/pemrix-bridge-sim")
    parser.add_argument("--floor", default=shutil.which("cat"))
    parser.add_argument("--starts", type=int, default=200, help="cold starts of each")
    parser.add_argument("--trips", type=int, default=5000, help="round trips on each")
    parser.add_argument("--workloads", type=int, default=3, help="workload runs of each")
    parser.add_argument("--requests", type=int, default=10000)
    parser.add_argument("--floods", type=int, default=2, help="flood runs of each")
    parser.add_argument("--flood-mb", type=int, default=100)
    parser.add_argument("--micro", help="Google Benchmark JSON output to check")
    parser.add_argument("--micro-same-cpu", help="the same for a run pinned to one CPU")
    args = parser.parse_args()

    programs = {"sim": [os.path.abspath(args.sim)], "floor": [args.floor]}
    if not os.access(programs["sim"][0], os.X_OK):
        sys.exit(f"bench_process.py: no executable at {programs['sim'][0]}")
    os.environ.pop("PEMRIX_BRIDGE_WORLD", None)  # the demonstration world
    print(f"load average at start: {os.getloadavg()[0]:.2f}", flush=True)
    rows = process_rows(args, programs)
    print(f"load average at end: {os.getloadavg()[0]:.2f}")
    if args.micro:
        rows += micro_rows(args.micro, args.micro_same_cpu)
    print_table(rows)


if __name__ == "__main__":
    main()
