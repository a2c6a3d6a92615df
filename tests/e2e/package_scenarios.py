"""Scenarios of what ships beside the executable: close-windows.bat as the
release converts it (scripts/batch-file.sh), and the Windows Installer
package that installs it with the tool and registers its task
(scripts/stage.sh, scripts/msi.sh, built for the tests by packages.sh).

They register in scenarios.py's SCENARIOS, which lists and runs them.
"""

import os
import re
import shutil
import subprocess
import time
import xml.etree.ElementTree as ElementTree

from harness import (CRLF, Desktop, end_line, log_lines, readable,
                     runs_here, sjis, window)
from scenarios import (EARLIER_LOG, LOG_FAILED, ROOT, PeImage,
                       check_selected_once_and_closed, fixture_class,
                       hold_log, report, scenario, stayer)

BATCH_SOURCE = os.path.join(ROOT, "packaging", "close-windows.bat")
TASK_TEMPLATE = os.path.join(ROOT, "packaging",
                             "close-windows-task-template.xml")

# The batch file's exit statuses.
BATCH_DONE = 0
BATCH_REJECTED = 1
BATCH_NO_TERM = 2
BATCH_LOG_NOT_WRITTEN = 3
BATCH_LOG_HELD = 5

# The one line an operator edits, as it ships.
TITLE_LINE = b'set "TITLE="' + CRLF


# --- The batch file as it ships ---------------------------------------------

def shipped_batch(directory):
    """close-windows.bat made from packaging/ as the release makes it."""
    target = os.path.join(directory, "close-windows.bat")
    subprocess.run(["bash", os.path.join(ROOT, "scripts", "batch-file.sh"),
                    BATCH_SOURCE, target], check=True, timeout=30)
    with open(target, "rb") as batch:
        return batch.read()


def expected_batch():
    """What the release must ship: the source in code page 932, by iconv,
    each line ended by CR LF."""
    with open(BATCH_SOURCE, encoding="utf-8") as source:
        return sjis(source.read()).replace(b"\n", CRLF)


def install_batch(desktop):
    """The executable and the shipped batch file beside it in c:\\tools,
    its TITLE line taking the batch's first argument so that one file
    serves every run; returns the command that runs it."""
    tools = desktop.path("c:\\tools")
    os.makedirs(tools)
    shutil.copyfile(desktop.options.tool, os.path.join(tools, "tesmarinds.exe"))
    batch = shipped_batch(desktop.directory)
    if batch.count(TITLE_LINE) != 1:
        raise ValueError("the shipped batch file has no one empty TITLE line")
    with open(os.path.join(tools, "close-windows.bat"), "wb") as edited:
        edited.write(batch.replace(TITLE_LINE, b'set "TITLE=%~1"' + CRLF))
    return ["cmd", "/c", "c:\\tools\\close-windows.bat"]


def with_variables(command, variables):
    """command run by cmd after setting environment variables. Neither the
    values nor the batch's arguments may hold a space: Wine would quote the
    line, and cmd would take the quotes off the wrong words."""
    settings = "".join(f"set {name}={value}&"
                       for name, value in variables.items())
    return command[:2] + [settings + command[2]] + command[3:]


def kept_copies(desktop):
    """The dated copies of the log the batch keeps in c:\\temp, by name."""
    temp = os.path.dirname(desktop.log_path)
    copies = {}
    for name in sorted(os.listdir(temp)):
        if re.fullmatch(r"Tesmarind-\d.*\.txt", name):
            with open(os.path.join(temp, name), "rb") as copy:
                copies[name] = copy.read()
    return copies


def batch_history(desktop):
    """The lines of the batch's run history beside the log."""
    path = os.path.join(os.path.dirname(desktop.log_path),
                        "Tesmarind-history.txt")
    try:
        with open(path, "rb") as history:
            return log_lines(history.read())
    except FileNotFoundError:
        return []


@scenario("batch.passes_the_exit_status_on")
def batch_passes_status(desktop, checks):
    command = install_batch(desktop)
    title = b"e2e batch window"
    class_name = fixture_class("Batch")
    fixture = desktop.start_fixture([window("batch", title, class_name)])
    status, console = desktop.run(command + ["batch window"])
    checks.equal(status, BATCH_DONE, "the batch's exit status after a run")
    checks.expect(not console.startswith(sjis("【ERROR")),
                  f"no tool message before the batch's own: {console!r}")
    log = desktop.log()
    lines = log_lines(log or b"")
    checks.expect(lines[-1:] == [end_line()], "the run's log is complete")
    check_selected_once_and_closed(checks, lines, fixture, "batch", title,
                                   class_name)
    copies = kept_copies(desktop)
    checks.equal(list(copies.values()), [log],
                 "dated copies of the log after a run (this run's log)")
    # Separators taken out of the date and time. (Wine's %time% has no
    # seconds; Windows' does, and they are kept.)
    checks.expect(all(re.fullmatch(r"Tesmarind-\d+-\d+\.txt", name)
                      for name in copies),
                  f"the copy is named by digits alone: {list(copies)}")
    history = batch_history(desktop)
    checks.equal(len(history), 1, "run records after a run")
    checks.expect(not any(title in line for line in history),
                  f"the run record names no window: {history!r}")

    status, console = desktop.run(command + ["a" * 33])
    checks.equal(status, BATCH_REJECTED,
                 "the batch's exit status after a rejection")
    too_long = sjis("【ERROR:0X0002】引数が長すぎます。32文字を超えています。")
    checks.expect(console.startswith(too_long),
                  f"the tool's own message comes first: {console!r}")
    checks.equal(desktop.log(), log, "the log after the rejected run")
    checks.equal(len(kept_copies(desktop)), 1,
                 "dated copies after the rejected run (none added)")

    status, console = desktop.run(command)
    checks.equal(status, BATCH_NO_TERM,
                 "the batch's exit status without an argument")
    checks.equal(desktop.log(), log, "the log after the batch's own refusal")
    checks.equal(len(batch_history(desktop)), 3,
                 "run records after a run, a rejection and a refusal")


@scenario("batch.refuses_a_term_with_a_full_width_space")
def batch_full_width_space(desktop, checks):
    """A space typed with the Japanese input method on is the full-width
    「　」: alone it would match every title holding one, inside a term it
    never matches a title written with the ordinary space."""
    command = install_batch(desktop)
    for term in ("売上　集計", "　"):
        status, console = desktop.run(command + [term])
        checks.equal(status, BATCH_NO_TERM,
                     f"the batch's exit status for {term!r}")
        checks.expect(sjis("全角の空白") in console,
                      f"the batch says why for {term!r}: {readable(console)}")
    checks.equal(desktop.log(), None, "the log (no run was started)")
    checks.equal(len(batch_history(desktop)), 2, "run records")


def hold_turn(desktop, checks):
    """As hold_log, for the turn file a batch holds while it runs: another
    session's run, as the batch sees it."""
    return hold_log(desktop, checks, "c:\\temp\\Tesmarind-turn.txt",
                    "c:\\e2e\\release-turn")


@scenario("batch.waits_for_its_turn_within_its_bound")
def batch_waits_for_turn(desktop, checks):
    """Another session's run has the turn (its batch holds the turn file),
    or a process left over holds the log: the batch waits, polling, and
    runs once they are done, but gives up with 5 (starting no second run)
    when the log stays held past the bound. The bound is shortened here
    through the variable the batch reads for it."""
    command = install_batch(desktop)
    with open(desktop.log_path, "wb") as log:
        log.write(EARLIER_LOG)
    release, holder = hold_log(desktop, checks)
    fixture = stayer(desktop)
    status, console = desktop.run(
        with_variables(command, {"TESMARINDS_WAIT_SECONDS": "5"})
        + ["stayer"])
    checks.equal(status, BATCH_LOG_HELD,
                 f"the batch's exit status with the log held past the bound"
                 f" ({readable(console)})")
    checks.equal(fixture.closes("stayer"), [],
                 "close requests (no second run was started)")
    open(desktop.path(release), "wb").close()
    checks.equal(holder.wait(timeout=15), 0, "the log holder's exit status")
    checks.equal(desktop.log(), EARLIER_LOG, "the held log's bytes")
    checks.equal(kept_copies(desktop), {}, "dated copies of the log")

    release, holder = hold_turn(desktop, checks)
    title = b"e2e waiting window"
    class_name = fixture_class("Waiting")
    waiting = desktop.start_fixture([window("waiting", title, class_name)])
    console_path = os.path.join(desktop.directory, "waiting-console.bin")
    with open(console_path, "wb") as console_file:
        batch = desktop.start(
            with_variables(command, {"TESMARINDS_WAIT_SECONDS": "120"})
            + ["waiting"], stdout=console_file)
    # Longer than one of the batch's 5-second polls, so it has found the
    # turn taken at least once before it is given up.
    time.sleep(7)
    checks.equal(waiting.closes("waiting"), [],
                 "close requests while another run has the turn")
    open(desktop.path(release), "wb").close()
    checks.equal(holder.wait(timeout=15), 0, "the turn holder's exit status")
    checks.equal(batch.wait(timeout=120), BATCH_DONE,
                 "the batch's exit status once it had the turn")
    lines = log_lines(desktop.log() or b"")
    check_selected_once_and_closed(checks, lines, waiting, "waiting", title,
                                   class_name)
    history = batch_history(desktop)
    checks.equal(len(history), 2, "run records (the refusal, then the run)")
    checks.expect(sjis("待っても終わりませんでした") in history[0],
                  f"the refusal says it waited: {readable(history[0])}")
    checks.expect(sjis("秒待ちました") in history[-1],
                  f"the run says it waited: {readable(history[-1])}")


@scenario("batch.runs_started_together_take_turns")
def batch_runs_together(desktop, checks):
    """Two sessions' runs started by one trigger: the second waits for the
    first to end, so both write, check and copy a log of their own instead
    of one running without its log. (One user here, with a %TEMP% each.)"""
    command = install_batch(desktop)
    fixtures = {}
    for key in ("first", "second"):
        title = f"e2e {key} session".encode()
        fixtures[key] = (desktop.start_fixture(
            [window(key, title, fixture_class(key.capitalize()))]), title)
        os.makedirs(desktop.path(f"c:\\profiles\\{key}"))
    batches = {}
    for key in fixtures:
        temp = f"c:\\profiles\\{key}"
        path = os.path.join(desktop.directory, f"{key}-console.bin")
        with open(path, "wb") as console_file:
            batches[key] = desktop.start(
                with_variables(command, {"TEMP": temp, "TMP": temp})
                + [key], stdout=console_file)
    for key, batch in batches.items():
        checks.equal(batch.wait(timeout=150), BATCH_DONE,
                     f"the {key} session's batch's exit status")
        fixture, _ = fixtures[key]
        checks.equal([(n, o) for n, _, o in fixture.closes(key)],
                     [(1, "accepted")], f"close requests {key} received")
    # Each ended 0, so each checked a log of its own that reached its end
    # line. Their copies are not counted: Wine's %time% has no seconds, so
    # two runs in one minute get one copy's name.
    history = batch_history(desktop)
    checks.equal(len(history), 2, "run records")
    checks.equal(sum(sjis("秒待ちました") in line for line in history), 1,
                 f"run records saying they waited: {readable(b''.join(history))}")


@scenario("batch.reports_a_log_it_cannot_write")
def batch_unwritable_log(desktop, checks):
    """A read-only log still holding an earlier run's complete lines: the
    windows are still asked to close, but those lines are no record of this
    run."""
    command = install_batch(desktop)
    with open(desktop.log_path, "wb") as log:
        log.write(EARLIER_LOG)
    # Wine shows a file without write bits as read-only, but as root it
    # still writes it; the immutable flag refuses root too, as Windows
    # refuses to write a read-only file.
    os.chmod(desktop.log_path, 0o444)
    subprocess.run(["chattr", "+i", desktop.log_path], check=True, timeout=30)
    try:
        fixture = stayer(desktop)
        status, console = desktop.run(command + ["stayer"])
        checks.equal(status, BATCH_LOG_NOT_WRITTEN,
                     f"the batch's exit status with a read-only log"
                     f" ({console!r})")
        checks.expect(console.startswith(LOG_FAILED),
                      f"the tool's own message comes first: {console!r}")
        checks.equal([(n, o) for n, _, o in fixture.closes("stayer")],
                     [(1, "stayed"), (2, "stayed"), (3, "stayed")],
                     "close requests (the run went on without its log)")
    finally:
        subprocess.run(["chattr", "-i", desktop.log_path], check=True,
                       timeout=30)
    checks.equal(desktop.log(), EARLIER_LOG, "the read-only log's bytes")
    checks.equal(kept_copies(desktop), {}, "dated copies of the log")
    checks.equal(len(batch_history(desktop)), 1, "run records")


@scenario("batch.runs_with_a_temp_folder_named_with_an_exclamation_mark")
def batch_exclamation_temp(desktop, checks):
    """A profile whose path holds "!" (a user name may): the batch's files
    in %TEMP% are found and removed. Windows' cmd would drop the "!" from a
    name read while delayed expansion is on; Wine's expands nothing there,
    so here this shows only that such a path works. An earlier run stopped
    before its end line is recorded with the user who started it, not with
    this run's user."""
    command = install_batch(desktop)
    temp = "c:\\profiles\\temp!profile"
    os.makedirs(desktop.path(temp))
    stopped = sjis("開始しました\r\n前の実行の記録\r\n")
    with open(desktop.log_path, "wb") as log:
        log.write(stopped)
    starter = os.path.join(os.path.dirname(desktop.log_path),
                           "Tesmarind-user.txt")
    with open(starter, "wb") as starter_file:
        starter_file.write(b"suzuki" + CRLF)
    title = b"e2e profile window"
    class_name = fixture_class("Profile")
    fixture = desktop.start_fixture([window("profile", title, class_name)])
    status, console = desktop.run(
        with_variables(command, {"TEMP": temp, "TMP": temp})
        + ["profile"])
    checks.equal(status, BATCH_DONE,
                 f"the batch's exit status ({readable(console)})")
    lines = log_lines(desktop.log() or b"")
    check_selected_once_and_closed(checks, lines, fixture, "profile", title,
                                   class_name)
    checks.equal(len(kept_copies(desktop)), 1, "dated copies of the log")
    history = batch_history(desktop)
    checks.equal(len(history), 2, "run records (the stopped run, this run)")
    if history:
        checks.expect(sjis(" - ") in history[0] and b"suzuki" in history[0],
                      f"the stopped run's record names who started it:"
                      f" {readable(history[0])}")
    with open(starter, "rb") as starter_file:
        checks.expect(starter_file.read() != b"suzuki" + CRLF,
                      "the starter is now this run's user")
    checks.equal([name for name in os.listdir(desktop.path(temp))
                  if name.startswith("tesmarinds-")], [],
                 "the batch's own files in %TEMP% are gone")


# --- The Windows Installer package ------------------------------------------

INSTALL_FOLDER = "c:\\Program Files\\tesmarinds"
INSTALLED_FILES = ["LICENSE.txt", "README.ja.txt",
                   "close-windows-task-template.xml", "close-windows-task.xml",
                   "close-windows.bat", "register-task.cmd", "tesmarinds.exe"]
TASK_FOLDER = "c:\\windows\\system32\\tasks\\tesmarinds"
TASK_NAMESPACE = "{http://schemas.microsoft.com/windows/2004/02/mit/task}"


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
        with open(os.path.join(options.packages, "higher-version.txt")) as f:
            self.higher_version = f.read().strip()
        self.version = options.version
        self.packages = options.packages

    def file(self, version):
        return os.path.join(self.packages,
                            f"tesmarinds-{version}-{self.arch}.msi")

    def product_code(self, version):
        listing = subprocess.run(["msiinfo", "export", self.file(version),
                                  "Property"], capture_output=True,
                                 text=True, check=True, timeout=30).stdout
        return re.search(r"^ProductCode\t(\S+)", listing, re.M).group(1)


def msiexec(desktop, package, version, *arguments):
    """msiexec on a copy of the package in c:\\e2e; its exit status (Wine
    gives the low byte of Windows Installer's)."""
    name = os.path.basename(package.file(version))
    shutil.copyfile(package.file(version), desktop.path("c:\\e2e\\" + name))
    status, _ = desktop.run(["msiexec", *arguments[:1], "c:\\e2e\\" + name,
                             *arguments[1:], "/qn"], timeout=120)
    return status


def registered_version(desktop, package, version):
    """The DisplayVersion of that version's product code, None if it is
    not installed."""
    key = ("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
           + package.product_code(version))
    status, output = desktop.run(["reg", "query", key, "/v", "DisplayVersion",
                                  package.registry_view])
    if status != 0:
        return None
    found = re.search(rb"DisplayVersion\s+REG_SZ\s+(\S+)", output)
    return found.group(1).decode() if found else None


def term_value(desktop, package):
    """The Term value in the registry view the package writes, or None."""
    status, output = desktop.run(["reg", "query", "HKLM\\SOFTWARE\\tesmarinds",
                                  "/v", "Term", package.registry_view])
    if status != 0:
        return None
    found = re.search(rb"Term\s+REG_SZ\s+(.*?)\r?\n", output)
    return found.group(1).decode("cp932") if found else ""


def registered_tasks(desktop):
    folder = desktop.path(TASK_FOLDER)
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def installed_files(desktop, package):
    folder = desktop.path(package.folder)
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def stand_in_for_32bit_cmd(desktop):
    """The x86 package runs its actions with the 32-bit cmd.exe, from the
    folder 32-bit programs see as the system folder. A prefix on a machine
    that runs no 32-bit programs has none there: the 64-bit one stands in,
    so the package's own work is still done and checked."""
    syswow64 = desktop.path("c:\\windows\\syswow64")
    os.makedirs(syswow64, exist_ok=True)
    shutil.copyfile(desktop.path("c:\\windows\\system32\\cmd.exe"),
                    os.path.join(syswow64, "cmd.exe"))


def package_scenario(name):
    """A package scenario makes its own desktop: with the x86 package it
    installs and removes even where Wine runs no 32-bit program, and only
    the run of the installed batch needs one. No c:\\temp: the package
    makes it."""
    def register(function):
        def run(options, checks):
            desktop = Desktop(name, options, with_temp=False)
            package = Package(options)
            try:
                with desktop:
                    if not runs_here(options.tool):
                        stand_in_for_32bit_cmd(desktop)
                    function(desktop, package, checks)
            finally:
                if checks.failures and os.path.isdir(desktop.directory):
                    report(desktop.directory)
        return scenario(name, desktop=False)(run)
    return register


def check_task_definition(checks, desktop, package, start):
    """The definition register-task.cmd made: the template with the start
    time and the install folder put in, registered for the Users group."""
    with open(TASK_TEMPLATE, encoding="utf-8") as template:
        expected = template.read().replace("@START@", start).replace(
            "@FOLDER@", package.folder.replace("c:", "C:", 1) + "\\")
    path = desktop.path(package.folder + "\\close-windows-task.xml")
    with open(path, "rb") as made:
        definition = made.read()
    checks.equal(definition.decode("ascii", "replace"),
                 expected.replace("\n", "\r\n"),
                 "the task definition made at install time")
    task = ElementTree.fromstring(definition)
    principal = f"{TASK_NAMESPACE}Principals/{TASK_NAMESPACE}Principal/"
    checks.equal(task.findtext(principal + f"{TASK_NAMESPACE}GroupId"),
                 "S-1-5-32-545", "the task's principal (the Users group)")
    trigger = (f"{TASK_NAMESPACE}Triggers/{TASK_NAMESPACE}CalendarTrigger/"
               f"{TASK_NAMESPACE}StartBoundary")
    checks.expect((task.findtext(trigger) or "").endswith(f"T{start}:00"),
                  f"the task starts daily at {start}")


@package_scenario("package.installs_runs_upgrades_and_removes")
def package_lifecycle(desktop, package, checks):
    status = msiexec(desktop, package, package.version, "/i",
                     "TERM=notepad", "START=07:30")
    checks.equal(status, 0, "msiexec /i's exit status")
    checks.equal(installed_files(desktop, package), INSTALLED_FILES,
                 f"the files in {package.folder}")
    folder = desktop.path(package.folder)
    with open(os.path.join(folder, "close-windows.bat"), "rb") as batch:
        checks.expect(batch.read() == expected_batch(),
                      "the installed batch file is the source in Shift_JIS"
                      " with CR LF")
    with open(os.path.join(folder, "tesmarinds.exe"), "rb") as installed, \
            open(desktop.options.tool, "rb") as built:
        checks.expect(installed.read() == built.read(),
                      "the installed tesmarinds.exe is the one packed")
    checks.equal(term_value(desktop, package), "notepad",
                 f"Term in HKLM\\SOFTWARE\\tesmarinds ({package.registry_view})")
    checks.equal(registered_tasks(desktop), ["close-windows"],
                 "tasks in \\tesmarinds")
    check_task_definition(checks, desktop, package, "07:30")
    checks.expect(os.path.isdir(os.path.dirname(desktop.log_path)),
                  "the package made c:\\temp")

    if runs_here(desktop.options.tool):
        title = b"e2e Notepad stand-in"
        class_name = fixture_class("Notepad")
        fixture = desktop.start_fixture([window("notepad", title,
                                                class_name)])
        status, console = desktop.run(
            ["cmd", "/c", package.folder + "\\close-windows.bat"])
        checks.equal(status, BATCH_DONE,
                     f"the installed batch's exit status"
                     f" ({readable(console)})")
        lines = log_lines(desktop.log() or b"")
        check_selected_once_and_closed(checks, lines, fixture, "notepad",
                                       title, class_name)
        checks.equal(len(batch_history(desktop)), 1, "run records")
    else:
        print("not run: the installed 32-bit executable, as this machine's"
              " kernel runs no 32-bit programs")

    higher = package.higher_version
    status = msiexec(desktop, package, higher, "/i", "TERM=notepad",
                     "START=07:30")
    checks.equal(status, 0, "msiexec /i's exit status for a higher version")
    checks.equal((registered_version(desktop, package, package.version),
                  registered_version(desktop, package, higher)),
                 (None, higher), "products installed after the upgrade")
    checks.equal(registered_tasks(desktop), ["close-windows"],
                 "tasks in \\tesmarinds after the upgrade")
    status = msiexec(desktop, package, package.version, "/i")
    checks.expect(status != 0, "a lower version is refused")
    checks.equal(registered_version(desktop, package, higher), higher,
                 "the product installed after the refused downgrade")

    status = msiexec(desktop, package, higher, "/x")
    checks.equal(status, 0, "msiexec /x's exit status")
    checks.equal(installed_files(desktop, package), [],
                 f"the files in {package.folder} after removal")
    checks.equal(registered_tasks(desktop), [], "tasks after removal")
    checks.equal(term_value(desktop, package), None, "Term after removal")
    checks.equal(registered_version(desktop, package, higher), None,
                 "the product after removal")
    if runs_here(desktop.options.tool):
        checks.expect(os.path.isfile(desktop.log_path) and
                      len(batch_history(desktop)) == 1,
                      "the log and the run history are left")


@package_scenario("package.refuses_bad_properties_and_installs_without_term")
def package_properties(desktop, package, checks):
    for properties in (["TERM=a%b"], ["TERM=notepad", "START=7:30"]):
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
    checks.equal(term_value(desktop, package), None, "Term without TERM")
    check_task_definition(checks, desktop, package, "18:00")
    if runs_here(desktop.options.tool):
        status, console = desktop.run(
            ["cmd", "/c", package.folder + "\\close-windows.bat"])
        checks.equal(status, BATCH_NO_TERM,
                     f"the installed batch's exit status without a term"
                     f" ({readable(console)})")
    status = msiexec(desktop, package, package.version, "/x")
    checks.equal(status, 0, "msiexec /x's exit status")
    checks.equal(installed_files(desktop, package), [],
                 "the files after removal")
