#!/usr/bin/env python3
"""Tests of the deb-src entries that tools/fetch-debian-source.py derives from apt sources:
only "deb" entries of the release's own suite count, with their address, components and
signing key, from deb822 and one-line files alike."""

import importlib.util
import pathlib
import sys
import unittest

TOOL = pathlib.Path(__file__).resolve().parent.parent / "tools" / "fetch-debian-source.py"
module_spec = importlib.util.spec_from_file_location("fetch_debian_source", TOOL)
fetch = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(fetch)

DEB822 = """Types: deb
# a comment inside the stanza
URIs: http://mirror.invalid/debian
Suites: bookworm bookworm-updates
Components: main contrib
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://mirror.invalid/debian-security
Suites: bookworm-security
Components: main

Types: deb deb-src
URIs: http://other.invalid/debian
 http://third.invalid/debian
Suites: bookworm
Components: main

Types: deb
Enabled: no
URIs: http://disabled.invalid/debian
Suites: bookworm
Components: main

Types: deb
URIs: http://vendor.invalid/apt
Suites: nodistro
Components: main
"""

ONE_LINE = """# comment
deb [arch=amd64 signed-by=/usr/share/keyrings/k.gpg] http://line.invalid/debian bookworm main
deb http://line.invalid/debian bookworm-updates main
deb-src http://line.invalid/debian bookworm main
deb http://vendor.invalid/apt cloud-bookworm main
"""


class DerivedSourcesTest(unittest.TestCase):
    def test_only_the_release_suite_of_enabled_deb_entries(self):
        self.assertEqual(
            fetch.derived_sources("bookworm", [DEB822], [ONE_LINE]),
            [
                "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] "
                "http://mirror.invalid/debian bookworm main contrib",
                "deb-src http://other.invalid/debian bookworm main",
                "deb-src http://third.invalid/debian bookworm main",
                "deb-src [arch=amd64 signed-by=/usr/share/keyrings/k.gpg] "
                "http://line.invalid/debian bookworm main",
            ])

    def test_nothing_for_another_release(self):
        self.assertEqual(fetch.derived_sources("trixie", [DEB822], [ONE_LINE]), [])


if __name__ == "__main__":
    sys.exit(unittest.main())
