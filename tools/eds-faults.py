#!/usr/bin/env python3
"""A bounded fault run of the real bridge over a private store. tools/eds-faults.sh runs it
inside tools/eds-session.sh, or with --akonadi inside tools/akonadi-session.sh, over
tests/eds/worlds/store.json.

One stream of mixed requests goes to pemrix-bridge, each answered before the next is sent,
while a killer ends a random service of the session with SIGKILL every 0.4 to 1.6 seconds
(found by its name on the private bus): for EDS its source registry, calendar factory or
address-book factory, while a churn thread adds and removes calendars and address books
through the registry; for Akonadi its server or one of its resources, while a churn
thread removes the world's resources one by one, each during the reads. With Akonadi the
run ends by taking the session bus away and checking that the bridge still answers and
ends cleanly. The bridge is started again when it ends as documented (after a "timeout").

Prints the requests, kills, answers, failures by code, lost and duplicated answers, the
bytes on standard error, the bridge's peak memory and how long it took from a kill to the
next success. Exits 1 on any lost or duplicated answer, any byte on standard error, or a
bridge that ended other than as documented (a signal, another status, an exit while a
request was unanswered).

usage: eds-faults.py BRIDGE SECONDS [RANDOM-SEED] [--akonadi]
"""
import json
import os
import random
import re
import subprocess
import sys
import threading
import time

AKONADI = "--akonadi" in sys.argv
ARGS = [arg for arg in sys.argv[1:] if arg != "--akonadi"]
BRIDGE, SECONDS = ARGS[0], float(ARGS[1])
SEED = int(ARGS[2]) if len(ARGS) > 2 else 1
ANSWER_WAIT = 20.0  # the bridge answers every store request within 15 s
SERVICES = {
    "registry": "org.gnome.evolution.dataserver.Sources5",
    "calendar": "org.gnome.evolution.dataserver.Calendar8",
    "addressbook": "org.gnome.evolution.dataserver.AddressBook10",
}
MANAGER = "/org/gnome/evolution/dataserver/SourceManager"
MAY = '"start":"2024-05-01T00:00:00Z","end":"2024-06-01T00:00:00Z"'
REQUESTS = [
    '"command":"status"',
    '"command":"list-sources","entity":"events"',
    '"command":"list-sources","entity":"reminders"',
    '"command":"list-sources","entity":"contacts"',
    '"command":"query","entity":"events","sourceIds":["cal-work","cal-home"],' + MAY,
    '"command":"query","entity":"reminders","sourceIds":["list-errands"],'
    '"start":"2023-12-31T00:00:00Z","end":"2024-01-30T00:00:00Z"',
    '"command":"query","entity":"contacts","sourceIds":["book-work"],"query":"anna"',
    '"command":"query","entity":"contacts","sourceIds":["book-personal","book-work"],'
    '"query":"ac"',
]



def akonadi_ids():
    """The store's identifier ("akonadi:N") of each of the world's sources, by the file the
    session wrote it to."""
    with open(os.environ["PEMRIX_AKONADI_MANIFEST"]) as f:
        files = {source["file"]: source["id"] for source in json.load(f)}
    here = os.path.dirname(os.path.abspath(__file__))
    listing = subprocess.run([sys.executable, os.path.join(here, "akonadi-collections.py")],
                             capture_output=True, text=True, check=True).stdout
    return {files[c["remoteId"]]: (f"akonadi:{c['id']}", c["resource"])
            for c in json.loads(listing) if c["remoteId"] in files}


if AKONADI:
    STORE_IDS = akonadi_ids()
    for world_id, (store_id, _) in STORE_IDS.items():
        REQUESTS = [body.replace(f'"{world_id}"', f'"{store_id}"') for body in REQUESTS]
    SERVICES = {"server": "org.freedesktop.Akonadi"}
    RESOURCES = sorted({resource for _, resource in STORE_IDS.values()})

rng = random.Random(SEED)
lock = threading.Lock()
# Held by the churn thread while it looks up a source's object path and removes it, and by
# the killer while it kills: a registry that restarts in between numbers its objects anew.
registry_paths = threading.Lock()
stop = threading.Event()
kills = []  # (time, service)
churned = {"added": 0, "removed": 0, "failed": 0}
churn_sources = []  # (uid, kind) of sources the churn thread made, newest last
gone_sources = []  # (uid, kind) it removed
removed_resources = []  # Akonadi resources the churn thread removed


def gdbus(*args):
    return subprocess.run(["gdbus", "call", "--session", *args], capture_output=True, text=True,
                          timeout=10)


def service_pid(name):
    found = gdbus("--dest", "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus",
                  "--method", "org.freedesktop.DBus.GetConnectionUnixProcessID", name)
    match = re.search(r"uint32 (\d+)", found.stdout)
    return int(match.group(1)) if match else None


def akonadi_service():
    """Akonadi's server (twice at most: its control process gives up on the server after a
    third crash), or one of the resources still there."""
    with lock:
        resources = [r for r in RESOURCES if r not in removed_resources]
        servers_killed = sum(1 for _, service in kills if service == "server")
    if resources and (servers_killed >= 2 or rng.random() < 0.5):
        return "resource", "org.freedesktop.Akonadi.Resource." + rng.choice(resources)
    if servers_killed >= 2:
        return None, None
    return "server", SERVICES["server"]


def kill(service, name):
    """Ends the process that owns `name` on the bus with SIGKILL and records the kill under
    `service`; nothing when no process owns it at the moment."""
    pid = service_pid(name)
    if pid is None:
        return
    try:
        os.kill(pid, 9)
    except ProcessLookupError:
        return
    with lock:
        kills.append((time.monotonic(), service))


def killer():
    while not stop.wait(rng.uniform(0.4, 1.6)):
        if AKONADI:
            service, name = akonadi_service()
            if name:
                kill(service, name)
            continue
        service = rng.choice(sorted(SERVICES))
        with registry_paths:
            kill(service, SERVICES[service])


def create_source(uid, kind):
    section = "Calendar" if kind == "events" else "Address Book"
    data = (f"[Data Source]\nDisplayName={uid}\nEnabled=true\nParent=local-stub\n\n"
            f"[{section}]\nBackendName=local\n")
    return gdbus("--dest", SERVICES["registry"], "--object-path", MANAGER, "--method",
                 "org.gnome.evolution.dataserver.SourceManager.CreateSources",
                 "{" + json.dumps(uid) + ": " + json.dumps(data) + "}").returncode == 0


def remove_source(uid):
    """True when the source is gone: removed now, or never stored (a registry killed while
    creating it)."""
    listed = gdbus("--dest", SERVICES["registry"], "--object-path", MANAGER, "--method",
                   "org.freedesktop.DBus.ObjectManager.GetManagedObjects")
    if listed.returncode != 0:
        return False
    # Each object is its path followed by its interfaces; the next path ends them.
    parts = re.split(f"'({MANAGER}/Source_[0-9]+)': ", listed.stdout)
    for path, body in zip(parts[1::2], parts[2::2]):
        if f"'UID': <'{uid}'>" in body:
            return gdbus("--dest", SERVICES["registry"], "--object-path", path, "--method",
                         "org.gnome.evolution.dataserver.Source.Removable.Remove").returncode == 0
    return True


def remove_resources():
    """Removes the world's resources one by one, a few seconds apart, during the reads."""
    for resource in rng.sample(RESOURCES, len(RESOURCES)):
        if stop.wait(max(2.0, SECONDS / (len(RESOURCES) + 1))):
            return
        done = gdbus("--dest", "org.freedesktop.Akonadi.Control", "--object-path",
                     "/AgentManager", "--method",
                     "org.freedesktop.Akonadi.AgentManager.removeAgentInstance", resource)
        with lock:
            if done.returncode == 0:
                removed_resources.append(resource)
            churned["removed" if done.returncode == 0 else "failed"] += 1


def churn():
    if AKONADI:
        remove_resources()
        return
    made = 0
    while not stop.wait(rng.uniform(1.5, 3.0)):
        with lock:
            removing = len(churn_sources) >= 2
            victim = churn_sources[0] if removing else None
        if removing:
            with registry_paths:
                ok = remove_source(victim[0])
            with lock:
                if ok:
                    churn_sources.remove(victim)
                    gone_sources.append(victim)
                churned["removed" if ok else "failed"] += 1
        else:
            made += 1
            kind = rng.choice(["events", "contacts"])
            uid = f"churn-{kind}-{made}"
            ok = create_source(uid, kind)
            with lock:
                if ok:
                    churn_sources.append((uid, kind))
                churned["added" if ok else "failed"] += 1


def churn_request():
    """A query over a source the churn thread made, present or gone; None if there is none."""
    if AKONADI:
        return None  # the world's own sources are the ones removed
    with lock:
        candidates = churn_sources + gone_sources[-2:]
    if not candidates:
        return None
    uid, kind = rng.choice(candidates)
    if kind == "events":
        return f'"command":"query","entity":"events","sourceIds":["{uid}"],' + MAY
    return f'"command":"query","entity":"contacts","sourceIds":["{uid}"],"query":"zz"'


class Bridge:
    """One bridge process with readers of its standard output and standard error."""

    def __init__(self):
        self.child = subprocess.Popen([BRIDGE], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE)
        self.answers = {}  # id -> answers seen
        self.changed = 0
        self.stderr = b""
        self.arrived = threading.Condition()
        threading.Thread(target=self.read_stdout, daemon=True).start()
        threading.Thread(target=self.read_stderr, daemon=True).start()

    def read_stdout(self):
        for line in self.child.stdout:
            message = json.loads(line)
            with self.arrived:
                if "id" in message:
                    self.answers.setdefault(message["id"], []).append(message)
                else:
                    self.changed += 1
                self.arrived.notify_all()

    def read_stderr(self):
        while chunk := self.child.stderr.read1(65536):
            self.stderr += chunk

    def ask(self, rid, body):
        """The answer to one request, or None when none came within ANSWER_WAIT."""
        try:
            self.child.stdin.write(('{"id":"%s",%s}\n' % (rid, body)).encode())
            self.child.stdin.flush()
        except BrokenPipeError:
            return None
        with self.arrived:
            self.arrived.wait_for(lambda: rid in self.answers or self.child.poll() is not None,
                                  ANSWER_WAIT)
            found = self.answers.get(rid)
        return found[0] if found else None

    def peak_kb(self):
        try:
            with open(f"/proc/{self.child.pid}/status") as status:
                for line in status:
                    if line.startswith("VmHWM:"):
                        return int(line.split()[1])
        except OSError:
            pass
        return 0

    def duplicates(self):
        with self.arrived:
            return sum(len(found) - 1 for found in self.answers.values())

    def close(self):
        try:
            self.child.stdin.close()
        except BrokenPipeError:
            pass
        try:
            return self.child.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.child.kill()
            return "did not end"


def run():
    codes, outcomes = {}, []  # outcomes: (time, ok)
    lost = duplicated = stderr_bytes = changed = restarts = peak_kb = requests = 0
    crashes, stderr_text = [], b""
    bridge = Bridge()
    end = time.monotonic() + SECONDS
    while time.monotonic() < end:
        body = churn_request() if rng.random() < 0.15 else None
        churn_query = body is not None
        body = body or rng.choice(REQUESTS)
        requests += 1
        answer = bridge.ask(f"r{requests}", body)
        now = time.monotonic()
        if answer is None:
            lost += 1
        else:
            code = "ok" if answer["ok"] else answer["error"]["code"]
            key = code + (" (churned sources)" if churn_query else "")
            codes[key] = codes.get(key, 0) + 1
            outcomes.append((now, answer["ok"]))
        peak_kb = max(peak_kb, bridge.peak_kb())
        timed_out = answer is not None and not answer["ok"] and code == "timeout"
        if timed_out:
            bridge.close()  # the bridge ends after a "timeout", as documented
        ended = bridge.child.poll()
        if answer is None or ended is not None:
            status = ended if ended is not None else bridge.close()
            documented = status == 0 and timed_out
            if not documented:
                crashes.append(f"request {requests} ({body[:60]}...): exit {status}")
            duplicated += bridge.duplicates()
            stderr_bytes += len(bridge.stderr)
            stderr_text += bridge.stderr
            changed += bridge.changed
            restarts += 1
            bridge = Bridge()
    stop.set()
    if AKONADI:
        lost += without_bus(bridge)
    status = bridge.close()
    if status != 0:
        crashes.append(f"at the end: exit {status}")
    time.sleep(0.2)
    duplicated += bridge.duplicates()
    stderr_bytes += len(bridge.stderr)
    stderr_text += bridge.stderr
    changed += bridge.changed
    return dict(codes=codes, outcomes=outcomes, lost=lost, duplicated=duplicated,
                stderr_bytes=stderr_bytes, stderr_text=stderr_text, changed=changed,
                restarts=restarts, peak_kb=peak_kb, requests=requests, crashes=crashes)


def without_bus(bridge):
    """Takes the session bus away and asks again; the number of requests left unanswered."""
    daemon = service_pid("org.freedesktop.DBus")
    if daemon is not None:
        os.kill(daemon, 9)
    unanswered = 0
    for n, body in enumerate(REQUESTS[:5]):
        if bridge.ask(f"no-bus-{n}", body) is None:
            unanswered += 1
    print(f"without the bus    {len(REQUESTS[:5]) - unanswered} of {len(REQUESTS[:5])} answered")
    return unanswered


def recovery(outcomes):
    """The longest time from a kill to the next successful answer."""
    longest = 0.0
    for killed, _ in kills:
        later = [when for when, ok in outcomes if ok and when > killed]
        if later:
            longest = max(longest, later[0] - killed)
    return longest


def main():
    threads = [threading.Thread(target=killer), threading.Thread(target=churn)]
    for thread in threads:
        thread.start()
    try:
        result = run()
    finally:
        stop.set()
        for thread in threads:
            thread.join()
    by_service = {}
    for _, service in kills:
        by_service[service] = by_service.get(service, 0) + 1
    answered = sum(result["codes"].values())
    print(f"random seed {SEED}, {SECONDS:.0f} s")
    print(f"requests           {result['requests']}")
    print(f"kills              {len(kills)} ("
          + ", ".join(f"{k} {v}" for k, v in sorted(by_service.items())) + ")")
    print(f"source churn       {churned['added']} added, {churned['removed']} removed, "
          f"{churned['failed']} refused")
    print(f"answers            {answered}")
    print("by code            " + ", ".join(f"{k} {v}" for k, v in sorted(result["codes"].items())))
    print(f"changed messages   {result['changed']}")
    print(f"lost answers       {result['lost']}")
    print(f"duplicated answers {result['duplicated']}")
    print(f"stderr bytes       {result['stderr_bytes']}")
    print(f"bridge restarts    {result['restarts']} (each after a documented end)")
    print(f"peak memory        {result['peak_kb'] / 1024:.1f} MiB")
    print(f"kill to next success, longest: {recovery(result['outcomes']):.2f} s")
    failures = [f"bridge ended: {crash}" for crash in result["crashes"]]
    if result["lost"]:
        failures.append(f"{result['lost']} lost answer(s)")
    if result["duplicated"]:
        failures.append(f"{result['duplicated']} duplicated answer(s)")
    if result["stderr_bytes"]:
        failures.append(f"standard error: {result['stderr_text'][:300]!r}")
    for failure in failures:
        print("FAIL:", failure)
    print("ok" if not failures else f"{len(failures)} failure(s)")
    return 1 if failures else 0


sys.exit(main())
