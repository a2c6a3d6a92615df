#!/usr/bin/env python3
"""The administrative template in packaging/admx/ as Group Policy and
Intune read it: every file well-formed XML, every policy a machine policy
under Software\\Policies\\tesmarinds (Intune imports no template writing
under Software\\Microsoft or Software\\Policies\\Microsoft, and the runner
reads nowhere else), each language file holding exactly the strings and
presentations the template names, the Japanese one in UTF-8, and the
revision the version that last changed the template's settings.

The settings are the template itself, tesmarinds.admx, whatever its
comments and layout; the language files' texts are not. Intune refuses to
import a template whose settings it already holds, so a template imported
from an earlier version must stay valid while they are unchanged: the
revision stays the major.minor of the version that last changed them, the
version the files' comments name whole and SETTINGS records with the
settings' fingerprint. A change to the settings fails here until it is
given the revision of the version it ships in and recorded in SETTINGS.
Every file carries that one revision, and the template requires it.

    check-admx.py
"""

import hashlib
import os
import re
import sys
import xml.etree.ElementTree as ElementTree

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDER = os.path.join(ROOT, "packaging", "admx")
TEMPLATE = "tesmarinds.admx"
LANGUAGES = ("en-US", "ja-JP")
KEY = "Software\\Policies\\tesmarinds"
NAMESPACE = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
REFERENCE = re.compile(r"\$\((string|presentation)\.([^)]+)\)")
# The version that last changed the settings, and their fingerprint then.
SETTINGS = ("1.5.0", "5a40a8b2a2610d96")
# The attributes that name the revision, which follows the settings.
REVISIONS = ("revision", "minRequiredRevision")


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8") as cmake:
        found = re.search(r"project\(\s*tesmarinds\s+VERSION\s+(\S+)",
                          cmake.read())
    return found.group(1) if found else None


def version_key(version):
    return tuple(int(part) for part in version.split("."))


def fingerprint(template):
    """A short hash of the parsed template's settings: every element, its
    attributes but the revisions, and its text, in order."""
    lines = []
    for element in template.iter():
        attributes = sorted((name, value) for name, value
                            in element.attrib.items() if name not in REVISIONS)
        lines.append(repr((element.tag, attributes,
                           (element.text or "").strip())))
    return hashlib.sha256("\n".join(lines).encode("utf-8")).hexdigest()[:16]


def ids(root, kind):
    table = "stringTable" if kind == "string" else "presentationTable"
    return {element.get("id") for element in
            root.iterfind(f"{NAMESPACE}resources/{NAMESPACE}{table}/*")}


def problems():
    version = project_version()
    settings_version, recorded = SETTINGS
    revision = ".".join(settings_version.split(".")[:2])
    if version_key(settings_version) > version_key(version):
        yield (f"SETTINGS names {settings_version}, later than {version}, "
               "the version CMakeLists.txt names")
    files = [TEMPLATE] + [os.path.join(language, "tesmarinds.adml")
                          for language in LANGUAGES]
    roots = {}
    for name in files:
        with open(os.path.join(FOLDER, name), "rb") as f:
            data = f.read()
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError as error:
            yield f"{name}: not UTF-8 ({error})"
            continue
        try:
            roots[name] = ElementTree.fromstring(data)
        except ElementTree.ParseError as error:
            yield f"{name}: not well-formed XML ({error})"
            continue
        if roots[name].get("revision") != revision:
            yield (f"{name}: revision {roots[name].get('revision')}, not "
                   f"{revision}, that of {settings_version}, which last "
                   "changed the settings")
        if f"tesmarinds {settings_version}:" not in text:
            yield (f"{name}: its comment does not name tesmarinds "
                   f"{settings_version}, which last changed the settings")
    if len(roots) != len(files):
        return

    template = roots[TEMPLATE]
    minimum = template.find(f"{NAMESPACE}resources").get("minRequiredRevision")
    if minimum != revision:
        yield f"{TEMPLATE}: minRequiredRevision {minimum}, not {revision}"
    if fingerprint(template) != recorded:
        yield (f"{TEMPLATE}: its settings are not those of "
               f"{settings_version} (fingerprint {fingerprint(template)}, "
               f"not {recorded}): give the files the revision of the version "
               f"{version} and name it in their comments, then record it "
               "with this fingerprint in SETTINGS")
    for policy in template.iter(f"{NAMESPACE}policy"):
        if (policy.get("key"), policy.get("class")) != (KEY, "Machine"):
            yield (f"{TEMPLATE}: policy {policy.get('name')} is under "
                   f"{policy.get('key')}, class {policy.get('class')}, "
                   f"not {KEY}, Machine")
        for element in policy.iterfind(".//*"):
            if element.get("key") not in (None, KEY):
                yield (f"{TEMPLATE}: policy {policy.get('name')} writes "
                       f"under {element.get('key')}")
    named = {"string": set(), "presentation": set()}
    for element in template.iter():
        for value in element.attrib.values():
            for kind, name in REFERENCE.findall(value):
                named[kind].add(name)
    for language in LANGUAGES:
        name = os.path.join(language, "tesmarinds.adml")
        for kind in named:
            held = ids(roots[name], kind)
            for missing in sorted(named[kind] - held):
                yield f"{name}: no {kind} {missing}"
            for extra in sorted(held - named[kind]):
                yield f"{name}: a {kind} {extra} the template does not name"


def main():
    found = list(problems())
    for problem in found:
        print(f"check-admx: {problem}", file=sys.stderr)
    if found:
        return 1
    print("check-admx: packaging/admx reads as Group Policy and Intune read it")
    return 0


if __name__ == "__main__":
    sys.exit(main())
