#!/usr/bin/env python3
"""The Japanese guide's form. It ships in the release archives as
README.ja.txt, where operators read it raw, often in Notepad with wrapping
off, and where only the archive's own files sit beside it.

    check-guide.py [--release DIST] [GUIDE]

GUIDE defaults to README.ja.md. Fails, naming each line, on a pipe table, a
line wider than 100 columns (a wide, full-width or ambiguous-width character
counts as 2, as Japanese fonts draw it), a main part (before "# 付録") of
more than MAIN_LINES lines or a whole of more than WHOLE_LINES, a relative
link to a file the archives do not hold, a 変更履歴 whose headings do not
name the newest HISTORY_VERSIONS versions CHANGELOG.md's headings name, in
the same order, or that does not point to CHANGELOG.md for the older ones,
a CHANGELOG.md without the version CMakeLists.txt names on top, and an
archive name with another version. A CHANGELOG.md heading marked
"(unreleased)" is work toward a version CMakeLists.txt does not name yet:
the guide need not list it.

With --release, DIST is what scripts/release.sh made: each package the
guide names must be given there with the product code the built package
carries, no other code of that form may stand in the guide but the
UpgradeCode, and the archives must hold the files this script takes them
to hold.
"""

import glob
import os
import re
import subprocess
import sys
import unicodedata
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# What scripts/release.sh packs beside the guide.
ARCHIVE_FILES = {"tesmarinds.exe", "tesmarinds-task.exe", "LICENSE.txt",
                 "README.ja.txt", "tesmarinds-task.xml",
                 "tesmarinds-results.ps1", "tesmarinds-subscription.xml",
                 "admx/tesmarinds.admx",
                 "admx/en-US/tesmarinds.adml", "admx/ja-JP/tesmarinds.adml"}
WIDEST = 100
TAB = 8
# The main part an administrator reads to deploy; the appendices follow.
MAIN_LINES = 900
# The whole, appendices included: what Notepad shows an operator.
WHOLE_LINES = 1300
# The versions 変更履歴 tells in Japanese; CHANGELOG.md keeps them all.
HISTORY_VERSIONS = 2
APPENDICES = "# 付録"
UPGRADE_CODE = "{8A4E4C52-61C4-4E3C-9D0B-0B7E5D1C2F30}"
GUID = re.compile(r"\{[0-9A-Fa-f]{8}(?:-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}")
# A package named, then on its own line or the next, its product code.
PACKAGE_CODE = re.compile(r"(tesmarinds-[\d.]+-(?:x64|x86)\.msi)[^\n]*\n?[^\n]*?"
                          r"製品コード (\{[0-9A-F-]+\})")

VERSION = re.compile(r"\b\d+\.\d+\.\d+\b")
DELIMITER_ROW = re.compile(r"^\s*\|?\s*:?-+:?\s*(\|\s*:?-+:?\s*)+\|?\s*$")
INLINE_LINK = re.compile(r"\]\(\s*<?([^)\s>]*)")
AUTOLINK = re.compile(r"<([A-Za-z][A-Za-z0-9+.-]*:[^>\s]*)>")
REFERENCE = re.compile(r"^ {0,3}\[[^\]]+\]:\s*<?(\S*?)>?(\s|$)")
HEADING = re.compile(r"^(#+)\s")


def columns(line):
    """The width Notepad gives line with a Japanese font, where ambiguous
    characters (→, ×, ―, ■) are as wide as kanji."""
    width = 0
    for character in line:
        if character == "\t":
            width += TAB - width % TAB
        elif unicodedata.east_asian_width(character) in ("W", "F", "A"):
            width += 2
        else:
            width += 1
    return width


def leaves_the_archive(target):
    if target.startswith("#") or re.match(r"(https?|mailto):", target):
        return False
    return target.split("#")[0] not in ARCHIVE_FILES


def section(lines, title):
    """The lines under the first heading holding title, up to the next
    heading of the same or a higher level; None without such a heading."""
    for number, line in enumerate(lines):
        heading = HEADING.match(line)
        if heading and title in line:
            level = len(heading.group(1))
            body = []
            for later in lines[number + 1:]:
                other = HEADING.match(later)
                if other and len(other.group(1)) <= level:
                    break
                body.append(later)
            return body
    return None


def changelog_versions():
    with open(os.path.join(ROOT, "CHANGELOG.md"), encoding="utf-8") as log:
        return [VERSION.search(line).group()
                for line in log.read().splitlines()
                if line.startswith("## ") and VERSION.search(line)
                and "(unreleased)" not in line]


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as cmake:
        found = re.search(r"project\(\s*tesmarinds\s+VERSION\s+(\S+)",
                          cmake.read())
    return found.group(1) if found else None


def release_problems(text, dist):
    """The guide against the release scripts/release.sh built in dist."""
    stated = dict(PACKAGE_CODE.findall(text))
    codes = {UPGRADE_CODE}
    for package in sorted(glob.glob(os.path.join(dist, "*.msi"))):
        name = os.path.basename(package)
        listing = subprocess.run(["msiinfo", "export", package, "Property"],
                                 capture_output=True, text=True, check=True,
                                 timeout=60).stdout
        built = re.search(r"^ProductCode\t(\S+)", listing, re.M).group(1)
        codes.add(built)
        if stated.get(name) != built:
            yield (f"{name}: the guide gives product code {stated.get(name)},"
                   f" the package carries {built}")
    for code in sorted(set(GUID.findall(text)) - codes):
        yield f"a code {code} that no package carries"
    for archive in sorted(glob.glob(os.path.join(dist, "*.zip"))):
        with zipfile.ZipFile(archive) as packed:
            # A folder's own entry holds nothing an operator reads.
            held = {name for name in packed.namelist()
                    if not name.endswith("/")}
        if held != ARCHIVE_FILES:
            yield (f"{os.path.basename(archive)} holds {sorted(held)}, "
                   f"not {sorted(ARCHIVE_FILES)}")


def problems(text):
    lines = text.splitlines()
    if APPENDICES not in lines:
        yield f"no {APPENDICES!r} heading before the appendices"
    elif lines.index(APPENDICES) > MAIN_LINES:
        yield (f"the main part is {lines.index(APPENDICES)} lines, over "
               f"{MAIN_LINES}")
    if len(lines) > WHOLE_LINES:
        yield f"the guide is {len(lines)} lines, over {WHOLE_LINES}"
    for number, line in enumerate(lines, 1):
        if DELIMITER_ROW.match(line):
            yield f"line {number}: a pipe table (use a list)"
        if columns(line) > WIDEST:
            yield f"line {number}: {columns(line)} columns, over {WIDEST}"
        targets = INLINE_LINK.findall(line) + AUTOLINK.findall(line)
        reference = REFERENCE.match(line)
        if reference:
            targets.append(reference.group(1))
        for target in targets:
            if leaves_the_archive(target):
                yield (f"line {number}: a link to {target!r}, which the "
                       "archives do not hold")

    released = changelog_versions()
    history = section(lines, "変更履歴")
    if history is None:
        yield "no 変更履歴 section"
    else:
        listed = [VERSION.search(line).group() for line in history
                  if HEADING.match(line) and VERSION.search(line)]
        if listed != released[:HISTORY_VERSIONS]:
            yield (f"変更履歴's headings name {listed}, not CHANGELOG.md's "
                   f"newest {released[:HISTORY_VERSIONS]}")
        if not any("CHANGELOG.md" in line for line in history):
            yield "変更履歴 does not point to CHANGELOG.md for older versions"

    version = project_version()
    if not released or released[0] != version:
        yield (f"CHANGELOG.md's newest version is not {version}, the one "
               "CMakeLists.txt names")
    for named in sorted(set(re.findall(r"tesmarinds-(\d+\.\d+\.\d+)-", text))):
        if named != version:
            yield f"an archive named for {named}, not {version}"


def main():
    arguments = sys.argv[1:]
    dist = None
    if arguments[:1] == ["--release"]:
        dist, arguments = arguments[1], arguments[2:]
    path = arguments[0] if arguments else os.path.join(ROOT, "README.ja.md")
    with open(path, encoding="utf-8") as guide:
        text = guide.read()
    found = list(problems(text))
    if dist:
        found += list(release_problems(text, dist))
    for problem in found:
        print(f"check-guide: {path}: {problem}", file=sys.stderr)
    if found:
        return 1
    print(f"check-guide: {path} reads cleanly raw")
    return 0


if __name__ == "__main__":
    sys.exit(main())
