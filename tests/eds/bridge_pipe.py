"""BridgePipe: a running pemrix-bridge with its standard input and output as lines, for the
process tests of the Linux desktop bridge. It reads output without blocking past a
deadline, and at the end checks the exit status and that nothing reached standard error.
"""
import os
import selectors
import subprocess
import time


class BridgePipe:
    def __init__(self, command, env=None, stderr=subprocess.PIPE):
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=stderr, env=env)
        self._lines = selectors.DefaultSelector()
        self._lines.register(self.process.stdout, selectors.EVENT_READ)
        self._pending = b""

    def send(self, request):
        self.process.stdin.write((request + "\n").encode())
        self.process.stdin.flush()

    def line(self, seconds):
        """The next output line, or None when none is complete after `seconds`."""
        deadline = time.monotonic() + seconds
        while b"\n" not in self._pending:
            left = deadline - time.monotonic()
            if left <= 0 or not self._lines.select(timeout=left):
                return None
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                return None
            self._pending += chunk
        line, self._pending = self._pending.split(b"\n", 1)
        return line.decode()

    def answer(self, seconds=20):
        """The next line with an id (an answer, not a "changed" message), or None."""
        deadline = time.monotonic() + seconds
        while (line := self.line(deadline - time.monotonic())) is not None:
            if '"id"' in line:
                return line
        return None

    def finish(self, failures):
        """Waits for the bridge to end; adds to `failures` a status other than 0 and any
        byte on standard error."""
        try:
            status = self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            status = "still running"
        if status != 0:
            failures.append(f"exit status {status}")
        if self.process.stderr is not None:
            stderr = self.process.stderr.read()
            if stderr:
                failures.append(f"standard error was not empty: {stderr[:500]!r}")


def report(failures):
    """Prints the failures and the verdict; the exit status for the test."""
    for failure in failures:
        print("FAIL:", failure)
    print("ok" if not failures else f"{len(failures)} failure(s)")
    return 1 if failures else 0
