"""Scenarios of what ships beside the tool: the Windows Installer package
that installs it with the task's runner, tesmarinds-task.exe, and registers
the task (scripts/stage.sh, scripts/msi.sh, built for the tests by
packages.sh), and the runner started as Task Scheduler starts a task's
action: CreateProcess on the definition's command and arguments.

Wine 8's Task Scheduler keeps only a skeleton of a registered task (its
description and some settings: no trigger, no principal, no action), so
the definition checked and started here is the one the package handed to
ITaskFolder::RegisterTask, which its custom action writes whole into the
installation's log; the skeleton shows the task was registered.

They register in scenarios.py's SCENARIOS, which lists and runs them.
"""

import datetime
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

from harness import (EVENT_DEBUG, TASK_NAMESPACE, Desktop, end_line,
                     log_lines, readable, run_recorded_action, selected_line,
                     sjis, start_action, task_action, window, written_events)
from scenarios import (EARLIER_LOG, ROOT, RUN_ENDED, RUN_STARTED, PeImage,
                       check_recorded_run, check_selected_once_and_closed,
                       fixture_class, hold_log, report, scenario)

# The results script's own tests give it a stand-in Get-WinEvent.
sys.path.insert(0, os.path.join(ROOT, "tests"))
from results_script_test import run_results_script  # noqa: E402

ADMX_FOLDER = os.path.join(ROOT, "packaging", "admx")
# The 1.4.0 packages, as released: what an upgrade starts from. Named apart
# from the version under test, which may be 1.4.0 until it is raised.
EARLIER_PACKAGES = os.path.join(ROOT, "tests", "e2e", "packages-1.4.0")
RELEASED_1_4_0 = "1.4.0 as released"

# The runner's exit statuses.
RUNNER_DONE = 0
RUNNER_NO_TERM = 2
RUNNER_LOG_HELD = 5

def check_results_script(checks, runs):
    """The shipped results script run by PowerShell 7 on the events the
    runner wrote under Wine, each run given a second of its own on one
    evening: the day's one line, the runs not 0 first, exit 0 only when
    every run ended 0."""
    evening = datetime.datetime(2026, 12, 8, 18, 0, 0)
    events, entries = [], []
    for number, run in enumerate(runs):
        at = evening + datetime.timedelta(seconds=number)
        for event in run:
            inserts = list(event.inserts)
            if len(inserts) < event.count:
                # Wine prints no empty insert: the term of a run that found
                # none, the copy of one that made none.
                inserts.insert(2 if event.id == RUN_STARTED else 4, "")
            events.append((at, event.id, inserts))
        status = str(run[-1].id - RUN_ENDED) if run[-1:] and \
            run[-1].id != RUN_STARTED else "-"
        entries.append((at.strftime("%H:%M:%S"), run[0].inserts[0], status))
    failed = [entry for entry in entries if entry[2] != "0"]
    ordered = failed + [entry for entry in entries if entry[2] == "0"]
    count = "1 run" if len(runs) == 1 else f"{len(runs)} runs"
    expected = (f"tesmarinds 2026/12/08: {count}, {len(failed)} not 0: "
                + "; ".join(" ".join(entry) for entry in ordered) + "\n")
    output, status = run_results_script(events, [],
                                        today=datetime.date(2026, 12, 9))
    checks.equal(output, expected,
                 "the results script's line on the runner's events")
    checks.equal(status, 1 if failed else 0,
                 "the results script's exit status")


# --- The Windows Installer package ------------------------------------------

INSTALL_FOLDER = "c:\\Program Files\\tesmarinds"
TEMPLATES = ["admx\\en-US\\tesmarinds.adml", "admx\\ja-JP\\tesmarinds.adml",
             "admx\\tesmarinds.admx"]
# Folders too: removal must take the template's.
INSTALLED_FILES = sorted(["LICENSE.txt", "README.ja.txt",
                          "tesmarinds-results.ps1",
                          "tesmarinds-subscription.xml", "tesmarinds-task.exe",
                          "tesmarinds.exe", "admx", "admx\\en-US",
                          "admx\\ja-JP", *TEMPLATES])
# Where Group Policy and Intune write the administrative template's values.
POLICY_KEY = "HKLM\\SOFTWARE\\Policies\\tesmarinds"
TASK_FOLDER = "c:\\windows\\system32\\tasks\\tesmarinds"
# A Japanese folder holding what cmd would take apart: & ! and parentheses.
AWKWARD_FOLDER = "c:\\ツール & 試験! (e2e)\\tesmarinds"
INSTALL_LOG = "c:\\e2e\\msiexec.log"
HANDED_DEFINITION = re.compile(
    r"registering \\tesmarinds\\close-windows as\r\n(<\?xml.*?</Task>)",
    re.S)
EVENT_SOURCE_KEY = ("HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\"
                    "Application\\tesmarinds")


class Package:
    """One architecture's packages as packages.sh built them, the lower and
    the higher test version, and where they install under Wine."""

    def __init__(self, options):
        self.x64 = PeImage(options.tool).pe32_plus
        self.arch = "x64" if self.x64 else "x86"
        # Where the package's registry values and its entry in the list of
        # installed programs go: the x86 package's in the 32-bit view.
        self.registry_view = "/reg:64" if self.x64 else "/reg:32"
        self.folder = INSTALL_FOLDER if self.x64 else \
            "c:\\Program Files (x86)\\tesmarinds"
        # Given to msiexec for a folder other than the package's own.
        self.properties = []
        with open(os.path.join(options.packages, "higher-version.txt")) as f:
            self.higher_version = f.read().strip()
        self.version = options.version
        self.packages = options.packages

    def install_into(self, folder):
        self.folder = folder
        self.properties = [f"INSTALLDIR={folder}"]

    def file(self, version):
        if version == RELEASED_1_4_0:
            return os.path.join(EARLIER_PACKAGES,
                                f"tesmarinds-1.4.0-{self.arch}.msi")
        return os.path.join(self.packages,
                            f"tesmarinds-{version}-{self.arch}.msi")

    def product_code(self, version):
        listing = subprocess.run(["msiinfo", "export", self.file(version),
                                  "Property"], capture_output=True,
                                 text=True, check=True, timeout=30).stdout
        return re.search(r"^ProductCode\t(\S+)", listing, re.M).group(1)

    def definition(self, desktop):
        """The definition the last install handed to Task Scheduler, from
        its log (in the ANSI code page, 932 here), as UTF-8; None if none."""
        with open(desktop.path(INSTALL_LOG), "rb") as log:
            found = HANDED_DEFINITION.findall(log.read().decode("cp932"))
        if not found:
            return None
        return found[-1].replace('encoding="UTF-16"', 'encoding="UTF-8"',
                                 1).encode()


def install_log_says(desktop, pattern):
    """Whether a line the custom actions wrote into the last install's log
    matches pattern (after "tesmarinds: "), case aside."""
    with open(desktop.path(INSTALL_LOG), "rb") as log:
        return re.search(r"tesmarinds: " + pattern, log.read().decode("cp932"),
                         re.I)


def event_source(desktop):
    """The event source's message file (REG_EXPAND_SZ), in lower case, and
    types; None when its key is not there."""
    status, output = desktop.run(["reg", "query", EVENT_SOURCE_KEY])
    if status != 0:
        return None
    message_file = re.search(rb"EventMessageFile\s+REG_EXPAND_SZ\s+(.*?)\r?\n",
                             output)
    types = re.search(rb"TypesSupported\s+REG_DWORD\s+(0x[0-9a-f]+)", output)
    return (message_file and message_file[1].decode("cp932").lower(),
            types and int(types[1], 16))


def msiexec(desktop, package, version, *arguments):
    """msiexec on a copy of the package in c:\\e2e; its exit status (Wine
    gives the low byte of Windows Installer's)."""
    name = os.path.basename(package.file(version))
    shutil.copyfile(package.file(version), desktop.path("c:\\e2e\\" + name))
    status, _ = desktop.run(["msiexec", *arguments[:1], "c:\\e2e\\" + name,
                             *package.properties, *arguments[1:], "/qn",
                             "/l*v", INSTALL_LOG], timeout=120)
    return status


def registered_version(desktop, package, version, name="DisplayVersion"):
    """The DisplayVersion (or another text name) of that version's product
    code in Programs and Features, None if it is not installed."""
    key = ("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
           + package.product_code(version))
    status, output = desktop.run(["reg", "query", key, "/v", name,
                                  package.registry_view])
    if status != 0:
        return None
    found = re.search(rb"\s+REG_SZ\s+(.+?)\r?\n", output)
    return found.group(1).decode("cp932") if found else None


def keep_days_value(desktop, package):
    """The KeepDays value in the package's registry view, or None."""
    status, output = desktop.run(["reg", "query", "HKLM\\SOFTWARE\\tesmarinds",
                                  "/v", "KeepDays", package.registry_view])
    found = re.search(rb"KeepDays\s+REG_DWORD\s+0x([0-9a-f]+)", output)
    return int(found.group(1), 16) if status == 0 and found else None


def term_value(desktop, package):
    """The Term value in the registry view the package writes, or None."""
    status, output = desktop.run(["reg", "query", "HKLM\\SOFTWARE\\tesmarinds",
                                  "/v", "Term", package.registry_view])
    if status != 0:
        return None
    found = re.search(rb"Term\s+REG_SZ\s+(.*?)\r?\n", output)
    return found.group(1).decode("cp932") if found else ""


def import_term(desktop, key, term, view):
    """Term written under key (HKLM\\...) in a registry view from a registry
    file in UTF-16 (any character, any quotation mark)."""
    escaped = term.replace("\\", "\\\\").replace('"', '\\"')
    text = ("Windows Registry Editor Version 5.00\r\n\r\n"
            f"[{key.replace('HKLM', 'HKEY_LOCAL_MACHINE', 1)}]\r\n"
            f'"Term"="{escaped}"\r\n')
    with open(desktop.path("c:\\e2e\\term.reg"), "wb") as reg_file:
        reg_file.write(b"\xff\xfe" + text.encode("utf-16-le"))
    return desktop.run(["reg", "import", "c:\\e2e\\term.reg", view])


def set_term_by_policy(desktop, package, term):
    """Term written as Group Policy preferences write it, where the package
    writes TERM."""
    return import_term(desktop, "HKLM\\SOFTWARE\\tesmarinds", term,
                       package.registry_view)


def registered_tasks(desktop):
    folder = desktop.path(TASK_FOLDER)
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def registered_task(desktop):
    """The task as Task Scheduler keeps it (under Wine, its skeleton)."""
    with open(desktop.path(TASK_FOLDER + "\\close-windows"), "rb") as task:
        text = task.read()
    if text.startswith(b"\xff\xfe"):
        text = text.decode("utf-16").encode()
    return ElementTree.fromstring(text.removeprefix(b"\xef\xbb\xbf"))


def registered_start(desktop):
    """HH:MM of the registered task's trigger; None when Task Scheduler
    kept no trigger, as Wine 8's keeps none."""
    boundary = registered_task(desktop).findtext(
        f".//{TASK_NAMESPACE}CalendarTrigger/{TASK_NAMESPACE}StartBoundary")
    return boundary[11:16] if boundary else None


def installed_files(desktop, package):
    """Every file and folder in the install folder, by its path there."""
    folder = desktop.path(package.folder)
    found = []
    for place, folders, files in os.walk(folder):
        found += [os.path.relpath(os.path.join(place, name), folder)
                  .replace(os.sep, "\\") for name in folders + files]
    return sorted(found)


def package_scenario(name):
    """A package scenario makes its own desktop, without c:\\temp (the
    package makes it). It is skipped where Wine runs no program of the
    package's architecture: the package's custom actions are a DLL of it."""
    def register(function):
        def run(options, checks):
            desktop = Desktop(name, options, with_temp=False)
            package = Package(options)
            try:
                with desktop:
                    function(desktop, package, checks)
            finally:
                if checks.failures and os.path.isdir(desktop.directory):
                    report(desktop.directory)
        return scenario(name, desktop=False, runs_programs=True)(run)
    return register


def check_task_definition(checks, desktop, package, start):
    """The definition the package handed to Task Scheduler: daily at start,
    for the Users group, starting the installed runner by its quoted path
    (the folder's & written &amp; in the text); and the task registered with
    it, as far as Task Scheduler keeps it."""
    definition = package.definition(desktop)
    if not checks.expect(definition, "a definition in the install's log"):
        return
    task = ElementTree.fromstring(definition)
    principal = f"{TASK_NAMESPACE}Principals/{TASK_NAMESPACE}Principal/"
    checks.equal(task.findtext(principal + f"{TASK_NAMESPACE}GroupId"),
                 "S-1-5-32-545", "the task's principal (the Users group)")
    trigger = (f"{TASK_NAMESPACE}Triggers/{TASK_NAMESPACE}CalendarTrigger/"
               f"{TASK_NAMESPACE}StartBoundary")
    checks.equal(task.findtext(trigger), f"2026-01-01T{start}:00",
                 f"the task starts daily at {start}")
    checks.equal(task_action(definition).lower(),
                 f'"{package.folder}\\tesmarinds-task.exe"'.lower(),
                 "the task's action")
    settings = f"{TASK_NAMESPACE}Settings/{TASK_NAMESPACE}"
    checks.equal((task.findtext(settings + "MultipleInstancesPolicy"),
                  task.findtext(settings + "ExecutionTimeLimit")),
                 ("Parallel", "PT2H"), "the task's settings")
    description = (f"{TASK_NAMESPACE}RegistrationInfo/"
                   f"{TASK_NAMESPACE}Description")
    if checks.equal(registered_tasks(desktop), ["close-windows"],
                    "tasks in \\tesmarinds"):
        checks.equal(registered_task(desktop).findtext(description),
                     task.findtext(description),
                     "the registered task's description")


def check_removed(checks, desktop, package, version):
    checks.equal(installed_files(desktop, package), [],
                 f"the files in {package.folder} after removal")
    checks.equal(registered_tasks(desktop), [], "tasks after removal")
    checks.equal(term_value(desktop, package), None, "Term after removal")
    checks.equal(registered_version(desktop, package, version), None,
                 "the product after removal")


@package_scenario("package.installs_runs_upgrades_and_removes")
def package_lifecycle(desktop, package, checks):
    """A Japanese TERM reaches the registry through msiexec; the
    administrative template's Term, set over it in the 64-bit view as
    Group Policy and Intune set it, wins, and through the runner's command
    line closes only the window whose title holds it. An upgrade given
    START alone keeps Term and KeepDays."""
    status = msiexec(desktop, package, package.version, "/i", "TERM=集計",
                     "START=07:30", "KEEPDAYS=45")
    checks.equal(status, 0, "msiexec /i's exit status")
    checks.equal(installed_files(desktop, package), INSTALLED_FILES,
                 f"the files in {package.folder}")
    for template in TEMPLATES:
        with open(os.path.join(ADMX_FOLDER, *template.split("\\")[1:]),
                  "rb") as source, \
                open(desktop.path(package.folder + "\\" + template),
                     "rb") as installed:
            checks.equal(installed.read(),
                         source.read().replace(b"\n", b"\r\n"),
                         f"the installed {template} (CR LF)")
    folder = desktop.path(package.folder)
    for name, built in (("tesmarinds.exe", desktop.options.tool),
                        ("tesmarinds-task.exe", desktop.options.runner)):
        with open(os.path.join(folder, name), "rb") as installed, \
                open(built, "rb") as packed:
            checks.expect(installed.read() == packed.read(),
                          f"the installed {name} is the one packed")
    checks.equal((term_value(desktop, package),
                  keep_days_value(desktop, package)), ("集計", 45),
                 f"Term and KeepDays in HKLM\\SOFTWARE\\tesmarinds"
                 f" ({package.registry_view})")
    check_task_definition(checks, desktop, package, "07:30")
    checks.expect(os.path.isdir(os.path.dirname(desktop.log_path)) and
                  install_log_says(desktop, r"C:\\temp made") and
                  all(install_log_says(desktop, rf"C:\\temp\\{name} made")
                      for name in ("tesmarinds-keep.txt", "Tesmarind.txt",
                                   "Tesmarind-turn.txt")),
                  "the package made c:\\temp, the file that keeps it from"
                  " being emptied, and the log and the turn every run shares")
    checks.equal(event_source(desktop),
                 ((package.folder + "\\tesmarinds-task.exe").lower(), 7),
                 "the event source's message file and types")

    status, output = import_term(desktop, POLICY_KEY, "売上", "/reg:64")
    checks.equal(status, 0, f"reg import /reg:64 ({readable(output)})")
    title = sjis("e2e 売上 report")
    class_name = fixture_class("Sales")
    fixture = desktop.start_fixture([
        window("sales", title, class_name),
        window("totals", sjis("e2e 集計 report"), fixture_class("Totals"))])
    status, events = run_recorded_action(
        desktop, task_action(package.definition(desktop)))
    checks.equal(status, RUNNER_DONE, "the task's exit status")
    kept = check_recorded_run(checks, desktop, events, 0,
                              "最後まで実行しました。", term="売上")
    check_results_script(checks, [events])
    check_selected_once_and_closed(checks, log_lines(kept or b""), fixture,
                                   "sales", title, class_name)
    checks.equal(fixture.closes("totals"), [],
                 "close requests to the window holding the package's term")

    # A repair writes back what the install was given, not empty values.
    status = msiexec(desktop, package, package.version, "/i", "REINSTALL=ALL",
                     "REINSTALLMODE=omus")
    checks.equal((status, term_value(desktop, package),
                  keep_days_value(desktop, package)), (0, "集計", 45),
                 "a repair's exit status, Term and KeepDays")

    higher = package.higher_version
    status = msiexec(desktop, package, higher, "/i", "START=06:45")
    checks.equal(status, 0, "msiexec /i's exit status for a higher version")
    checks.equal((registered_version(desktop, package, package.version),
                  registered_version(desktop, package, higher)),
                 (None, higher), "products installed after the upgrade")
    checks.equal((term_value(desktop, package),
                  keep_days_value(desktop, package)), ("集計", 45),
                 "Term and KeepDays kept by the upgrade")
    check_task_definition(checks, desktop, package, "06:45")
    checks.expect(install_log_says(desktop, r"C:\\temp (kept|repaired)"),
                  "the upgrade's log says c:\\temp was kept or repaired")
    status = msiexec(desktop, package, package.version, "/i")
    checks.expect(status != 0, "a lower version is refused")
    checks.equal(registered_version(desktop, package, higher), higher,
                 "the product installed after the refused downgrade")

    status = msiexec(desktop, package, higher, "/x")
    checks.equal(status, 0, "msiexec /x's exit status")
    check_removed(checks, desktop, package, higher)
    checks.equal((keep_days_value(desktop, package), event_source(desktop)),
                 (None, None), "KeepDays and the event source after removal")
    checks.expect(os.path.isfile(desktop.log_path) and kept,
                  "the log is left, and the user's copy")


@package_scenario("package.upgrade_from_1_4_0_keeps_term_and_start")
def package_upgrade_from_1_4_0(desktop, package, checks):
    """The 1.4.0 package installed with TERM and START, then this one over
    it with no property, as Intune's supersedence or a Group Policy upgrade
    installs it: the Term stays, and the task's start time where Task
    Scheduler kept it (Wine 8 keeps no trigger: there the default)."""
    status = msiexec(desktop, package, RELEASED_1_4_0, "/i", "TERM=売上",
                     "START=07:30")
    checks.equal(status, 0, "msiexec /i's exit status for 1.4.0")
    kept_start = registered_start(desktop)
    higher = package.higher_version
    status = msiexec(desktop, package, higher, "/i")
    checks.equal(status, 0, "msiexec /i's exit status for the upgrade")
    checks.equal((registered_version(desktop, package, RELEASED_1_4_0),
                  registered_version(desktop, package, higher)),
                 (None, higher), "products installed after the upgrade")
    checks.equal(term_value(desktop, package), "売上", "Term after the upgrade")
    checks.equal(keep_days_value(desktop, package), None,
                 "KeepDays after the upgrade (1.4.0 had none)")
    if kept_start is None:
        print("not checked: the start time kept, as Wine's Task Scheduler"
              " kept no trigger of 1.4.0's task to read back")
    check_task_definition(checks, desktop, package, kept_start or "18:00")
    checks.equal(installed_files(desktop, package), INSTALLED_FILES,
                 f"the files in {package.folder} (1.4.0's own are gone)")
    status = msiexec(desktop, package, higher, "/x")
    checks.equal(status, 0, "msiexec /x's exit status")
    check_removed(checks, desktop, package, higher)


@package_scenario("package.refuses_bad_properties_and_installs_without_term")
def package_properties(desktop, package, checks):
    """Refused properties install nothing: a START the launch conditions
    let through is refused by the registration, and the install rolled
    back. Without TERM every run ends 2 until a policy sets Term, here one
    holding & ^ ! and quotation marks, which reaches the tool as written,
    and which an upgrade and a removal leave as the policy set it.
    Installed into a Japanese folder whose name holds & ! and parentheses,
    which the task's definition holds as UTF-16 text."""
    package.install_into(AWKWARD_FOLDER)
    for properties in (["TERM=a%b"], ["TERM=notepad", "START=1:30"],
                       ["KEEPDAYS=3651"], ["KEEPDAYS=abc"]):
        status = msiexec(desktop, package, package.version, "/i", *properties)
        checks.expect(status != 0, f"{properties} is refused")
        checks.equal((installed_files(desktop, package),
                      registered_tasks(desktop), term_value(desktop, package),
                      registered_version(desktop, package, package.version)),
                     ([], [], None, None),
                     f"files, tasks, Term and product after {properties}")

    # A site may set Term by policy: the package neither writes nor removes
    # it then, and until one is set every run ends 2.
    status = msiexec(desktop, package, package.version, "/i")
    checks.equal(status, 0, "msiexec /i's exit status without TERM")
    checks.equal((term_value(desktop, package),
                  keep_days_value(desktop, package)), (None, None),
                 "Term and KeepDays without TERM and KEEPDAYS")
    check_task_definition(checks, desktop, package, "18:00")
    checks.expect(install_log_says(desktop, "INSTALLDIR " +
                                   re.escape(package.folder) +
                                   r"\\ and the folders above it: only"),
                  "the log says only administrators can change the folder")
    checks.equal((registered_version(desktop, package, package.version,
                                     "InstallLocation") or "").lower(),
                 package.folder.lower() + "\\",
                 "the folder Programs and Features names")
    action = task_action(package.definition(desktop))
    status, events = run_recorded_action(desktop, action)
    checks.equal(status, RUNNER_NO_TERM,
                 "the task's exit status without a term")
    check_recorded_run(checks, desktop, events, RUNNER_NO_TERM,
                       "tesmarinds の Term にもありません", term="")
    # Started at a prompt, the runner says why on its standard output.
    status, console = desktop.run([package.folder + "\\tesmarinds-task.exe"])
    no_term = sjis("閉じたいウィンドウのタイトルの一部が、タスクの引数にも、"
                   "レジストリの HKLM\\SOFTWARE\\Policies\\tesmarinds と "
                   "HKLM\\SOFTWARE\\tesmarinds の Term にもありません。")
    checks.equal((status, console), (RUNNER_NO_TERM, no_term + b"\r\n"),
                 "the runner started at a prompt: status and note")

    term = 'R&D "Q" ^!'
    status, output = set_term_by_policy(desktop, package, term)
    checks.equal(status, 0, f"reg import ({readable(output)})")
    checks.equal(term_value(desktop, package), term, "Term by policy")
    title = b'e2e R&D "Q" ^! report'
    class_name = fixture_class("Quoted")
    fixture = desktop.start_fixture([
        window("quoted", title, class_name),
        window("plain", b"e2e R&D Q report", fixture_class("Plain"))])
    status, events = run_recorded_action(desktop, action)
    checks.equal(status, RUNNER_DONE, "the task's exit status")
    kept = check_recorded_run(checks, desktop, events, RUNNER_DONE,
                              "最後まで実行しました。", term=term)
    check_selected_once_and_closed(checks, log_lines(kept or b""),
                                   fixture, "quoted", title, class_name)
    checks.equal(fixture.closes("plain"), [],
                 "close requests to the window without the quotation marks")
    # The policy's Term is not the package's: an upgrade leaves it alone
    # and the removal leaves it in place.
    higher = package.higher_version
    status = msiexec(desktop, package, higher, "/i")
    checks.equal(status, 0, "msiexec /i's exit status for a higher version")
    status = msiexec(desktop, package, higher, "/x")
    checks.equal(status, 0, "msiexec /x's exit status")
    checks.equal((installed_files(desktop, package), registered_tasks(desktop),
                  term_value(desktop, package)), ([], [], term),
                 "the files, tasks and Term after an upgrade and removal")


@package_scenario("package.runs_take_turns_and_wait_within_their_bound")
def package_turns(desktop, package, checks):
    """A log held past the bound (shortened here through the variable the
    runner reads for it) ends a run 5 without starting the tool; two runs
    started together, as one trigger starts them in two sessions, take
    turns, each checking and copying a log of its own, whatever the turn
    file says (every user may write it: it is held, never read)."""
    status = msiexec(desktop, package, package.version, "/i", "TERM=e2e turn")
    checks.equal(status, 0, "msiexec /i's exit status")
    action = task_action(package.definition(desktop))

    with open(desktop.log_path, "wb") as log:
        log.write(EARLIER_LOG)
    release, holder = hold_log(desktop, checks)
    title = b"e2e turn window"
    class_name = fixture_class("Turn")
    fixture = desktop.start_fixture([window("turn", title, class_name)])
    status, events = run_recorded_action(desktop, action,
                                         {"TESMARINDS_WAIT_SECONDS": "5"})
    checks.equal(status, RUNNER_LOG_HELD,
                 "the task's exit status with the log held past the bound")
    check_recorded_run(checks, desktop, events, RUNNER_LOG_HELD,
                       "5 秒待っても終わりませんでした。")
    checks.equal(fixture.closes("turn"), [],
                 "close requests (no run was started)")
    open(desktop.path(release), "wb").close()
    checks.equal(holder.wait(timeout=15), 0, "the log holder's exit status")
    checks.equal(desktop.log(), EARLIER_LOG, "the held log's bytes")

    with open(os.path.join(os.path.dirname(desktop.log_path),
                           "Tesmarind-turn.txt"), "wb") as turn:
        turn.write(b"suzuki\r\n")
    runs = [start_action(desktop, action, {"WINEDEBUG": EVENT_DEBUG})
            for _ in range(2)]
    copies, notes, recorded = [], [], [events]
    for number, run in enumerate(runs, 1):
        checks.equal(run.wait(timeout=150), RUNNER_DONE,
                     f"run {number}'s exit status")
        events = written_events(run.stderr_path)
        recorded.append(events)
        copies.append(check_recorded_run(checks, desktop, events,
                                         RUNNER_DONE, "最後まで実行しました。"))
        notes += [event.inserts[2] for event in events[1:]]
    checks.equal([(n, o) for n, _, o in fixture.closes("turn")],
                 [(1, "accepted")], "close requests (from the first run)")
    checks.equal(sum("秒待ちました" in note for note in notes), 1,
                 f"runs that waited for the other's turn: {notes}")
    check_results_script(checks, recorded)
    checks.expect(all(copy and copy.endswith(end_line()) for copy in copies),
                  "each run's copy is a whole log")
    checks.equal(sum(selected_line(title) in (copy or b"")
                     for copy in copies), 1,
                 "copies of a run that selected the window")
