#!/usr/bin/env python3
"""Downloads the source package of a Debian package (its .dsc, original archive and Debian
changes) with `apt-get source --download-only`, without changing the machine's apt setup.

`apt-get source` needs a deb-src entry. This script derives one from the machine's own apt
sources (deb822 files in /etc/apt/sources.list.d/*.sources and one-line entries in
/etc/apt/sources.list and /etc/apt/sources.list.d/*.list): every "deb" entry for the running
release's own suite (VERSION_CODENAME in /etc/os-release) gives a "deb-src" entry with the
same address, components and signing key. The entries go to a private apt configuration in
a scratch directory, with its own package lists, so the system's lists and sources stay as
they were. apt verifies what it downloads against the signed release files as usual.

Usage: fetch-debian-source.py <source package> <directory>
Prints the path of the original archive (*.orig.tar.*) on its last line.
Exit status: 0 on success; 1 with a message on stderr otherwise.
"""

import glob
import os
import pathlib
import shlex
import subprocess
import sys
import tempfile


def codename():
    """The running release's codename, e.g. "bookworm"."""
    for line in pathlib.Path("/etc/os-release").read_text(encoding="utf-8").splitlines():
        key, _, value = line.partition("=")
        if key == "VERSION_CODENAME":
            return value.strip().strip('"')
    raise SystemExit("fetch-debian-source: no VERSION_CODENAME in /etc/os-release")


def deb822_entries(text):
    """The stanzas of a deb822 sources file as dictionaries (continuation lines joined)."""
    entries, current, last = [], {}, None
    for raw in text.splitlines():
        line = raw.rstrip()
        if line.startswith("#"):
            continue
        if not line:
            if current:
                entries.append(current)
            current, last = {}, None
        elif line[0] in " \t" and last:
            current[last] += " " + line.strip()
        else:
            key, _, value = line.partition(":")
            last = key.strip().lower()
            current[last] = value.strip()
    if current:
        entries.append(current)
    return entries


def one_line_entries(text):
    """The "deb" lines of a one-line sources file as (options, uri, suite, components)."""
    entries = []
    for raw in text.splitlines():
        words = shlex.split(raw.split("#", 1)[0])
        if not words or words[0] != "deb":
            continue
        words = words[1:]
        options = ""
        if words and words[0].startswith("["):
            while words and not words[0].endswith("]"):
                options += words.pop(0) + " "
            options += words.pop(0)
        if len(words) >= 3:
            entries.append((options, words[0], words[1], words[2:]))
    return entries


def derived_sources(release, deb822_texts, one_line_texts):
    """deb-src lines for the release's own suite, from the texts of deb822 sources files and
    of one-line sources files."""
    lines = []
    for text in deb822_texts:
        for entry in deb822_entries(text):
            if "deb" not in entry.get("types", "").split():
                continue
            if entry.get("enabled", "yes").lower() == "no":
                continue
            if release not in entry.get("suites", "").split():
                continue
            options = ""
            if "signed-by" in entry and not entry["signed-by"].startswith("-----"):
                options = f"[signed-by={entry['signed-by']}] "
            for uri in entry.get("uris", "").split():
                lines.append(f"deb-src {options}{uri} {release} {entry.get('components', '')}")
    for text in one_line_texts:
        for options, uri, suite, components in one_line_entries(text):
            if suite == release:
                prefix = f"{options} " if options else ""
                lines.append(f"deb-src {prefix}{uri} {suite} {' '.join(components)}")
    return lines


def machine_sources(release):
    """derived_sources over the machine's own apt sources files."""
    def read(paths):
        return [pathlib.Path(path).read_text(encoding="utf-8")
                for path in paths if os.path.exists(path)]
    return derived_sources(
        release,
        read(sorted(glob.glob("/etc/apt/sources.list.d/*.sources"))),
        read(["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list"))))


def main(argv):
    if len(argv) != 3:
        print("usage: fetch-debian-source.py <source package> <directory>", file=sys.stderr)
        return 1
    package, target = argv[1], pathlib.Path(argv[2]).resolve()
    release = codename()
    sources = machine_sources(release)
    if not sources:
        print(f"fetch-debian-source: no deb entry for {release} in the apt sources",
              file=sys.stderr)
        return 1
    target.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        root = pathlib.Path(scratch)
        (root / "lists" / "partial").mkdir(parents=True)
        (root / "sources.list").write_text("\n".join(sources) + "\n", encoding="utf-8")
        options = [
            "-o", f"Dir::Etc::SourceList={root / 'sources.list'}",
            "-o", "Dir::Etc::SourceParts=/nonexistent",
            "-o", f"Dir::State::Lists={root / 'lists'}",
            "-o", f"Dir::Cache::pkgcache={root / 'pkgcache.bin'}",
            "-o", f"Dir::Cache::srcpkgcache={root / 'srcpkgcache.bin'}",
            "-o", "APT::Sandbox::User=root",
        ]
        for command in (["apt-get", *options, "update"],
                        ["apt-get", *options, "source", "--download-only", package]):
            result = subprocess.run(command, cwd=target, stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE, text=True, check=False)
            if result.returncode != 0:
                print(f"fetch-debian-source: {' '.join(command[:1] + command[-2:])} failed:\n"
                      f"{result.stderr}", file=sys.stderr)
                return 1
    archives = sorted(target.glob(f"{package}_*.orig.tar.*"))
    archives = [a for a in archives if not a.name.endswith(".asc")]
    if not archives:
        print(f"fetch-debian-source: no original archive of {package} in {target}",
              file=sys.stderr)
        return 1
    print(archives[-1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
