#!/usr/bin/env python3
"""Tests of check_docs.py: that it fails when a page no longer matches the simulator, moves
dates recorded on another day, and enforces the marking of every block.

Usage: check_docs_test.py SIMULATOR
"""

import datetime
import os
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_docs  # noqa: E402

SIMULATOR = None
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FENCE = "```"

WORLD = """{"calendars": [{"id": "cal-work", "title": "Work"}],
 "events": [{"calendar": "cal-work", "id": "E1", "title": "Stand-up",
             "start": "2024-05-01T09:30:00Z", "end": "2024-05-01T10:00:00Z"}]}"""
STATUS = '{"id":"1","command":"status"}'
STATUS_ANSWER = ('{"id":"1","ok":true,"result":{"permissions":{"contacts":"fullAccess",'
                 '"events":"fullAccess","reminders":"fullAccess"}}}')
LIST = '{"id":"2","command":"list-sources","entity":"events"}'
LIST_ANSWER = ('{"id":"2","ok":true,"result":{"permission":"fullAccess",'
               '"sources":[{"id":"cal-work","title":"Work"}],"truncated":false}}')


def page(*blocks):
    """A Markdown page of fenced blocks, each given as (info, lines)."""
    text = "# Page\n"
    for info, lines in blocks:
        text += f"\nSome prose.\n\n{FENCE}{info}\n" + "\n".join(lines) + f"\n{FENCE}\n"
    return text


class CheckDocsTest(unittest.TestCase):
    def check(self, text, ci_script="cmake --preset ci\n"):
        """Problems the checker reports for one page in a scratch checkout."""
        top = tempfile.mkdtemp(prefix="check-docs-test-")
        os.makedirs(os.path.join(top, "docs"))
        os.makedirs(os.path.join(top, ".ci"))
        with open(os.path.join(top, ".ci", "run"), "w", encoding="utf-8") as f:
            f.write(ci_script)
        with open(os.path.join(top, "docs", "page.md"), "w", encoding="utf-8") as f:
            f.write(text)
        checker = check_docs.Checker(top, SIMULATOR)
        checker.check_page("docs/page.md")
        return checker.problems

    def test_a_matching_exchange_passes_and_a_changed_answer_fails_at_its_line(self):
        world = ("json world=small", WORLD.split("\n"))
        good = ("exchange world=small", ["> " + STATUS, "< " + STATUS_ANSWER,
                                         "> " + LIST, "< " + LIST_ANSWER])
        self.assertEqual(self.check(page(world, good)), [])

        changed = ("exchange world=small", ["> " + STATUS, "< " + STATUS_ANSWER,
                                            "> " + LIST, "< " + LIST_ANSWER.replace("Work", "Home")])
        problems = self.check(page(world, changed))
        self.assertEqual(len(problems), 1)
        self.assertTrue(problems[0].startswith("docs/page.md:17: the simulator wrote "), problems)
        self.assertIn('"title":"Work"', problems[0])

    def test_missing_and_extra_lines_and_the_exit_status_are_reported(self):
        world = ("json world=small", WORLD.split("\n"))
        extra = ("exchange world=small", ["> " + STATUS, "< " + STATUS_ANSWER, "< " + STATUS_ANSWER])
        self.assertIn("the simulator wrote nothing", self.check(page(world, extra))[0])
        unshown = ("exchange world=small", ["> " + STATUS, "> " + STATUS])
        self.assertIn("more than the page shows", self.check(page(world, unshown))[0])
        status = ("exchange world=small exit=3", ["> " + STATUS, "< " + STATUS_ANSWER])
        self.assertIn("exit status 0, the page says 3", self.check(page(world, status))[0])

    def test_worlds_must_load_and_exchanges_must_name_one(self):
        broken = ("json world=broken", ['{"calendars": [{"title": "no id"}]}'])
        problems = self.check(page(broken))
        self.assertEqual(len(problems), 1)
        self.assertIn("did not load the world (status 78)", problems[0])
        self.assertIn("calendars[0]", problems[0])
        unnamed = ("exchange", ["> " + STATUS, "< " + STATUS_ANSWER])
        self.assertIn("names no world", self.check(page(unnamed))[0])
        unknown = ("exchange world=nowhere.json", ["> " + STATUS])
        self.assertIn("neither demo", self.check(page(unknown))[0])

    def test_a_demo_exchange_recorded_on_another_day_is_moved_to_today(self):
        with open(os.path.join(SOURCE_DIR, "docs", "simulator.md"), encoding="utf-8") as f:
            match = re.search(r"```exchange world=demo day=(\S+)\n(.*?)```", f.read(), re.S)
        self.assertIsNotNone(match, "docs/simulator.md has no demo exchange")
        recorded = datetime.date.fromisoformat(match.group(1))
        lines = match.group(2).rstrip("\n").split("\n")
        today = check_docs.today_utc()
        self.assertEqual(self.check(page((f"exchange world=demo day={recorded}", lines))), [])
        # The same exchange as it would have been recorded 40 days before today.
        earlier = today - datetime.timedelta(days=40)
        shifted = [check_docs.shift_timestamps(line, (earlier - recorded).days) for line in lines]
        self.assertNotEqual(shifted, lines)
        self.assertEqual(self.check(page((f"exchange world=demo day={earlier}", shifted))), [])
        # Without its day the dates no longer match.
        self.assertNotEqual(self.check(page(("exchange world=demo", shifted))), [])

    def test_timestamps_move_by_whole_days_across_months_and_inside_identifiers(self):
        self.assertEqual(
            check_docs.shift_timestamps('"id":"E1@2024-02-28T09:30:00Z","end":"2024-03-01T10:00:00.25Z"', 2),
            '"id":"E1@2024-03-01T09:30:00Z","end":"2024-03-03T10:00:00.25Z"')
        self.assertEqual(check_docs.shift_timestamps("2027-01-01T00:00:00Z", -1), "2026-12-31T00:00:00Z")

    def test_every_command_block_is_run_found_in_ci_or_says_why_not(self):
        self.assertEqual(self.check(page(("sh ci", ["cmake --preset ci"]))), [])
        self.assertIn(".ci/run does not run 'make all'",
                      self.check(page(("sh ci", ["cmake --preset ci", "make all"])))[0])
        self.assertEqual(self.check(page(('sh not-run="macOS only"', ["codesign -dv x"]))), [])
        self.assertIn("needs its reason", self.check(page(('sh not-run=""', ["codesign -dv x"])))[0])
        self.assertIn("exactly one of", self.check(page(("bash", ["ls"])))[0])
        self.assertIn("exactly one of", self.check(page(('sh run not-run="x"', ["ls"])))[0])
        run = ("sh run", [f"echo '{STATUS}' | build/default/pemrix-bridge-sim | grep -q fullAccess"])
        self.assertEqual(self.check(page(run)), [])
        failing = ("sh run", ["build/default/pemrix-bridge-sim --help"])
        self.assertIn("exited with status 64", self.check(page(failing))[0])

    def test_blocks_name_their_kind_and_exchanges_are_not_hidden_in_text(self):
        self.assertIn("names its kind", self.check(page(("", ["anything"])))[0])
        self.assertIn("belong in an exchange block", self.check(page(("text", ["> " + STATUS])))[0])
        self.assertIn("world (world=NAME) or marked fragment", self.check(page(("json", ["{}"])))[0])
        self.assertEqual(self.check(page(("json fragment", ['{"permission":…}']))), [])
        self.assertEqual(self.check(page(("text", ['{"id":"1","command":"status"}']))), [])


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    SIMULATOR = os.path.abspath(sys.argv.pop(1))
    check_docs.READ_TIMEOUT = 3.0  # the missing-line cases wait this long
    unittest.main()
