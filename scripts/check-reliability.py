#!/usr/bin/env python3
"""Every test docs/reliability.md names must exist, so that the fault table
cannot promise a test that was renamed or removed.

Usage: check-reliability.py UNIT_TESTS_EXECUTABLE

Names are taken from the document's code spans, written as it explains:
`Fixture.Test` for a unit test, `Fixture/Case` for a case of a table-driven
one (and `/Case` for another case of the fixture named just before),
`e2e.<scenario>` for a Wine scenario and `<name>_fuzz` for a fuzz target;
`*` stands for any. Other code spans (paths, commands, bytes) are no test
names and are left alone.
"""

import fnmatch
import os
import re
import subprocess
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
DOCUMENT = os.path.join(ROOT, "docs", "reliability.md")

# ``x`` spans first, so that a backtick inside one does not cut it.
CODE_SPAN = re.compile(r"``\s?(.+?)\s?``|`([^`]+)`")
UNIT_TEST = re.compile(r"[A-Z]\w*\.[A-Z]\w*")
CASE = re.compile(r"([A-Z]\w*)/([\w*]+)")
MORE_CASE = re.compile(r"/([A-Z]\w*)")
SCENARIO = re.compile(r"e2e\.[\w.*]+")
FUZZ_TARGET = re.compile(r"\w+_fuzz")


def unit_tests(executable):
    """Full names as GoogleTest lists them: Prefix/Fixture.Test/Case."""
    listing = subprocess.run([executable, "--gtest_list_tests"],
                             capture_output=True, text=True, check=True,
                             timeout=60).stdout
    names = []
    suite = None
    for line in listing.splitlines():
        if not line.strip():
            continue
        name = line.split("#")[0].strip()
        if line.startswith(" "):
            names.append(suite + name)
        else:
            suite = name
    return names


def scenarios():
    listing = subprocess.run(
        [sys.executable, os.path.join(ROOT, "tests", "e2e", "scenarios.py"),
         "--list"], capture_output=True, text=True, check=True, timeout=60)
    return ["e2e." + name for name in listing.stdout.split()]


def fuzz_targets():
    return [name[:-3] for name in os.listdir(os.path.join(ROOT, "fuzz"))
            if name.endswith("_fuzz.cc")]


def named_tests(text):
    """(line number, kind, pattern) for every test name the text holds."""
    found = []
    for number, line in enumerate(text.splitlines(), 1):
        fixture = None
        for match in CODE_SPAN.finditer(line):
            span = match.group(1) or match.group(2)
            if CASE.fullmatch(span):
                fixture, case = CASE.fullmatch(span).groups()
                found.append((number, "case", (fixture, case)))
            elif MORE_CASE.fullmatch(span) and fixture:
                case = MORE_CASE.fullmatch(span).group(1)
                found.append((number, "case", (fixture, case)))
            elif UNIT_TEST.fullmatch(span):
                found.append((number, "unit", span))
            elif SCENARIO.fullmatch(span):
                found.append((number, "scenario", span))
            elif FUZZ_TARGET.fullmatch(span):
                found.append((number, "fuzz", span))
    return found


def exists(kind, pattern, units, scenario_names, fuzz_names):
    if kind == "case":
        fixture, case = pattern
        shapes = [f"*/{fixture}.*/{case}", f"{fixture}.*/{case}"]
        return any(fnmatch.fnmatchcase(name, shape)
                   for name in units for shape in shapes)
    if kind == "unit":
        return any(name == pattern or name.endswith("/" + pattern)
                   for name in units)
    names = scenario_names if kind == "scenario" else fuzz_names
    return any(fnmatch.fnmatchcase(name, pattern) for name in names)


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 64
    units = unit_tests(argv[1])
    scenario_names = scenarios()
    fuzz_names = fuzz_targets()
    with open(DOCUMENT, encoding="utf-8") as document:
        found = named_tests(document.read())
    missing = [(number, pattern) for number, kind, pattern in found
               if not exists(kind, pattern, units, scenario_names,
                             fuzz_names)]
    for number, pattern in missing:
        if isinstance(pattern, tuple):
            pattern = "/".join(pattern)
        print(f"docs/reliability.md:{number}: no test {pattern}")
    print(f"check-reliability: {len(found)} test names, "
          f"{len(missing)} missing")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
