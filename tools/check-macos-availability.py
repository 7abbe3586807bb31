#!/usr/bin/env python3
"""Checks that the portable code uses nothing of the C++ library that macOS offers only from a
release newer than the product's deployment target.

On macOS the C++ library is Apple's libc++, part of the system: a facility that needs code in
its shared library exists only from the macOS release that shipped it, and libc++ marks it so
(its availability header: __availability in LLVM 14, __configuration/availability.h in
LLVM 19 and later; CI uses LLVM 22's). The deployment target is read from CMakePresets.json (preset "macos",
CMAKE_OSX_DEPLOYMENT_TARGET). Two checks:

  scan     (default) Reads every .h and .cc under src/ (not the Objective-C++ adapters,
           .mm, whose SDK calls the real macOS build checks), comments
           and string literals left out, for the facilities in FACILITIES below, and fails
           on any that needs a release newer than the deployment target. Floating-point
           to_chars/from_chars are told from the integer ones by their arguments: a
           chars_format, a floating-point literal or cast, or a variable or parameter
           declared float or double in the same file.
  --compile
           Compiles the sources the macOS build compiles as C++ (src/common, channel,
           protocol, bridge, stores, src/platform/*.cc, src/platform/apple/*.cc and
           src/main.cc, with
           PEMRIX_PLATFORM_APPLE and NDEBUG, as the "macos" preset does) in syntax-only mode
           for x86_64-apple-macos<target> against libc++'s headers, with libc++'s own
           availability markup turned on. Debian's libc++ turns the markup off in its
           __config_site; the stand-in __config_site in tests/apple-sdk/linux-host/
           includes it and turns the markup on again. With no macOS SDK here, the C
           headers are glibc's: clang predefines __nonnull for Apple targets (undefined
           again), glibc hides POSIX without _GNU_SOURCE, and libc++ includes <xlocale.h>
           and calls the BSD *_l functions on Apple targets, which the stand-in
           xlocale.h there declares. An Apple target is needed: on a Linux target
           `-mmacosx-version-min` is ignored (unused argument), and __APPLE__ alone turns
           on only the markup that makes a declaration unavailable outright, not the one
           that names a macOS release. This catches what libc++'s headers mark,
           precisely (by type, not by name), but only as the installed libc++ knows it.
           LLVM 22's markup knows floating-point to_chars (13.3, and so <format> and
           <print>) and from_chars (26.0) and the time-zone database (15.4, experimental
           in LLVM 22); it leaves std::pmr unmarked (a load-time failure,
           llvm.org/PR40340), and takes everything older than macOS 11, the oldest release
           it supports, as present, so it no longer marks std::filesystem, the
           synchronization library, bad_optional_access or shared_mutex. The scan covers
           those.
  --self-test
           Proves that the scan (with --compile: the compile) fails on code that uses each
           facility newer than the target it knows and passes on code that uses only older
           ones; the compile must also pass on the code of each facility it knows for the
           release that introduced it (so it checks releases, not mere presence). The
           compile self-test needs libc++ 20 or later.

Usage: check-macos-availability.py [--compile] [--compiler CLANGXX] [--self-test] [SOURCE_DIR]
SOURCE_DIR is the top of the checkout (default: the one holding this script). The compiler
is --compiler, $PEMRIX_CLANGXX or clang++ (CI: clang++-22). Exit status 0 when every check passes, 1 when any
finds a problem (each is printed), 2 when a check cannot run.
"""

import argparse
import concurrent.futures
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

# Facilities of Apple's libc++ that need a given macOS release, from libc++'s availability
# markup (LLVM 14's __availability, and LLVM 19-22's __configuration/availability.h) and from
# what Xcode reports. `since` is the first macOS
# release that offers it, or None where no release does yet. `patterns` are regular
# expressions over code without comments and strings; None means the facility cannot be
# told by name (it is left to --compile) and is listed for the record only.
FACILITIES = [
    {"name": "floating-point std::from_chars", "since": "26.0", "patterns": "FROM_CHARS_FLOAT",
     "why": "_LIBCPP_AVAILABILITY_FROM_CHARS_FLOATING_POINT (LLVM 20); Xcode 16's libc++ has none"},
    {"name": "floating-point std::to_chars", "since": "13.3", "patterns": "TO_CHARS_FLOAT",
     "why": "_LIBCPP_AVAILABILITY_TO_CHARS_FLOATING_POINT (LLVM 14 marked it unavailable outright)"},
    {"name": "<format> (std::format, format_to, vformat, formatter, ...)", "since": "13.3",
     "patterns": [r"#\s*include\s*<format>", r"\bstd::(v?format(_to(_n)?)?|formatted_size|formatter|make_format_args)\b"],
     "why": "formats floating-point values with to_chars (13.3); LLVM 14 marked <format> unavailable"},
    {"name": "std::pmr and <memory_resource>", "since": "14.0",
     "patterns": [r"#\s*include\s*<(experimental/)?memory_resource>", r"\bpmr::"],
     "why": "_LIBCPP_AVAILABILITY_HAS_PMR (LLVM 16); unmarked still in LLVM 22, so it fails when the program loads, not when it compiles"},
    {"name": "<print> (std::print, std::println, vprint_unicode)", "since": "15.0",
     "patterns": [r"#\s*include\s*<print>", r"\bstd::(print|println|vprint_unicode|vprint_nonunicode)\b"],
     "why": "_LIBCPP_AVAILABILITY_PRINT (LLVM 18-19); libc++ 22 falls back without it, but "
            "<print> formats with <format> (13.3)"},
    {"name": "chrono time-zone database (tzdb, current_zone, locate_zone, zoned_time, ...)",
     "since": "15.4",
     "patterns": [r"\bchrono::(tzdb|tzdb_list|get_tzdb|get_tzdb_list|reload_tzdb|remote_version|"
                  r"locate_zone|current_zone|time_zone|time_zone_link|zoned_time|zoned_traits|"
                  r"leap_second|sys_info|local_info|nonexistent_local_time|ambiguous_local_time)\b"],
     "why": "_LIBCPP_AVAILABILITY_TZDB (LLVM 19)"},
    {"name": "std::jthread, std::stop_token, stop_source, stop_callback", "since": None,
     "patterns": [r"#\s*include\s*<stop_token>", r"\bstd::(jthread|stop_token|stop_source|stop_callback|nostopstate)\b"],
     "why": "experimental in LLVM 17-19 (Xcode 16: -fexperimental-library only); "
            "_LIBCPP_AVAILABILITY_SYNC (11.0) in LLVM 20, unmarked from LLVM 21"},
    {"name": "synchronization library: std::barrier, std::latch, semaphores, atomic wait/notify",
     "since": "11.0",
     "patterns": [r"#\s*include\s*<(barrier|latch|semaphore)>",
                  r"\bstd::(barrier|latch|counting_semaphore|binary_semaphore)\b",
                  r"\bstd::atomic_(flag_)?(wait|notify_one|notify_all)(_explicit)?\b"],
     "why": "_LIBCPP_AVAILABILITY_SYNC up to LLVM 20; std::atomic<T>::wait() and notify_*() "
            "cannot be told from condition_variable's by name"},
    {"name": "std::filesystem", "since": "10.15",
     "patterns": [r"#\s*include\s*<filesystem>", r"\bfilesystem::"],
     "why": "_LIBCPP_AVAILABILITY_FILESYSTEM up to LLVM 19"},
    {"name": "integer std::to_chars", "since": "10.15", "patterns": None,
     "why": "_LIBCPP_AVAILABILITY_TO_CHARS in LLVM 14 (header-only from LLVM 15)"},
    {"name": "std::bad_optional_access, bad_variant_access, bad_any_cast (optional::value, "
             "std::get, std::visit, any_cast)", "since": "10.13", "patterns": None,
     "why": "_LIBCPP_AVAILABILITY_BAD_OPTIONAL_ACCESS (10.13 upstream; Xcode 10 said 10.14)"},
    {"name": "std::shared_mutex, std::shared_timed_mutex", "since": "10.12",
     "patterns": [r"#\s*include\s*<shared_mutex>", r"\bstd::shared_(timed_)?mutex\b"],
     "why": "_LIBCPP_AVAILABILITY_SHARED_MUTEX"},
    {"name": "std::uncaught_exceptions, sized operator delete", "since": "10.12", "patterns": None,
     "why": "_LIBCPP_AVAILABILITY_UNCAUGHT_EXCEPTIONS, _LIBCPP_AVAILABILITY_SIZED_NEW_DELETE"},
]

FLOAT_TYPE = r"(?:long\s+double|double|float|number_float_t)"


def version_tuple(text):
    return tuple(int(part) for part in text.split("."))


def deployment_target(source_dir):
    presets = json.loads((source_dir / "CMakePresets.json").read_text())
    for preset in presets.get("configurePresets", []):
        if preset.get("name") == "macos":
            target = preset.get("cacheVariables", {}).get("CMAKE_OSX_DEPLOYMENT_TARGET")
            if target:
                return target
    raise SystemExit("check-macos-availability: no CMAKE_OSX_DEPLOYMENT_TARGET in preset macos")


def strip_comments_and_strings(text):
    """`text` with comments, string and character literals blanked out, lines kept."""
    out = []
    i = 0
    n = len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            out.append(" " * (end - i))
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i = end
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            open_paren = text.find("(", i + 2)
            delimiter = text[i + 2:open_paren]
            end = text.find(")" + delimiter + '"', open_paren)
            end = n if end < 0 else end + len(delimiter) + 2
            out.append('""' + re.sub(r"[^\n]", " ", text[i + 2:end]))
            i = end
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + (c if j < n else ""))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def call_arguments(code, open_paren):
    """The top-level arguments of the call whose "(" is at `open_paren`."""
    depth = 0
    args = []
    start = open_paren + 1
    for i in range(open_paren, len(code)):
        c = code[i]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                args.append(code[start:i].strip())
                return args
        elif c == "," and depth == 1:
            args.append(code[start:i].strip())
            start = i + 1
    return args


NOT_TYPES = {"return", "case", "else", "do", "throw", "co_return", "co_yield", "delete", "new",
             "goto", "sizeof", "typename", "class", "struct", "using", "operator"}


def is_floating(expression, code, offset):
    """True when `expression`, the value argument of a to_chars/from_chars call at `offset`,
    is floating-point: a floating literal or cast, or a name whose nearest declaration
    before the call is of a floating type."""
    if re.search(r"\b\d+\.\d*(e[+-]?\d+)?\b|\b\d+e[+-]?\d+\b|static_cast<\s*" + FLOAT_TYPE, expression):
        return True
    names = re.findall(r"[A-Za-z_]\w*", expression)
    if not names:
        return False
    declaration = re.compile(r"\b([A-Za-z_][\w:]*)\s*(?:<[^<>;()]*>\s*)?[&*]?\s*&?\s*\b"
                             + re.escape(names[-1]) + r"\s*(?=[,)=;{\[])")
    nearest = None
    for match in declaration.finditer(code, 0, offset):
        if match.group(1) not in NOT_TYPES:
            nearest = match.group(1)
    return nearest is not None and re.fullmatch(FLOAT_TYPE, nearest) is not None


def charconv_uses(code, function):
    """(offset, call text) of each floating-point `function` call in `code`."""
    found = []
    for match in re.finditer(r"\b" + function + r"\s*\(", code):
        args = call_arguments(code, match.end() - 1)
        if len(args) < 3:
            continue
        floating = (any("chars_format" in arg for arg in args[3:])
                    or is_floating(args[2], code, match.start()))
        if floating:
            found.append((match.start(), code[match.start():match.end()] + ", ".join(args) + ")"))
    return found


def uses(code, facility):
    """(offset, text) of each use of `facility` in `code`."""
    patterns = facility["patterns"]
    if patterns == "FROM_CHARS_FLOAT":
        return charconv_uses(code, "from_chars")
    if patterns == "TO_CHARS_FLOAT":
        return charconv_uses(code, "to_chars")
    found = []
    for pattern in patterns or []:
        found.extend((m.start(), m.group(0)) for m in re.finditer(pattern, code))
    return found


def scan_files(source_dir):
    src = source_dir / "src"
    return sorted(path for path in src.rglob("*") if path.suffix in (".h", ".cc"))


def scan(source_dir, files, target, quiet=False):
    """Prints each use of a facility newer than `target`; returns how many there are."""
    problems = 0
    allowed = {}
    for path in files:
        code = strip_comments_and_strings(path.read_text(errors="replace"))
        for facility in FACILITIES:
            for offset, text in uses(code, facility):
                line = code.count("\n", 0, offset) + 1
                where = f"{path.relative_to(source_dir)}:{line}"
                since = facility["since"]
                if since is None or version_tuple(since) > version_tuple(target):
                    needs = f"macOS {since}" if since else "a macOS release that has none yet"
                    if not quiet:
                        print(f"{where}: {text.strip()}: {facility['name']} needs {needs} "
                              f"({facility['why']}); the deployment target is {target}")
                    problems += 1
                else:
                    allowed.setdefault(facility["name"], []).append(where)
    if not quiet:
        for name, places in allowed.items():
            print(f"allowed: {name} ({len(places)} use(s), e.g. {places[0]})")
    return problems


# Stand-ins for compiling for an Apple target over glibc and the host's libc++ (see the
# module's help), shared with tools/check-apple-syntax.sh.
LINUX_HOST_SHIMS = pathlib.Path(__file__).resolve().parent.parent / "tests" / "apple-sdk" / "linux-host"


def include_directories(compiler, stdlib):
    """The compiler's own include directories for a Linux target, in order."""
    result = subprocess.run([compiler, f"-stdlib={stdlib}", "-x", "c++", "-E", "-v", "-"],
                            input="", capture_output=True, text=True)
    lines = result.stderr.splitlines()
    try:
        start = lines.index("#include <...> search starts here:") + 1
        end = lines.index("End of search list.")
    except ValueError:
        return []
    return [os.path.normpath(line.strip()) for line in lines[start:end]]


def libcxx_version(compiler):
    """_LIBCPP_VERSION of the compiler's libc++ (e.g. 220108), or None."""
    result = subprocess.run([compiler, "-stdlib=libc++", "-x", "c++", "-E", "-P", "-"],
                            input="#include <version>\n_LIBCPP_VERSION\n", capture_output=True,
                            text=True)
    lines = result.stdout.split()
    return int(lines[-1]) if result.returncode == 0 and lines and lines[-1].isdigit() else None


def compile_flags(compiler, target, shim_dir):
    """The flags for a syntax-only compile for an Apple target over libc++ and glibc, or
    None with a reason when this host cannot do it."""
    if shutil.which(compiler) is None:
        return None, f"compiler '{compiler}' not found"
    directories = include_directories(compiler, "libc++")
    libcxx = [d for d in directories if d.endswith(os.path.join("c++", "v1"))]
    if not any(os.path.exists(os.path.join(d, "__config_site")) for d in libcxx):
        return None, "libc++'s headers not found (Debian: apt-get install libc++-22-dev libc++abi-22-dev)"
    # The C headers after libc++'s: clang's own, the multiarch directory, /usr/include.
    c_headers = [d for d in directories if d not in libcxx and "c++" not in d]
    flags = [f"--target=x86_64-apple-macos{target}", "-std=c++20", "-fsyntax-only",
             "-nostdinc++", "-nostdinc", "-U__nonnull", "-D_GNU_SOURCE",
             "-Werror=unguarded-availability", "-Werror=unguarded-availability-new",
             "-isystem", str(shim_dir)]
    for directory in libcxx + c_headers:
        flags += ["-isystem", directory]
    return flags, None


def compile_sources(source_dir):
    src = source_dir / "src"
    files = [src / "main.cc"]
    for folder in ("common", "channel", "protocol", "bridge", "stores", "platform",
                   "platform/apple"):
        files += sorted((src / folder).glob("*.cc"))
    return files


def compile_check(source_dir, files, compiler, target, defines=("PEMRIX_PLATFORM_APPLE", "NDEBUG"),
                  quiet=False, extra=()):
    """Compiles `files`; returns the number that fail, or None when it cannot run here."""
    flags, reason = compile_flags(compiler, target, LINUX_HOST_SHIMS)
    if flags is None:
        print(f"check-macos-availability: cannot compile: {reason}", file=sys.stderr)
        return None
    flags += [f"-D{define}" for define in defines] + ["-I", str(source_dir / "src"), *extra]

    def run(path):
        result = subprocess.run([compiler, *flags, str(path)], capture_output=True, text=True)
        return path, result.returncode, result.stderr

    failed = 0
    workers = max(1, os.cpu_count() or 1)
    with concurrent.futures.ThreadPoolExecutor(max_workers=workers) as pool:
        for path, code, errors in pool.map(run, files):
            name = path.relative_to(source_dir) if source_dir in path.parents else path.name
            if code == 0:
                if not quiet:
                    print(f"ok      [macOS {target}] {name}")
            else:
                failed += 1
                if not quiet:
                    print(f"FAILED  [macOS {target}] {name}\n{errors}", end="")
    return failed


# Self-test cases: (file name, code, whether the scan must find a problem at 12.0).
SELF_TEST_NEWER = {
    "to_chars_double.cc": "#include <charconv>\n"
                          "int f(char* b, double value) { return int(std::to_chars(b, b + 40, value).ptr - b); }\n",
    "to_chars_format.cc": "#include <charconv>\n"
                          "int f(char* b, double v) { return int(std::to_chars(b, b + 40, v, std::chars_format::general).ptr - b); }\n",
    "from_chars_double.cc": "#include <charconv>\n#include <string_view>\n"
                            "double f(std::string_view t) { double out = 0; std::from_chars(t.data(), t.data() + t.size(), out); return out; }\n",
}
SELF_TEST_NEWER_BY_NAME = {
    "pmr.cc": "#include <memory_resource>\nstd::pmr::monotonic_buffer_resource pool;\n",
    "print.cc": "#include <print>\nvoid f() { std::print(\"{}\", 1); }\n",
    "format.cc": "#include <format>\nauto f() { return std::format(\"{}\", 1); }\n",
    "zone.cc": "#include <chrono>\nauto f() { return std::chrono::current_zone(); }\n",
    "jthread.cc": "#include <thread>\nvoid f() { std::jthread t([] {}); }\n",
}
SELF_TEST_OLDER = {
    "older.cc": "#include <atomic>\n#include <charconv>\n#include <filesystem>\n#include <latch>\n"
                "#include <optional>\n#include <shared_mutex>\n"
                "// std::to_chars(b, b + 40, 1.5) in a comment, and in a string:\n"
                "const char* text = \"std::pmr::vector, std::from_chars(b, e, 2.5)\";\n"
                "template <typename Number> int put(char* b, Number value) {\n"
                "  return int(std::to_chars(b, b + 24, value).ptr - b);\n}\n"
                "int g(char* b, long long n) { return put(b, n) + int(std::to_chars(b, b + 24, n, 16).ptr - b); }\n"
                "bool h(std::atomic<int>& a) { a.wait(1); std::latch l(1); std::shared_mutex m;\n"
                "  std::optional<int> o; return std::filesystem::exists(\"x\") && o.value() > 0; }\n",
}


def self_test(compiler, with_compile):
    problems = 0
    target = "12.0"
    with tempfile.TemporaryDirectory() as scratch:
        root = pathlib.Path(scratch)
        (root / "src").mkdir()
        cases = {**SELF_TEST_NEWER, **SELF_TEST_NEWER_BY_NAME, **SELF_TEST_OLDER}
        for name, code in cases.items():
            (root / "src" / name).write_text(code)
        for name in cases:
            found = scan(root, [root / "src" / name], target, quiet=True)
            want = name not in SELF_TEST_OLDER
            ok = (found > 0) == want
            print(f"{'ok' if ok else 'FAILED'}  self-test scan {name}: "
                  f"{'finds it' if found else 'passes'}")
            problems += 0 if ok else 1
        if not with_compile:
            return problems
        version = libcxx_version(compiler)
        if version is None or version < 200000:
            print(f"FAILED  self-test compile: needs libc++ 20 or later, {compiler} has "
                  f"{version or 'none'}", file=sys.stderr)
            return problems + 1
        # The compile check knows what the installed libc++ marks, by the release that brought
        # it: each case fails for macOS 12.0 and compiles from that release on. <print> (C++23)
        # fails through <format>'s floating-point formatting (13.3): libc++ 22 no longer gates
        # <print> itself. The time-zone database is experimental in libc++ 22. std::pmr is
        # unmarked, and jthread and the older facilities are taken as present (macOS 11 is
        # libc++ 22's oldest release): the scan covers those.
        c23 = ("-std=c++23",)
        experimental = ("-fexperimental-library",)
        for name, want_fail, at, extra in [("to_chars_double.cc", True, target, ()),
                                           ("to_chars_format.cc", True, target, ()),
                                           ("to_chars_double.cc", False, "13.3", ()),
                                           ("from_chars_double.cc", True, target, ()),
                                           ("from_chars_double.cc", True, "15.4", ()),
                                           ("from_chars_double.cc", False, "26.0", ()),
                                           ("print.cc", True, target, c23),
                                           ("print.cc", False, "15.0", c23),
                                           ("zone.cc", True, target, experimental),
                                           ("zone.cc", False, "15.4", experimental),
                                           ("older.cc", False, target, ())]:
            failed = compile_check(root, [root / "src" / name], compiler, at, defines=(),
                                   quiet=True, extra=extra)
            if failed is None:
                print(f"FAILED  self-test compile: cannot compile here", file=sys.stderr)
                return problems + 1
            ok = (failed > 0) == want_fail
            print(f"{'ok' if ok else 'FAILED'}  self-test compile {name} for macOS {at}: "
                  f"{'fails' if failed else 'compiles'}")
            problems += 0 if ok else 1
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("source_dir", nargs="?", default=str(pathlib.Path(__file__).resolve().parent.parent))
    parser.add_argument("--compile", action="store_true")
    parser.add_argument("--compiler", default=os.environ.get("PEMRIX_CLANGXX", "clang++"))
    parser.add_argument("--self-test", action="store_true")
    args = parser.parse_args()
    source_dir = pathlib.Path(args.source_dir).resolve()

    if args.self_test:
        problems = self_test(args.compiler, args.compile)
        print(f"check-macos-availability: self-test {'found ' + str(problems) + ' problem(s)' if problems else 'passed'}")
        return 1 if problems else 0

    target = deployment_target(source_dir)
    if args.compile:
        files = compile_sources(source_dir)
        failed = compile_check(source_dir, files, args.compiler, target)
        if failed is None:
            return 2
        print(f"check-macos-availability: {len(files) - failed} of {len(files)} file(s) compile "
              f"for macOS {target} with libc++'s availability markup")
        return 1 if failed else 0

    files = scan_files(source_dir)
    problems = scan(source_dir, files, target)
    print(f"check-macos-availability: {len(files)} file(s) under src/ (no .mm), "
          f"{problems} use(s) of a facility newer than macOS {target}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
