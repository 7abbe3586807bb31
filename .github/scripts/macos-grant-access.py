#!/usr/bin/env python3
"""Grants calendars, reminders and contacts to this job's processes on a GitHub-hosted macOS
runner, by writing rows into the user's privacy database (TCC.db), as the runner images do
for their own tools. Hosted runners let a job's processes write that database (they have
Full Disk Access), and tccd reads it at its next check. A Mac at a desk has neither, and
nothing here is wanted there: the script refuses to run outside GitHub Actions.

macOS attributes a privacy request to the *responsible process*, not to the process that
makes it: in a job that is the runner's agent at the top of the process tree (bridge <-
python3 <- bash <- Runner.Worker <- Runner.Listener <- agent), whose path differs between
runner images. So the script grants, by path (client type 1), every process that the seeder
(tools/macos-seed.swift, --processes) names: the responsible process and each ancestor;
and the bridge and the seeder themselves by path, and the bridge by its bundle identifier
(client type 0), in case macOS ever holds either responsible for itself.

The columns of the access table differ between macOS releases (13 on macOS 11 to 13, 17 on
macOS 14 and later; `allowed` and `prompt_count` before macOS 11). The rows are written by
column name, from the table's own list of columns: a column this script does not know that
needs a value gets 0 or 'UNUSED' by its type.

Usage: macos-grant-access.py SEEDER BRIDGE
Prints what it wrote. Exits 0 when the rows were written, 1 when they could not be (the
job then runs the smoke test with --allow-denied), 64 for a wrong usage.
"""

import os
import pathlib
import plistlib
import sqlite3
import subprocess
import sys
import time

SERVICES = ("kTCCServiceCalendar", "kTCCServiceReminders", "kTCCServiceAddressBook")
BY_BUNDLE_ID, BY_PATH = 0, 1
INFO_PLIST = pathlib.Path(__file__).resolve().parents[2] / "src/platform/apple/Info.plist"
DATABASE = pathlib.Path.home() / "Library/Application Support/com.apple.TCC/TCC.db"


def clients(seeder, bridge):
    """(client, client type) pairs to grant, without repeats, in a stable order."""
    listing = subprocess.run([seeder, "--processes"], check=True, capture_output=True,
                             text=True, timeout=60).stdout
    print("processes (the responsible one first):")
    found = []
    for line in listing.splitlines():
        print(f"  {line}")
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[2].startswith("/"):
            found.append((parts[2], BY_PATH))
    found += [(os.path.realpath(bridge), BY_PATH), (os.path.realpath(seeder), BY_PATH)]
    with INFO_PLIST.open("rb") as plist:
        found.append((plistlib.load(plist)["CFBundleIdentifier"], BY_BUNDLE_ID))
    return list(dict.fromkeys(found))


def row(columns, service, client, client_type, now):
    """The column values of one allowing row for this table's columns."""
    values = {"service": service, "client": client, "client_type": client_type,
              "csreq": None, "policy_id": None, "indirect_object_identifier": "UNUSED",
              "flags": 0, "last_modified": now, "boot_uuid": "UNUSED", "last_reminded": now}
    if "auth_value" in columns:
        # Allowed (2), set by the system (4), as the runner images write theirs.
        values.update(auth_value=2, auth_reason=4, auth_version=1)
    else:
        values.update(allowed=1, prompt_count=1)
    values = {name: value for name, value in values.items() if name in columns}
    for name, (kind, required) in columns.items():
        if required and name not in values:
            values[name] = 0 if "INT" in kind.upper() else "UNUSED"
    return values


def grant(pairs):
    """Writes one row per service and client; returns the number of rows read back."""
    database = sqlite3.connect(DATABASE, timeout=15)
    try:
        # name -> (declared type, NOT NULL without a default)
        columns = {name: (kind, bool(notnull) and default is None)
                   for _, name, kind, notnull, default, _ in
                   database.execute("PRAGMA table_info(access)")}
        if not {"service", "client", "client_type"} <= set(columns):
            raise sqlite3.DatabaseError(f"unexpected access table: {sorted(columns)}")
        print(f"access table: {len(columns)} columns")
        now = int(time.time())
        with database:
            for service in SERVICES:
                for client, client_type in pairs:
                    values = row(columns, service, client, client_type, now)
                    names = ", ".join(values)
                    marks = ", ".join("?" for _ in values)
                    database.execute(f"INSERT OR REPLACE INTO access ({names}) VALUES ({marks})",
                                     list(values.values()))
        marks = ", ".join("?" for _ in SERVICES)
        return database.execute(f"SELECT COUNT(*) FROM access WHERE service IN ({marks})",
                                SERVICES).fetchone()[0]
    finally:
        database.close()


def main(arguments):
    if len(arguments) != 2:
        print("usage: macos-grant-access.py SEEDER BRIDGE", file=sys.stderr)
        return 64
    if os.environ.get("GITHUB_ACTIONS") != "true":
        print("macos-grant-access: only for GitHub Actions runners; it writes the user's "
              "privacy database", file=sys.stderr)
        return 64
    pairs = clients(*arguments)
    if not DATABASE.exists():
        print(f"no privacy database at {DATABASE}: nothing granted")
        return 1
    for attempt in range(1, 4):
        try:
            rows = grant(pairs)
        except sqlite3.Error as error:
            # "database is locked" (tccd writes it too) is worth another try; "unable to open"
            # or "authorization denied" (no Full Disk Access) is not, but costs little.
            print(f"attempt {attempt}: cannot write {DATABASE}: {error}")
            time.sleep(2 * attempt)
            continue
        print(f"granted {', '.join(SERVICES)} to {len(pairs)} clients; "
              f"{rows} rows for these services in {DATABASE}")
        return 0
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
