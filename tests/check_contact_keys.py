#!/usr/bin/env python3
"""Checks that the macOS contact adapter (src/platform/apple/contact_store.mm) reads from a
CNContact exactly the properties whose keys it fetches. The adapter holds the whole fetch
(the key list, the request, the conversion into the interface's five-field record), so this
one file is all there is to check.

Contacts raises an exception at run time when a property is read that was not fetched, and
fetching a key that is never read hands the bridge data it does not use; neither shows on
Linux, where the adapter is only compiled. This check reads the source instead:

  - the properties read: `name.property` and `[name property]`, where `name` is declared as
    a `CNContact *` (or `CNMutableContact *`) anywhere in the file (parameters, block
    parameters, locals, loop variables);
  - the keys fetched: every `CNContact<Property>Key` constant in the file, whose property is
    <Property> with its first letter in lower case (CNContactGivenNameKey: givenName).

Comments and string literals are ignored. Both sets must be non-empty and equal.

Usage: check_contact_keys.py <source directory>
       check_contact_keys.py --self-test
Exit status: 0 when they match; 1 with one line per problem otherwise.
"""

import pathlib
import re
import sys

ADAPTER = "src/platform/apple/contact_store.mm"
COMMENTS_AND_STRINGS = re.compile(r'//[^\n]*|/\*.*?\*/|@?"(?:\\.|[^"\\\n])*"', re.S)
CONTACT_VARIABLE = re.compile(
    r"\bCN(?:Mutable)?Contact\s*\*\s*(?:(?:_Nonnull|_Nullable|__strong|__weak|const)\s*)*(\w+)")
KEY_CONSTANT = re.compile(r"\bCNContact(\w+?)Key\b")


def properties_read(code):
    names = set(CONTACT_VARIABLE.findall(code))
    if not names:
        return set()
    alternatives = "|".join(sorted(names))
    dotted = re.findall(rf"\b(?:{alternatives})\s*\.\s*(\w+)", code)
    messaged = re.findall(rf"\[\s*(?:{alternatives})\s+(\w+)\s*\]", code)
    return set(dotted) | set(messaged)


def keys_fetched(code):
    return {name[0].lower() + name[1:] for name in KEY_CONSTANT.findall(code)}


def problems(source):
    """What does not match in the text of the adapter, one line each."""
    code = COMMENTS_AND_STRINGS.sub(" ", source)
    read, fetched = properties_read(code), keys_fetched(code)
    found = []
    if not read:
        found.append("no property read from a CNContact found")
    if not fetched:
        found.append("no CNContact...Key constant found")
    found += [f"reads {name} without fetching its key" for name in sorted(read - fetched)]
    found += [f"fetches the key of {name} but never reads it" for name in sorted(fetched - read)]
    return found


def self_test():
    """The check must pass or fail on these sources as stated."""
    fetch = "keys = @[CNContactIdentifierKey, CNContactGivenNameKey];\n"
    cases = [
        ("dot reads", fetch + "void f(CNContact* contact) { a = contact.identifier; "
         "b = contact.givenName; }", []),
        ("message reads, block parameter", fetch + "^(CNContact * _Nonnull c, BOOL* stop) "
         "{ [c identifier]; [ c givenName ]; }", []),
        ("a read without its key", fetch + "void f(CNContact* contact) { contact.identifier; "
         "contact.givenName; contact.jobTitle; }", ["reads jobTitle without fetching its key"]),
        ("a key never read", fetch + "for (CNContact* each in all) { each.identifier; }",
         ["fetches the key of givenName but never reads it"]),
        ("comments, strings and other objects do not count",
         fetch + "CNContact* contact; contact.identifier; contact.givenName; "
         "// contact.jobTitle\n/* CNContactFamilyNameKey */ s = @\"contact.note\"; "
         "container.name; [store name]; CNContactStoreDidChangeNotification;", []),
        ("nothing found", "int main() {}",
         ["no property read from a CNContact found", "no CNContact...Key constant found"]),
    ]
    failures = [f"{name}: expected {expected}, got {problems(source)}"
                for name, source, expected in cases if problems(source) != expected]
    for failure in failures:
        print(failure)
    return 1 if failures else 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    if len(argv) != 2:
        print("usage: check_contact_keys.py <source directory> | --self-test")
        return 1
    path = pathlib.Path(argv[1]) / ADAPTER
    try:
        source = path.read_text(encoding="utf-8")
    except OSError as error:
        print(f"{path}: cannot be read ({error})")
        return 1
    found = problems(source)
    for problem in found:
        print(f"{path}: {problem}")
    if found:
        return 1
    read = ", ".join(sorted(properties_read(COMMENTS_AND_STRINGS.sub(" ", source))))
    print(f"{path}: reads exactly the properties whose keys it fetches ({read})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
