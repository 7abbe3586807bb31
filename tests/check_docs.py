#!/usr/bin/env python3
"""Checks the examples in the documentation against the simulator.

Every fenced block in README.md, CHANGELOG.md and docs/**/*.md names its kind in the
first word after the fence, and the checker holds each kind to what it claims:

  ```exchange world=NAME [day=YYYY-MM-DD] [exit=N]
      Lines "> " are sent to pemrix-bridge-sim one at a time; the "< " lines that follow
      a sent line are what the simulator must write next, compared line by line. After
      the last line standard input is closed: nothing more may be written, and the
      simulator must exit with status N (default 0) and write nothing to stderr.
      NAME is "demo" (the built-in demonstration world), the name of a ```json world=
      block on the same page, or a world file relative to the top of the checkout.
      With day=, the example was recorded on that day (UTC) on a world whose dates
      follow the day of the run: every timestamp in the block is moved by the days
      between that day and today before it is sent or compared.
  ```json world=NAME
      A world file: the simulator must load it and answer "status".
  ```json fragment
      A piece of JSON shown for its shape; not run.
  ```sh run | ```sh ci | ```sh not-run="REASON"   (also bash, shell, console)
      run: the checker runs the block with bash from the top of a copy of the checkout
           in which build/default/pemrix-bridge-sim is the simulator under test; it must
           exit with status 0.
      ci: every command line of the block occurs verbatim in .ci/run.
      not-run: cannot run here; REASON says why (for example: macOS only).
  ```text, or any other language
      Not checked, except that text may hold no "> " or "< " exchange lines.

Usage: check_docs.py SOURCE_DIR SIMULATOR [PAGE ...]
Prints one line per problem (page:line: what) and exits 1 when there is any.
"""

import datetime
import json
import os
import re
import selectors
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

SHELL_LANGUAGES = {"sh", "bash", "shell", "console"}
READ_TIMEOUT = 25.0  # seconds to wait for one expected line (the longest allowance is 15 s)
RUN_TIMEOUT = 120.0
TIMESTAMP = re.compile(r"\b(\d{4}-\d{2}-\d{2})T(\d{2}:\d{2}:\d{2}(?:\.\d{1,9})?)Z")


class Block:
    def __init__(self, page, line, language, attributes, flags, body):
        self.page = page
        self.line = line  # line number of the opening fence
        self.language = language
        self.attributes = attributes
        self.flags = flags
        self.body = body  # list of lines

    def where(self, offset=0):
        return f"{self.page}:{self.line + offset}"


def fenced_blocks(page, text):
    """Yields the fenced blocks of a Markdown text, or a problem for a malformed fence."""
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        match = re.match(r"^(\s*)(```+)(.*)$", lines[i])
        if not match:
            i += 1
            continue
        indent, fence, info = match.groups()
        start = i
        body = []
        i += 1
        while i < len(lines) and lines[i].strip() != fence:
            body.append(lines[i][len(indent):] if lines[i].startswith(indent) else lines[i])
            i += 1
        if i == len(lines):
            yield f"{page}:{start + 1}: fence is never closed"
            return
        i += 1
        try:
            words = shlex.split(info)
        except ValueError as error:
            yield f"{page}:{start + 1}: unreadable fence info {info!r}: {error}"
            continue
        language = words[0] if words else ""
        attributes, flags = {}, set()
        for word in words[1:]:
            if "=" in word:
                key, value = word.split("=", 1)
                attributes[key] = value
            else:
                flags.add(word)
        yield Block(page, start + 1, language, attributes, flags, body)


def shift_timestamps(text, days):
    """Moves every UTC timestamp in text by whole days, keeping its time and fraction."""
    if days == 0:
        return text

    def moved(match):
        day = datetime.date.fromisoformat(match.group(1)) + datetime.timedelta(days=days)
        return f"{day.isoformat()}T{match.group(2)}Z"

    return TIMESTAMP.sub(moved, text)


def today_utc():
    return datetime.datetime.now(datetime.timezone.utc).date()


def child_environment():
    """The environment for the simulator and run blocks: this one, without a world."""
    env = dict(os.environ)
    env.pop("PEMRIX_BRIDGE_WORLD", None)
    return env


class Simulator:
    """pemrix-bridge-sim as a child process, read line by line with a timeout."""

    def __init__(self, path, world_file, args=()):
        env = child_environment()
        if world_file is not None:
            env["PEMRIX_BRIDGE_WORLD"] = world_file
        self.process = subprocess.Popen(
            [path, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, env=env)
        self.pending = b""
        self.selector = selectors.DefaultSelector()
        self.selector.register(self.process.stdout, selectors.EVENT_READ)

    def send(self, line):
        try:
            self.process.stdin.write(line.encode("utf-8") + b"\n")
            self.process.stdin.flush()
            return True
        except BrokenPipeError:
            return False

    def read_line(self, timeout):
        """The next output line without its newline; None at end of output or timeout."""
        deadline = time.monotonic() + timeout
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0 or not self.selector.select(left):
                return None
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                return None
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode("utf-8", errors="replace")

    def finish(self, timeout):
        """Closes standard input; returns (remaining output lines, status, stderr text)."""
        try:
            self.process.stdin.close()
        except BrokenPipeError:
            pass
        rest = []
        while True:
            line = self.read_line(timeout)
            if line is None:
                break
            rest.append(line)
        try:
            status = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            status = self.process.wait()
        stderr = self.process.stderr.read().decode("utf-8", errors="replace")
        self.selector.close()
        self.process.stdout.close()
        self.process.stderr.close()
        return rest, status, stderr


class Checker:
    def __init__(self, source_dir, simulator):
        self.source_dir = source_dir
        self.simulator = simulator
        self.problems = []
        self.scratch = tempfile.mkdtemp(prefix="check-docs-")
        self.counts = {"exchange": 0, "world": 0, "run": 0, "ci": 0, "not-run": 0}

    def problem(self, where, what):
        self.problems.append(f"{where}: {what}")

    # Worlds -------------------------------------------------------------------------

    def world_file(self, block, worlds):
        """The world file an exchange names: None for the demo world, False if unknown."""
        name = block.attributes.get("world")
        if name is None:
            self.problem(block.where(), "exchange names no world (world=demo, a world block or a file)")
            return False
        if name == "demo":
            return None
        if name in worlds:
            return worlds[name]
        path = os.path.join(self.source_dir, name)
        if os.path.isfile(path):
            return path
        self.problem(block.where(), f"world {name!r} is neither demo, a world block on this page nor a file")
        return False

    def check_world(self, where, path):
        """The simulator loads the world and answers status."""
        self.counts["world"] += 1
        sim = Simulator(self.simulator, path)
        sim.send('{"id":"1","command":"status"}')
        answer = sim.read_line(READ_TIMEOUT)
        rest, status, stderr = sim.finish(READ_TIMEOUT)
        if stderr or status != 0:
            self.problem(where, f"the simulator did not load the world (status {status}): {stderr.strip()}")
            return
        try:
            loaded = answer is not None and json.loads(answer).get("ok") is True
        except ValueError:
            loaded = False
        if not loaded or rest:
            self.problem(where, f"the simulator did not answer status on this world: {answer!r}")

    # Exchanges ----------------------------------------------------------------------

    def steps(self, block):
        """The exchange as (line number, sent line, expected lines), or None if malformed."""
        steps = []
        for offset, line in enumerate(block.body, start=1):
            if line.startswith("> ") or line == ">":
                steps.append((offset, line[2:], []))  # ">" alone sends an empty line
            elif line.startswith("< "):
                if not steps:
                    self.problem(block.where(offset), "an answer before anything was sent")
                    return None
                steps[-1][2].append((offset, line[2:]))
            elif line.strip():
                self.problem(block.where(offset), "exchange lines start with '> ' or '< '")
                return None
        return steps

    def check_exchange(self, block, worlds):
        self.counts["exchange"] += 1
        world = self.world_file(block, worlds)
        steps = self.steps(block)
        if world is False or steps is None:
            return
        try:
            expected_status = int(block.attributes.get("exit", "0"))
            recorded = block.attributes.get("day")
            recorded = datetime.date.fromisoformat(recorded) if recorded else None
        except ValueError as error:
            self.problem(block.where(), f"bad fence attribute: {error}")
            return
        for attempt in range(2):
            before = today_utc()
            mismatches = self.run_exchange(block, world, steps, recorded, expected_status)
            if today_utc() == before or attempt == 1:
                break  # a run across midnight UTC is repeated once
        for mismatch in mismatches:
            self.problem(*mismatch)

    def run_exchange(self, block, world, steps, recorded, expected_status):
        days = (today_utc() - recorded).days if recorded else 0
        sim = Simulator(self.simulator, world)
        mismatches = []
        for offset, sent, expected in steps:
            if not sim.send(shift_timestamps(sent, days)):
                mismatches.append((block.where(offset), "the simulator closed its input"))
                break
            for answer_offset, want in expected:
                want = shift_timestamps(want, days)
                got = sim.read_line(READ_TIMEOUT)
                if got != want:
                    what = "nothing" if got is None else repr(got)
                    mismatches.append((block.where(answer_offset),
                                       f"the simulator wrote {what}\n    the page shows  {want!r}"))
                    break
            if mismatches:
                break
        rest, status, stderr = sim.finish(READ_TIMEOUT)
        if not mismatches:
            if rest:
                mismatches.append((block.where(len(block.body)),
                                   f"the simulator wrote more than the page shows: {rest[0]!r}"))
            if status != expected_status:
                mismatches.append((block.where(), f"exit status {status}, the page says {expected_status}"))
        if stderr:
            mismatches.append((block.where(), f"the simulator wrote to stderr: {stderr.strip()}"))
        return mismatches

    # Command blocks -----------------------------------------------------------------

    def checkout_copy(self):
        """A directory that looks like the top of the checkout, with the simulator in
        build/default, so that run blocks work as a reader types them."""
        top = os.path.join(self.scratch, "checkout")
        if not os.path.isdir(top):
            os.makedirs(os.path.join(top, "build", "default"))
            for entry in os.listdir(self.source_dir):
                if entry not in ("build", ".git"):
                    os.symlink(os.path.join(self.source_dir, entry), os.path.join(top, entry))
            os.symlink(self.simulator, os.path.join(top, "build", "default", "pemrix-bridge-sim"))
        return top

    def check_command_block(self, block):
        kinds = [kind for kind in ("run", "ci") if kind in block.flags]
        if "not-run" in block.attributes:
            kinds.append("not-run")
        if len(kinds) != 1:
            self.problem(block.where(), 'a command block is marked exactly one of run, ci or not-run="reason"')
            return
        kind = kinds[0]
        self.counts[kind] += 1
        if kind == "not-run":
            if not block.attributes["not-run"].strip():
                self.problem(block.where(), "not-run needs its reason")
        elif kind == "ci":
            with open(os.path.join(self.source_dir, ".ci", "run"), encoding="utf-8") as ci:
                script = ci.read()
            for offset, line in enumerate(block.body, start=1):
                command = line.strip()
                if command and not command.startswith("#") and command not in script:
                    self.problem(block.where(offset), f".ci/run does not run {command!r}")
        else:
            script = "set -euo pipefail\n" + "\n".join(block.body) + "\n"
            try:
                result = subprocess.run(["bash", "-c", script], cwd=self.checkout_copy(),
                                        env=child_environment(), stdin=subprocess.DEVNULL,
                                        capture_output=True, timeout=RUN_TIMEOUT)
                if result.returncode != 0:
                    output = (result.stdout + result.stderr).decode("utf-8", errors="replace")
                    self.problem(block.where(), f"the commands exited with status {result.returncode}: {output.strip()[-400:]}")
            except subprocess.TimeoutExpired:
                self.problem(block.where(), f"the commands took longer than {RUN_TIMEOUT:.0f} s")

    # Pages --------------------------------------------------------------------------

    def check_page(self, page):
        with open(os.path.join(self.source_dir, page), encoding="utf-8") as f:
            text = f.read()
        blocks = []
        for item in fenced_blocks(page, text):
            if isinstance(item, str):
                self.problems.append(item)
            else:
                blocks.append(item)
        worlds = {}
        for block in blocks:
            if block.language == "json" and "world" in block.attributes:
                name = block.attributes["world"]
                if name == "demo" or name in worlds:
                    self.problem(block.where(), f"world name {name!r} is taken")
                    continue
                path = os.path.join(self.scratch, f"{len(os.listdir(self.scratch))}-{name}.json")
                with open(path, "w", encoding="utf-8") as f:
                    f.write("\n".join(block.body) + "\n")
                worlds[name] = path
                self.check_world(block.where(), path)
        for block in blocks:
            if not block.language:
                self.problem(block.where(), "a fenced block names its kind (exchange, json, sh, text, ...)")
            elif block.language == "exchange":
                self.check_exchange(block, worlds)
            elif block.language == "json":
                if "world" not in block.attributes and "fragment" not in block.flags:
                    self.problem(block.where(), "a json block is a world (world=NAME) or marked fragment")
            elif block.language in SHELL_LANGUAGES:
                self.check_command_block(block)
            else:
                for offset, line in enumerate(block.body, start=1):
                    if line.startswith(("> ", "< ")):
                        self.problem(block.where(offset), "exchange lines belong in an exchange block")
                        break


def pages(source_dir):
    found = [name for name in ("README.md", "CHANGELOG.md")
             if os.path.isfile(os.path.join(source_dir, name))]
    for folder, _, files in os.walk(os.path.join(source_dir, "docs")):
        for name in files:
            if name.endswith(".md"):
                found.append(os.path.relpath(os.path.join(folder, name), source_dir))
    return sorted(found)


def world_files(source_dir):
    """World files kept beside the pages (docs/worlds/*.json)."""
    folder = os.path.join(source_dir, "docs", "worlds")
    if not os.path.isdir(folder):
        return []
    return sorted(os.path.join("docs", "worlds", name) for name in os.listdir(folder)
                  if name.endswith(".json"))


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip().splitlines()[-3], file=sys.stderr)
        return 2
    source_dir, simulator = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    checker = Checker(source_dir, simulator)
    chosen = argv[3:] or pages(source_dir)
    for page in chosen:
        checker.check_page(page)
    if not argv[3:]:
        for world in world_files(source_dir):
            checker.check_world(world, os.path.join(source_dir, world))
    shutil.rmtree(checker.scratch, ignore_errors=True)
    for problem in checker.problems:
        print(problem)
    counts = ", ".join(f"{n} {kind}" for kind, n in checker.counts.items())
    print(f"{len(chosen)} pages: {counts}; {len(checker.problems)} problems")
    return 1 if checker.problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
