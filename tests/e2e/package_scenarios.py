"""Scenarios of what ships beside the executable: close-windows.bat as the
release converts it (scripts/batch-file.sh).

They register in scenarios.py's SCENARIOS, which lists and runs them.
"""

import os
import re
import shutil
import subprocess
import time

from harness import CRLF, end_line, log_lines, readable, sjis, window
from scenarios import (EARLIER_LOG, LOG_FAILED, ROOT,
                       check_selected_once_and_closed, fixture_class,
                       hold_log, scenario, stayer)

BATCH_SOURCE = os.path.join(ROOT, "packaging", "close-windows.bat")

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


@scenario("batch.waits_for_a_held_log_within_its_bound")
def batch_held_log(desktop, checks):
    """Another session's run holds the log: the batch waits for it, polling,
    and starts its run once the log is free, but gives up with 5 (starting
    no second run beside it) when it stays held past the bound. The bound
    is shortened here through the variable the batch reads for it."""
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
    checks.equal(desktop.log(), EARLIER_LOG, "the held log's bytes")
    checks.equal(kept_copies(desktop), {}, "dated copies of the log")

    title = b"e2e waiting window"
    class_name = fixture_class("Waiting")
    waiting = desktop.start_fixture([window("waiting", title, class_name)])
    console_path = os.path.join(desktop.directory, "waiting-console.bin")
    with open(console_path, "wb") as console_file:
        batch = desktop.start(
            with_variables(command, {"TESMARINDS_WAIT_SECONDS": "120"})
            + ["waiting"], stdout=console_file)
    # Longer than one of the batch's 5-second polls, so it has found the
    # log held at least once before it is released.
    time.sleep(7)
    checks.equal(waiting.closes("waiting"), [],
                 "close requests while the log is held")
    open(desktop.path(release), "wb").close()
    checks.equal(holder.wait(timeout=15), 0, "the holder's exit status")
    checks.equal(batch.wait(timeout=120), BATCH_DONE,
                 "the batch's exit status once the log was released")
    lines = log_lines(desktop.log() or b"")
    check_selected_once_and_closed(checks, lines, waiting, "waiting", title,
                                   class_name)
    history = batch_history(desktop)
    checks.equal(len(history), 2, "run records (the refusal, then the run)")
    checks.expect(sjis("待っても閉じられませんでした") in history[0],
                  f"the refusal says it waited: {readable(history[0])}")
    checks.expect(sjis("秒待ちました") in history[-1],
                  f"the run says it waited: {readable(history[-1])}")


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
    in %TEMP% keep their names. An earlier run stopped before its end line
    is recorded with the user who started it, not with this run's user."""
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
