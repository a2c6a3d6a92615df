"""A private Windows desktop under Wine for one end-to-end scenario.

Every scenario gets its own Xvfb display and its own Wine prefix, copied
from one template booted per test run, and tears both down afterwards,
whatever happened. Both are started as wine_session.py starts them for the
demo and the Wine benchmark too. Only processes started here are ended: Xvfb by its pid,
the prefix's Windows processes with `wineserver -k` for that prefix alone.
Every wait has a deadline, so a hung scenario fails instead of hanging.

Run as a script it boots or removes the template:
    harness.py template DIR | harness.py remove-template DIR
"""

import functools
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree

from wine_session import (Xvfb, boot_prefix, die_with_parent,
                          runs_32bit_programs, stop_process, stop_wineserver,
                          wine_command, wine_environment)

JAPANESE = "ja_JP.UTF-8"  # Wine's ANSI code page becomes 932
ENGLISH = "C.UTF-8"  # Wine's own programs keep their English titles
# Wine's errors, not its notes on what it has not implemented, go to each
# program's standard error file, for the report of a failed scenario.
WINE_ERRORS = "fixme-all"

CRLF = b"\r\n"

# ctest reports a scenario that exits with this status as skipped.
SKIPPED = 77


@functools.lru_cache(maxsize=None)
def sjis(text):
    """The code page 932 bytes of a UTF-8 text, as iconv converts it."""
    result = subprocess.run(
        ["iconv", "-f", "UTF-8", "-t", "CP932"],
        input=text.encode("utf-8"),
        capture_output=True,
        timeout=10,
        check=True,
    )
    return result.stdout


def as_bytes(argument):
    """Command-line arguments go out as UTF-8 whatever the harness's locale,
    as a Japanese terminal would type them."""
    return argument if isinstance(argument, bytes) else argument.encode()


def readable(data):
    """Bytes shown to a person reading a failure: CP932 as far as it goes."""
    return data.decode("cp932", errors="backslashreplace")


def wait_until(condition, seconds, what):
    """Polls condition until it holds; fails after seconds."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"gave up after {seconds} s waiting for {what}")
        time.sleep(0.05)


def runs_here(path):
    """Whether this machine runs the Windows program at path: any 64-bit
    one, a 32-bit one only where the kernel runs 32-bit programs."""
    with open(path, "rb") as program:
        head = program.read(4096)
    pe_header = struct.unpack_from("<I", head, 0x3C)[0]
    optional_magic = struct.unpack_from("<H", head, pe_header + 24)[0]
    return optional_magic == 0x20B or runs_32bit_programs()


def make_template(directory):
    """Boots one Japanese-locale prefix that every scenario copies."""
    directory = os.path.abspath(directory)
    booting = directory + ".booting"
    shutil.rmtree(booting, ignore_errors=True)
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(os.path.dirname(directory), exist_ok=True)
    xvfb = Xvfb()
    env = wine_environment(booting, xvfb.display, JAPANESE)
    try:
        boot_prefix(env)
    finally:
        stop_wineserver(env)
        xvfb.stop()
    os.rename(booting, directory)


class Run:
    """One finished run of the tool: exit status, console bytes, duration."""

    def __init__(self, status, console, started, ended):
        self.status = status
        self.console = console
        self.started = started
        self.ended = ended

    @property
    def seconds(self):
        return self.ended - self.started


class Fixture:
    """A running window_fixture.exe and its record of close requests."""

    def __init__(self, process, record_path):
        self.process = process
        self.record_path = record_path

    def events(self):
        """The record's lines, split into fields."""
        try:
            with open(self.record_path, "rb") as record:
                text = record.read().decode("ascii")
        except FileNotFoundError:
            return []
        return [line.split() for line in text.splitlines() if line]

    def closes(self, window_id=None):
        """(request number, ms, outcome) for every WM_CLOSE received."""
        return [
            (int(e[2]), int(e[3]) / 1000.0, e[4])
            for e in self.events()
            if e[0] == "close" and (window_id is None or e[1] == window_id)
        ]

    def events_of(self, kind):
        """The fields after the kind of each record line of that kind."""
        return [e[1:] for e in self.events() if e[0] == kind]

    def ready_time(self):
        return next(int(e[1]) / 1000.0 for e in self.events()
                    if e[0] == "ready")

    def exited(self):
        return any(e[0] == "exit" for e in self.events())


def window(window_id, title, class_name=None, hidden=False, disabled=False,
           answer="accept"):
    """A window_fixture.exe window description; title is bytes."""
    fields = [f"id={window_id}", "title=" + title.hex()]
    if class_name:
        fields.append("class=" + class_name)
    if hidden:
        fields.append("hidden")
    if disabled:
        fields.append("disabled")
    fields.append("answer=" + answer)
    return ",".join(fields)


class Desktop:
    """One scenario's display and prefix; use it in a with statement."""

    def __init__(self, name, options, with_temp=True):
        self.name = name
        self.options = options
        self.with_temp = with_temp
        self.directory = os.path.join(options.work, name)
        self.prefix = os.path.join(self.directory, "prefix")
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.log_path = os.path.join(self.drive_c, "temp", "Tesmarind.txt")
        self.processes = []
        self.xvfb = None
        self.fixtures = 0
        self.started = 0

    def __enter__(self):
        shutil.rmtree(self.directory, ignore_errors=True)
        os.makedirs(self.directory)
        try:
            self.xvfb = Xvfb()
            subprocess.run(["cp", "-a", self.options.template, self.prefix],
                           timeout=120, check=True)
            os.makedirs(os.path.join(self.drive_c, "e2e"))
            if self.with_temp:
                os.makedirs(os.path.join(self.drive_c, "temp"))
            self._start_up()
        except BaseException:
            self._tear_down()
            raise
        return self

    def _start_up(self):
        """Has Wine start the prefix's server and its own services (the
        desktop, the service manager) before the scenario's first program,
        which would otherwise pay for them while it waits for its window
        on a loaded machine."""
        # The 32-bit helper runs only where the kernel runs 32-bit programs;
        # elsewhere Wine's own 64-bit cmd starts the prefix as well.
        if runs_here(self.options.helper):
            command = [self.options.helper, "list"]
        else:
            command = ["cmd", "/c", "exit"]
        status, _ = self.run(command, timeout=120)
        if status != 0:
            raise RuntimeError(f"the prefix did not start: {command}"
                               f" ended with {status}")

    def __exit__(self, *exc):
        self._tear_down()
        return False

    def _tear_down(self):
        try:
            if os.path.isdir(self.prefix):
                stop_wineserver(self.env())
            for process in self.processes:
                stop_process(process)
        finally:
            if self.xvfb is not None:
                self.xvfb.stop()
            self._keep_evidence()
            shutil.rmtree(self.prefix, ignore_errors=True)

    def _keep_evidence(self):
        for source, name in ((self.log_path, "Tesmarind.txt"),
                             (os.path.join(self.drive_c, "e2e"), "e2e")):
            target = os.path.join(self.directory, name)
            if os.path.isdir(source):
                shutil.copytree(source, target, dirs_exist_ok=True)
            elif os.path.isfile(source):
                shutil.copyfile(source, target)

    def env(self, lang=JAPANESE):
        display = self.xvfb.display if self.xvfb else ""
        return wine_environment(self.prefix, display, lang, WINE_ERRORS)

    def path(self, windows_path):
        """The Linux path of c:\\... inside this desktop's prefix."""
        relative = windows_path[3:].replace("\\", "/")
        return os.path.join(self.drive_c, relative)

    def start(self, arguments, lang=JAPANESE, stdout=subprocess.DEVNULL,
              cwd=None, variables=None):
        """Starts a Windows program under wine; ended at tear-down. What it
        and Wine say on standard error goes to a file of its own, kept
        with the scenario's evidence, whose path is process.stderr_path.
        variables are environment variables the program finds set."""
        self.started += 1
        name = os.path.basename(str(arguments[0]).replace("\\", "/"))
        stderr_path = os.path.join(self.directory,
                                   f"stderr-{self.started}-{name}.txt")
        with open(stderr_path, "wb") as stderr:
            process = subprocess.Popen(
                [*wine_command("wine"), *map(as_bytes, arguments)],
                env={**self.env(lang), **(variables or {})},
                cwd=cwd or self.directory,
                stdin=subprocess.DEVNULL,
                stdout=stdout,
                stderr=stderr,
                preexec_fn=die_with_parent,
            )
        process.stderr_path = stderr_path
        self.processes.append(process)
        return process

    def describe(self, process, lang=JAPANESE):
        """What a program did, for a scenario that gave up on it: running
        or its exit status, the end of its standard error, and the
        desktop's windows."""
        state = ("still running" if process.poll() is None
                 else f"ended with status {process.returncode}")
        with open(process.stderr_path, "rb") as stderr:
            said = stderr.read()[-2000:]
        try:
            windows = "".join(
                f"\n    {readable(title)!r} class {class_name}"
                f"{'' if visible else ' (hidden)'}"
                for title, visible, _, class_name in self.windows(lang))
        except (RuntimeError, TimeoutError) as error:
            windows = f" (not listed: {error})"
        return (f"{process.args[1]!r} {state}; its standard error:"
                f" {readable(said)!r}; the desktop's windows:{windows}")

    def start_with_window(self, arguments, find, what, lang=JAPANESE,
                          seconds=120):
        """Starts a program and waits until find(windows) gives its window,
        which it returns with the process. A program that ends before
        showing it is started once more, and the output says so; one that
        still runs without it after seconds fails the scenario with what
        it did."""
        for attempt in (1, 2):
            process = self.start(arguments, lang=lang)
            deadline = time.monotonic() + seconds
            while process.poll() is None:
                found = find(self.windows(lang))
                if found:
                    return process, found
                if time.monotonic() > deadline:
                    raise TimeoutError(f"gave up after {seconds} s waiting"
                                       f" for {what}: "
                                       + self.describe(process, lang))
                time.sleep(0.5)
            print(f"{what} never appeared (attempt {attempt}): "
                  + self.describe(process, lang), flush=True)
        raise RuntimeError(f"{what} never appeared in two attempts")

    def run(self, arguments, lang=JAPANESE, timeout=60, variables=None):
        """Runs a Windows console program to its end: (status, stdout)."""
        # Output goes to a file, not a pipe: a Wine service started by this
        # program may keep a pipe open long after the program has ended.
        output_path = os.path.join(self.directory, "output.bin")
        with open(output_path, "wb") as output:
            process = self.start(arguments, lang=lang, stdout=output,
                                 variables=variables)
        try:
            status = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutError(f"{arguments} still runs after {timeout} s")
        with open(output_path, "rb") as output:
            return status, output.read()

    def start_tool(self, arguments, lang=JAPANESE, cwd=None, tool=None):
        """Starts the tool (or another build of it) with these arguments
        (bytes or str after the program name); returns the process, its
        console file and start."""
        console_path = os.path.join(self.directory, "console.bin")
        console = open(console_path, "wb")
        started = time.time()
        try:
            process = self.start([tool or self.options.tool, *arguments],
                                 lang=lang, stdout=console, cwd=cwd)
        finally:
            console.close()
        return process, console_path, started

    def run_tool(self, arguments, lang=JAPANESE, timeout=120, cwd=None):
        process, console_path, started = self.start_tool(arguments, lang,
                                                         cwd)
        return self.finish_tool(process, console_path, started, timeout)

    def finish_tool(self, process, console_path, started, timeout=120):
        try:
            status = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise TimeoutError(f"the tool still runs after {timeout} s")
        ended = time.time()
        with open(console_path, "rb") as console:
            return Run(status, console.read(), started, ended)

    def start_fixture(self, windows, exit_on=None, lang=JAPANESE,
                      options=()):
        """Starts window_fixture.exe and waits until its windows exist;
        options are its own, such as ["--hang"]."""
        self.fixtures += 1
        record = f"c:\\e2e\\record{self.fixtures}.txt"
        arguments = [self.options.fixture, record, *options]
        if exit_on:
            arguments += ["--exit-on", exit_on]
        process = self.start(arguments + list(windows), lang=lang)
        fixture = Fixture(process, self.path(record))
        try:
            wait_until(
                lambda: fixture.events() or process.poll() is not None,
                120, "the fixture's windows")
        except TimeoutError as error:
            raise TimeoutError(f"{error}: " + self.describe(process, lang))
        if not fixture.events():
            raise RuntimeError("the fixture's windows never appeared: "
                               + self.describe(process, lang))
        return fixture

    def helper(self, *arguments, lang=JAPANESE, timeout=30):
        return self.run([self.options.helper, *arguments], lang=lang,
                        timeout=timeout)

    def windows(self, lang=JAPANESE):
        """(title bytes, visible, enabled, class) of each top-level window."""
        status, listing = self.helper("list", lang=lang)
        if status != 0:
            raise RuntimeError(f"e2e_helper list ended with {status}")
        result = []
        for line in listing.decode("ascii").splitlines():
            title, visible, enabled, class_name = line.split("\t")
            result.append((bytes.fromhex(title), visible == "1",
                           enabled == "1", class_name))
        return result

    def log(self):
        try:
            with open(self.log_path, "rb") as log:
                return log.read()
        except FileNotFoundError:
            return None


TASK_NAMESPACE = "{http://schemas.microsoft.com/windows/2004/02/mit/task}"


def task_action(definition):
    """The command and arguments of a task definition's action, as Task
    Scheduler joins them into a command line."""
    task = ElementTree.fromstring(definition)
    action = f"{TASK_NAMESPACE}Actions/{TASK_NAMESPACE}Exec/"
    command = task.findtext(action + f"{TASK_NAMESPACE}Command")
    arguments = task.findtext(action + f"{TASK_NAMESPACE}Arguments")
    return command + (" " + arguments if arguments else "")


def start_action(desktop, command_line, variables=None,
                 stdout=subprocess.DEVNULL):
    """Starts a command line from inside Wine as Task Scheduler starts a
    task's action; the process of the program starting it, whose exit
    status is the action's, and whose first line out is "pid N", the
    action's Windows process."""
    units = "".join(f"{ord(unit):04x}" for unit in command_line)
    return desktop.start([desktop.options.helper, "action", units],
                         variables=variables, stdout=stdout)



# What Wine 8 shows of an event a program writes (its ReportEventW is a
# stub, measured): the event's type, category and ID on the channel
# fixme:advapi, then with +eventlog each insert on a line of its own on the
# channel eventlog (an empty insert gives no line), on the program's
# standard error, which a child program shares.
EVENT_DEBUG = "fixme-all,fixme+advapi,+eventlog"
_REPORTED = re.compile(
    rb"fixme:advapi:ReportEventW \([0-9A-Fa-f]+,0x([0-9a-f]{4}),"
    rb"0x[0-9a-f]{4},0x([0-9a-f]{8}),[0-9A-Fa-f]+,0x([0-9a-f]{4}),")
_INSERT = re.compile(rb':eventlog:ReportEventW L"(.*)"\r?$')
_ESCAPED = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}


def wine_text(escaped):
    """A string as Wine's debug output writes it: \\n and the like, and
    every other character outside printable ASCII as four hex digits."""
    text, at = [], 0
    while at < len(escaped):
        unit = escaped[at]
        if unit == "\\" and escaped[at + 1] in _ESCAPED:
            text.append(_ESCAPED[escaped[at + 1]])
            at += 2
        elif unit == "\\":
            text.append(chr(int(escaped[at + 1:at + 5], 16)))
            at += 5
        else:
            text.append(unit)
            at += 1
    return "".join(text)


class Event:
    """An event a program wrote: its ID, type (4 information, 2 warning,
    1 error), how many inserts it had, and those that are not empty."""

    def __init__(self, event_id, event_type, count):
        self.id, self.type, self.count = event_id, event_type, count
        self.inserts = []

    def __repr__(self):
        return (f"Event({self.id}, type {self.type}, {self.count} inserts:"
                f" {self.inserts!r})")


def written_events(stderr_path):
    """The events the programs of one start wrote, in order."""
    events = []
    with open(stderr_path, "rb") as stderr:
        for line in stderr.read().split(b"\n"):
            reported = _REPORTED.search(line)
            inserted = _INSERT.search(line)
            if reported:
                events.append(Event(int(reported[2], 16),
                                    int(reported[1], 16),
                                    int(reported[3], 16)))
            elif inserted and events:
                events[-1].inserts.append(
                    wine_text(inserted[1].decode("ascii")))
    return events


def run_recorded_action(desktop, command_line, variables=None,
                        timeout=120):
    """Runs a command line as Task Scheduler runs a task's action, to its
    end: (its exit status, the events it wrote)."""
    process = start_action(desktop, command_line,
                           {"WINEDEBUG": EVENT_DEBUG, **(variables or {})})
    try:
        status = process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        raise TimeoutError(f"the task's action still runs after {timeout} s: "
                           + desktop.describe(process))
    return status, written_events(process.stderr_path)


class Checks:
    """Collects every failed expectation of a scenario before failing it."""

    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return bool(condition)

    def equal(self, actual, expected, what):
        return self.expect(actual == expected,
                           f"{what}: expected {expected!r}, got {actual!r}")

    def at_least(self, actual, lower, what):
        return self.expect(actual >= lower,
                           f"{what}: expected at least {lower}, got {actual}")


# The log's line formats, in UTF-8 here and turned into CP932 by iconv.
def start_line():
    return sjis("開始しました") + CRLF


def seen_line(title, class_name):
    if isinstance(class_name, str):
        class_name = class_name.encode("ascii")
    return title + sjis(" が見つかりました。クラス名：") + class_name + CRLF


def selected_line(title):
    return sjis("指定したタイトルである ") + title + sjis(" が見つかりました") + CRLF


def failed_line():
    return sjis("WM_CLOSEに失敗しました") + CRLF


def end_line():
    return sjis("終了します") + CRLF


SEEN_PATTERN = None


def is_seen_line(line):
    """Whether a CR LF-ended line has the window-seen shape."""
    global SEEN_PATTERN
    if SEEN_PATTERN is None:
        SEEN_PATTERN = re.compile(
            re.escape(sjis(" が見つかりました。クラス名：")) + b".*\r\n\\Z",
            re.DOTALL)
    return SEEN_PATTERN.search(line) is not None


def log_lines(log):
    """The log cut after every CR LF; an unfinished last line stays whole."""
    lines = []
    start = 0
    while True:
        end = log.find(CRLF, start)
        if end < 0:
            break
        lines.append(log[start:end + 2])
        start = end + 2
    if start < len(log):
        lines.append(log[start:])
    return lines


def main(argv):
    if len(argv) == 3 and argv[1] == "template":
        make_template(argv[2])
        return 0
    if len(argv) == 3 and argv[1] == "remove-template":
        shutil.rmtree(argv[2], ignore_errors=True)
        return 0
    print(__doc__, file=sys.stderr)
    return 64


if __name__ == "__main__":
    sys.exit(main(sys.argv))
