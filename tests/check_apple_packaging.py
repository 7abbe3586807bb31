#!/usr/bin/env python3
"""Checks the macOS packaging files: the property list that is embedded in the executable
(src/platform/apple/Info.plist) and the two code-signing entitlements files:
src/platform/apple/pemrix-bridge.entitlements for an app that is not sandboxed, and
src/platform/apple/pemrix-bridge-sandboxed.entitlements for a helper of a sandboxed app.

All must be well-formed property lists holding exactly the expected keys with exactly the
expected values: macOS shows the usage descriptions in its permission prompts, denies access
silently when one is missing, and refuses the prompt under the hardened runtime without the
two entitlements; a helper that inherits a sandbox must carry exactly the sandbox and inherit
entitlements, or macOS ends it at start. The signing script must offer both files. The
bundle identifier must match the reverse-DNS prefix of the stores' queue label in
src/stores/personal_stores.cc.

Usage: check_apple_packaging.py <source directory>
Exit status: 0 when everything matches, 1 with one line per problem otherwise.
"""

import pathlib
import plistlib
import re
import sys
import xml.parsers.expat

CALENDARS = ("Pemrix reads selected calendars when you ask private questions. "
             "It does not create or change events.")
REMINDERS = ("Pemrix reads selected reminder lists when you ask private questions. "
             "It does not create or change reminders.")
CONTACTS = ("Pemrix searches names, companies and roles in your selected Contacts accounts "
            "for private questions. It does not read email addresses or phone numbers, "
            "or change contacts.")

EXPECTED_INFO = {
    "CFBundleDisplayName": "Pemrix",
    "CFBundleExecutable": "pemrix-bridge",
    "CFBundleIdentifier": "app.pemrix.bridge",
    "CFBundleInfoDictionaryVersion": "6.0",
    "CFBundleName": "Pemrix",
    "CFBundleShortVersionString": "1.0",
    "CFBundleVersion": "1",
    "NSCalendarsFullAccessUsageDescription": CALENDARS,
    "NSCalendarsUsageDescription": CALENDARS,
    "NSRemindersFullAccessUsageDescription": REMINDERS,
    "NSRemindersUsageDescription": REMINDERS,
    "NSContactsUsageDescription": CONTACTS,
}

EXPECTED_ENTITLEMENTS = {
    "com.apple.security.personal-information.calendars": True,
    "com.apple.security.personal-information.addressbook": True,
}

# A helper that inherits the sandbox of the app that starts it: these two keys and no other.
EXPECTED_SANDBOXED_ENTITLEMENTS = {
    "com.apple.security.app-sandbox": True,
    "com.apple.security.inherit": True,
}


def load(path, problems):
    """The dictionary in the property list at `path`, or None after noting why not."""
    try:
        with open(path, "rb") as file:
            value = plistlib.load(file, fmt=plistlib.FMT_XML)
    except (OSError, plistlib.InvalidFileException, xml.parsers.expat.ExpatError,
            ValueError) as error:
        problems.append(f"{path}: not a well-formed XML property list ({error})")
        return None
    if not isinstance(value, dict):
        problems.append(f"{path}: the top-level value is not a dictionary")
        return None
    return value


def compare(path, actual, expected, problems):
    """Notes every missing, unexpected or different key; values must match type and text."""
    for key in sorted(expected.keys() - actual.keys()):
        problems.append(f"{path}: missing key {key}")
    for key in sorted(actual.keys() - expected.keys()):
        problems.append(f"{path}: unexpected key {key}")
    for key in sorted(expected.keys() & actual.keys()):
        want, got = expected[key], actual[key]
        if type(got) is not type(want) or got != want:
            problems.append(f"{path}: {key} is {got!r}, expected {want!r}")


def check_queue_label(root, bundle_id, problems):
    """The stores' queue label must live under the bundle identifier."""
    source = root / "src/stores/personal_stores.cc"
    try:
        text = source.read_text(encoding="utf-8")
    except OSError as error:
        problems.append(f"{source}: cannot be read ({error})")
        return
    labels = re.findall(r'queue_\("([^"]+)"\)', text)
    if not labels:
        problems.append(f"{source}: no queue label found")
    for label in labels:
        if not label.startswith(bundle_id + "."):
            problems.append(f"{source}: queue label {label} is not under {bundle_id}")


def check_signing_script(root, problems):
    """tools/sign-macos.sh must sign with either entitlements file, sandboxed on request."""
    script = root / "tools/sign-macos.sh"
    try:
        text = script.read_text(encoding="utf-8")
    except OSError as error:
        problems.append(f"{script}: cannot be read ({error})")
        return
    for name in ("pemrix-bridge.entitlements", "pemrix-bridge-sandboxed.entitlements",
                 "--sandboxed"):
        if name not in text:
            problems.append(f"{script}: does not mention {name}")


def main(argv):
    if len(argv) != 2:
        print("usage: check_apple_packaging.py <source directory>")
        return 1
    root = pathlib.Path(argv[1])
    apple = root / "src/platform/apple"
    problems = []
    info = load(apple / "Info.plist", problems)
    if info is not None:
        compare(apple / "Info.plist", info, EXPECTED_INFO, problems)
    entitlements = load(apple / "pemrix-bridge.entitlements", problems)
    if entitlements is not None:
        compare(apple / "pemrix-bridge.entitlements", entitlements, EXPECTED_ENTITLEMENTS,
                problems)
    sandboxed = load(apple / "pemrix-bridge-sandboxed.entitlements", problems)
    if sandboxed is not None:
        compare(apple / "pemrix-bridge-sandboxed.entitlements", sandboxed,
                EXPECTED_SANDBOXED_ENTITLEMENTS, problems)
    check_signing_script(root, problems)
    check_queue_label(root, EXPECTED_INFO["CFBundleIdentifier"], problems)
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print("Info.plist and both entitlements files: every key present with its exact value")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
