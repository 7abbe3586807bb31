#!/usr/bin/env python3
"""Lists the includes under src/ that run against the layering, and exits 1 if there are any.

A request flows channel -> protocol -> bridge -> stores -> platform. Each folder may include
its own headers, the shared value types in common/, and the folders it is allowed to call:

  channel   -> bridge, protocol, platform
  bridge    -> stores, protocol, platform
  stores    -> protocol, platform
  protocol  -> (common only)
  platform  -> (common only); its implementations (apple/, threads/, eds/, desktop/) sit inside it
  sim       -> platform (the simulator is one more platform implementation)

No exception: the product entries (src/main.cc for macOS and Linux desktops, the
simulator's main) include their platform's System and may include anything. Usage: tools/check-includes.py [SRC_DIR]
"""
import pathlib
import re
import sys

ALLOWED = {
    "common": set(),
    "platform": set(),
    "sim": {"platform"},
    "protocol": set(),
    "stores": {"protocol", "platform"},
    "bridge": {"stores", "protocol", "platform"},
    "channel": {"bridge", "protocol", "platform"},
}
ENTRIES = {"main.cc", "sim/sim_main.cc"}


def violations(src):
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cc", ".mm"):
            continue
        rel = path.relative_to(src).as_posix()
        if rel in ENTRIES or "/" not in rel:
            continue
        folder = rel.split("/")[0]
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = re.match(r'\s*#\s*include\s+"([^"/]+)/', line)
            if not match:
                continue
            target = match.group(1)
            if target in (folder, "common") or target in ALLOWED.get(folder, set()):
                continue
            found.append(f"{rel}:{number}: {line.strip()}")
    return found


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "src")
    found = violations(src)
    for line in found:
        print(line)
    print(f"{len(found)} include(s) against the layering")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
