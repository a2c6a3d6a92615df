"""End-to-end scenarios: tesmarinds.exe against real windows under Wine.

    scenarios.py --list
    scenarios.py --tool EXE --fixture EXE --helper EXE --template DIR
                 --work DIR NAME

Each scenario runs on a desktop of its own (see harness.py). Expected bytes
are written here in UTF-8 and converted to code page 932 by iconv; timing is
only ever checked from below.
"""

import argparse
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time
import traceback
import xml.etree.ElementTree as ElementTree

from harness import (CRLF, ENGLISH, EVENT_DEBUG, SKIPPED, TASK_NAMESPACE,
                     Checks, Desktop, end_line, failed_line, is_seen_line,
                     log_lines, readable, run_recorded_action,
                     runs_here, seen_line, selected_line, sjis, start_action,
                     start_line, task_action, wait_until, window,
                     wine_command, written_events)

# The checkout the scenarios belong to: what they check beside the
# executables (the task definitions) is read from there.
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")

# The tool's fixed pauses, in seconds.
GRACE = 5.0
RETRY = 1.0
SWEEP_PAUSE = 2.0
SWEEPS = 3
# Timestamps are whole milliseconds from two processes' reads of the clock.
CLOCK_SLACK = 0.01

SCENARIOS = {}


def scenario(name, desktop=True, with_temp=True, runs_programs=None):
    """Registers a scenario: given a desktop of its own, or the options
    alone to make what it needs; skipped where this machine cannot run the
    programs under test if it runs them (as every one given a desktop
    does)."""
    def register(function):
        SCENARIOS[name] = (function, desktop, with_temp,
                           desktop if runs_programs is None else runs_programs)
        return function
    return register


def fixture_class(name):
    return "E2e" + name


def selected_prefix():
    return sjis("指定したタイトルである ")


def selected_lines(lines):
    return [line for line in lines if line.startswith(selected_prefix())]


def check_whole_run(checks, run, log):
    """What every accepted run with a log leaves behind."""
    checks.equal(run.status, 0, "exit status")
    checks.equal(run.console, b"", "console output")
    if not checks.expect(log is not None, "no log file was written"):
        return []
    lines = log_lines(log)
    checks.expect(lines[:1] == [start_line()], "the log starts with 開始しました")
    checks.expect(lines[-1:] == [end_line()], "the log ends with 終了します")
    checks.expect(log.endswith(CRLF), "the log's last line is complete")
    return lines


def check_selected_once_and_closed(checks, lines, fixture, key, title,
                                   class_name):
    """A window seen once, selected right after, and closed at the first
    request."""
    seen = seen_line(title, class_name)
    checks.equal(lines.count(seen), 1, f"window-seen lines of {key}")
    if seen in lines:
        at = lines.index(seen)
        checks.equal(lines[at + 1:at + 2], [selected_line(title)],
                     f"the line after {key}'s window-seen line")
    checks.equal([(n, o) for n, _, o in fixture.closes(key)],
                 [(1, "accepted")], f"close requests {key} received")


# --- Wine's own Notepad ----------------------------------------------------

def open_notepad(desktop):
    # Under the Japanese locale Wine's Notepad is titled (無題) - メモ帳;
    # in English it is Untitled - Notepad, the title these scenarios need.
    process, found = desktop.start_with_window(
        ["notepad"], lambda windows: [w for w in windows
                                      if w[3] == "Notepad" and w[1]],
        "Notepad's window", lang=ENGLISH)
    return process, found[0][0]


def notepad_closed_by(desktop, checks, term):
    notepad, title = open_notepad(desktop)
    checks.expect(b"notepad" in title.lower(),
                  f"Notepad's title {title!r} holds its name")
    run = desktop.run_tool([term], lang=ENGLISH)
    lines = check_whole_run(checks, run, desktop.log())
    checks.equal(lines.count(seen_line(title, "Notepad")), 1,
                 "Notepad's window-seen lines (gone after the first sweep)")
    checks.equal(selected_lines(lines), [selected_line(title)],
                 "window-selected lines")
    checks.equal(lines.count(failed_line()), 0, "WM_CLOSE failure lines")
    try:
        notepad.wait(timeout=15)
    except subprocess.TimeoutExpired:
        pass
    checks.equal(notepad.poll(), 0, "Notepad's exit status after the run")
    checks.at_least(run.seconds, SWEEPS * SWEEP_PAUSE + GRACE - CLOCK_SLACK,
                    "seconds the run took")


@scenario("notepad.closed_by_lowercase_term")
def notepad_lowercase(desktop, checks):
    notepad_closed_by(desktop, checks, "notepad")


@scenario("notepad.closed_by_uppercase_term")
def notepad_uppercase(desktop, checks):
    notepad_closed_by(desktop, checks, "NOTEPAD")


@scenario("notepad.left_open_when_title_lacks_term")
def notepad_left_open(desktop, checks):
    notepad, title = open_notepad(desktop)
    run = desktop.run_tool(["wordpad"], lang=ENGLISH)
    lines = check_whole_run(checks, run, desktop.log())
    checks.equal(lines.count(seen_line(title, "Notepad")), SWEEPS,
                 "Notepad's window-seen lines")
    checks.equal(selected_lines(lines), [], "window-selected lines")
    checks.equal(notepad.poll(), None, "Notepad's process after the run")
    checks.expect(any(w[0] == title and w[3] == "Notepad"
                      for w in desktop.windows(lang=ENGLISH)),
                  "Notepad's window is still there")


# --- Argument rejections ---------------------------------------------------

EARLIER_LOG = sjis("開始しました\r\n前の実行の記録\r\n終了します\r\n")

# 2000-01-01 00:00 UTC: given to a file that a run must not touch, since any
# write during the run leaves a time years away from it, however coarse the
# file system's time stamps are.
LONG_AGO_NS = 946_684_800 * 10**9


def date_back(path):
    """Gives path the modification time LONG_AGO_NS and returns it."""
    os.utime(path, ns=(LONG_AGO_NS, LONG_AGO_NS))
    return os.stat(path).st_mtime_ns


def rejected(desktop, checks, arguments, expected_console, what):
    """Runs a rejected command line over an existing log."""
    with open(desktop.log_path, "wb") as log:
        log.write(EARLIER_LOG)
    before = date_back(desktop.log_path)
    run = desktop.run_tool(arguments, timeout=30)
    checks.equal(run.status, 1, f"{what}: exit status")
    checks.equal(run.console, expected_console, f"{what}: console bytes")
    checks.equal(desktop.log(), EARLIER_LOG, f"{what}: the earlier log")
    checks.equal(os.stat(desktop.log_path).st_mtime_ns, before,
                 f"{what}: the earlier log's modification time")


@scenario("arguments.wrong_count_prints_usage")
def arguments_wrong_count(desktop, checks):
    usage = sjis("【ERROR:0X0001】引数の数が間違っています。\r\n"
                 "usage:Tesmarinds <タイトルの一部の文字列>\r\n"
                 "大文字小文字の区別はしません\r\n")
    rejected(desktop, checks, [], usage, "no argument")
    rejected(desktop, checks, ["notepad", "wordpad"], usage, "two arguments")


@scenario("arguments.too_long")
def arguments_too_long(desktop, checks):
    too_long = sjis("【ERROR:0X0002】引数が長すぎます。32文字を超えています。")
    rejected(desktop, checks, ["a" * 33], too_long, "33 bytes")
    rejected(desktop, checks, ["%" + "b" * 39], too_long,
             "40 bytes holding %")
    rejected(desktop, checks, ["あ" * 17], too_long,
             "17 double-byte characters")
    # The longest accepted argument starts a real run.
    run = desktop.run_tool(["c" * 32])
    check_whole_run(checks, run, desktop.log())


@scenario("arguments.forbidden_bytes")
def arguments_forbidden_bytes(desktop, checks):
    forbidden = sjis("【ERROR:0X0003】引数に % あるいは \\ が含まれます。")
    checks.equal(sjis("ソ"), b"\x83\x5c", "ソ in code page 932")
    rejected(desktop, checks, ["%"], forbidden, "a percent sign")
    rejected(desktop, checks, ["\\"], forbidden, "a backslash")
    rejected(desktop, checks, ["ソ".encode("utf-8")], forbidden,
             "ソ typed in UTF-8")
    rejected(desktop, checks, ["note%pad"], forbidden,
             "a percent sign inside")


@scenario("arguments.wildcards_reach_the_tool_unexpanded")
def arguments_wildcards(desktop, checks):
    # Files the C runtime would expand *.txt to, were it asked to.
    here = os.path.join(desktop.directory, "cwd")
    os.makedirs(here)
    for name in ("one.txt", "two.txt"):
        open(os.path.join(here, name), "wb").close()
    title = b"e2e *.txt and ?"
    class_name = fixture_class("Wildcards")
    fixture = desktop.start_fixture([window("stars", title, class_name)])
    run = desktop.run_tool(["*.TXT"], cwd=here)
    lines = check_whole_run(checks, run, desktop.log())
    checks.equal(selected_lines(lines), [selected_line(title)],
                 "window-selected lines")
    checks.equal([(n, o) for n, _, o in fixture.closes("stars")],
                 [(1, "accepted")], "close requests received")


# --- Close requests --------------------------------------------------------

@scenario("close.refused_twice_then_accepted")
def close_refused_twice(desktop, checks):
    title = b"e2e refuser"
    class_name = fixture_class("Refuser")
    fixture = desktop.start_fixture(
        [window("refuser", title, class_name, answer="refuse:2")])
    run = desktop.run_tool(["REFUSER"])
    status, system_text = desktop.helper("message", "0")
    checks.equal(status, 0, "FormatMessageA's status for code 0")
    checks.expect(system_text.endswith(CRLF),
                  f"the system text {system_text!r} ends in CR LF")
    # Under Wine the thread's last error after the pause is 0; the log's
    # text-mode writing turns its closing CR LF into CR CR LF.
    logged_text = system_text.replace(b"\n", CRLF)
    lines = check_whole_run(checks, run, desktop.log())
    expected = [seen_line(title, class_name), selected_line(title),
                logged_text, failed_line(), logged_text, failed_line()]
    at = lines.index(expected[0]) if expected[0] in lines else -1
    checks.equal(lines[at:at + len(expected)] if at >= 0 else None, expected,
                 "the refuser's lines")
    checks.equal(lines.count(failed_line()), 2, "WM_CLOSE failure lines")
    checks.equal(lines.count(seen_line(title, class_name)), 1,
                 "window-seen lines of the refuser (gone after sweep 1)")

    closes = fixture.closes("refuser")
    checks.equal([(n, outcome) for n, _, outcome in closes],
                 [(1, "refused"), (2, "refused"), (3, "accepted")],
                 "close requests the refuser received")
    if len(closes) == 3:
        times = [when for _, when, _ in closes]
        checks.at_least(times[0] - run.started, GRACE - CLOCK_SLACK,
                        "seconds from start to the first request")
        checks.at_least(times[1] - times[0], RETRY - CLOCK_SLACK,
                        "seconds between requests 1 and 2")
        checks.at_least(times[2] - times[1], RETRY - CLOCK_SLACK,
                        "seconds between requests 2 and 3")
    checks.at_least(run.seconds,
                    SWEEPS * SWEEP_PAUSE + GRACE + 2 * RETRY - CLOCK_SLACK,
                    "seconds the run took")


@scenario("close.window_process_exits_during_grace_pause")
def close_process_exits(desktop, checks):
    title = b"e2e leaver"
    class_name = fixture_class("Leaver")
    trigger = "c:\\e2e\\leave"
    fixture = desktop.start_fixture(
        [window("leaver", title, class_name)], exit_on=trigger)
    process, console, started = desktop.start_tool(["leaver"])
    wait_until(lambda: selected_line(title) in log_lines(desktop.log() or b""),
               30, "the leaver's window-selected line")
    open(desktop.path(trigger), "wb").close()
    try:
        fixture.process.wait(timeout=15)
    except subprocess.TimeoutExpired:
        pass
    checks.expect(fixture.exited(), "the fixture left on its trigger")
    run = desktop.finish_tool(process, console, started)
    lines = check_whole_run(checks, run, desktop.log())
    checks.equal(fixture.closes(), [], "close requests the leaver received")
    checks.equal(selected_lines(lines), [selected_line(title)],
                 "window-selected lines")
    checks.equal(lines.count(failed_line()), 0, "WM_CLOSE failure lines")
    checks.equal(lines.count(seen_line(title, class_name)), 1,
                 "window-seen lines of the leaver")


@scenario("close.killed_run_keeps_lines_so_far")
def close_killed_run(desktop, checks):
    title = b"e2e stubborn"
    class_name = fixture_class("Stubborn")
    fixture = desktop.start_fixture(
        [window("stubborn", title, class_name, answer="never")])
    process, console, started = desktop.start_tool(["stubborn"])
    # By the third request the first two refusals have been logged, a second
    # after each; whatever the log holds then must already be in the file.
    wait_until(lambda: len(fixture.closes("stubborn")) >= 3, 40,
               "the third close request")
    # The wine process is the Windows process itself: this is the
    # equivalent of ending it from Task Manager.
    process.kill()
    try:
        process.wait(timeout=15)
    except subprocess.TimeoutExpired:
        checks.expect(False, "the tool's process outlived SIGKILL")
    log = desktop.log() or b""
    lines = log_lines(log)
    checks.expect(log.endswith(CRLF), "the log ends with a whole line")
    checks.expect(lines[:1] == [start_line()], "the log starts with 開始しました")
    checks.equal(lines.count(end_line()), 0, "end lines")
    selected = selected_line(title)
    checks.equal(selected_lines(lines), [selected], "window-selected lines")
    if selected in lines:
        at = lines.index(selected)
        checks.expect(lines[at - 1] == seen_line(title, class_name),
                      "the stubborn window's seen line precedes its selection")
        tail = lines[at + 1:]
        pairs = len(tail) // 2
        checks.equal(len(tail) % 2, 0, "lines after the selection in pairs")
        checks.equal(tail[1::2], [failed_line()] * pairs,
                     "every second line after the selection is the failure")
        refusals = len(fixture.closes("stubborn"))
        checks.expect(2 <= refusals - 1 <= pairs <= refusals,
                      f"{pairs} logged refusals for {refusals} requests")


# --- Which windows are selected --------------------------------------------

@scenario("selection.hidden_and_disabled_never_asked")
def selection_hidden_disabled(desktop, checks):
    windows = {
        "hidden": (b"e2e quiet hidden", {"hidden": True}),
        "disabled": (b"e2e quiet disabled", {"disabled": True}),
        "both": (b"e2e quiet both", {"hidden": True, "disabled": True}),
    }
    fixture = desktop.start_fixture(
        [window(key, title, fixture_class(key.title()), **flags)
         for key, (title, flags) in windows.items()])
    run = desktop.run_tool(["quiet"])
    lines = check_whole_run(checks, run, desktop.log())
    for key, (title, _) in windows.items():
        checks.equal(lines.count(seen_line(title, fixture_class(key.title()))),
                     SWEEPS, f"window-seen lines of the {key} window")
    checks.equal(selected_lines(lines), [], "window-selected lines")
    checks.equal(fixture.closes(), [], "close requests received")
    still_there = {w[0] for w in desktop.windows()}
    for key, (title, _) in windows.items():
        checks.expect(title in still_there, f"the {key} window is still there")
    checks.at_least(run.seconds, SWEEPS * SWEEP_PAUSE - CLOCK_SLACK,
                    "seconds the run took")


@scenario("selection.empty_term_closes_every_visible_enabled_window")
def selection_empty_term(desktop, checks):
    asked = {"first": b"e2e first", "second": b"e2e second", "untitled": b""}
    spared = {"hidden": (b"e2e hidden", {"hidden": True}),
              "disabled": (b"e2e disabled", {"disabled": True})}
    windows = [window(key, title, fixture_class(key.title()))
               for key, title in asked.items()]
    windows += [window(key, title, fixture_class(key.title()), **flags)
                for key, (title, flags) in spared.items()]
    fixture = desktop.start_fixture(windows)
    run = desktop.run_tool([""])
    lines = check_whole_run(checks, run, desktop.log())
    selected = selected_lines(lines)
    for key, title in asked.items():
        check_selected_once_and_closed(checks, lines, fixture, key, title,
                                       fixture_class(key.title()))
    checks.expect(selected_line(b"") in selected,
                  "the untitled window's selected line has two blanks")
    for key, (title, _) in spared.items():
        checks.equal(lines.count(seen_line(title, fixture_class(key.title()))),
                     SWEEPS, f"window-seen lines of {key}")
        checks.expect(selected_line(title) not in selected,
                      f"the {key} window is not selected")
        checks.equal(fixture.closes(key), [], f"close requests {key} received")


# --- Titles ----------------------------------------------------------------

@scenario("titles.katakana_term_matches_through_byte_folding")
def titles_katakana(desktop, checks):
    # ア is 83 41 and ヂ is 83 61: folding A-Z byte by byte makes them equal.
    dzi = sjis("ヂ の窓")
    control = sjis("イ の窓")
    checks.equal(dzi[:2], b"\x83\x61", "ヂ in code page 932")
    fixture = desktop.start_fixture(
        [window("dzi", dzi, fixture_class("Dzi")),
         window("control", control, fixture_class("Control"))])
    run = desktop.run_tool(["ア".encode("utf-8")])
    lines = check_whole_run(checks, run, desktop.log())
    checks.equal(selected_lines(lines), [selected_line(dzi)],
                 "window-selected lines (title as read, not folded)")
    checks.equal([(n, o) for n, _, o in fixture.closes("dzi")],
                 [(1, "accepted")], "close requests ヂ received")
    checks.equal(fixture.closes("control"), [], "close requests イ received")
    checks.equal(lines.count(seen_line(control, fixture_class("Control"))),
                 SWEEPS, "window-seen lines of イ")


@scenario("titles.fullwidth_letter_not_folded")
def titles_fullwidth(desktop, checks):
    upper = sjis("Ａ の窓")
    lower = sjis("ａ の窓")
    fixture = desktop.start_fixture(
        [window("upper", upper, fixture_class("Upper")),
         window("lower", lower, fixture_class("Lower"))])
    run = desktop.run_tool(["ａ".encode("utf-8")])
    lines = check_whole_run(checks, run, desktop.log())
    checks.equal(selected_lines(lines), [selected_line(lower)],
                 "window-selected lines")
    checks.equal(fixture.closes("upper"), [], "close requests Ａ received")
    checks.equal([(n, o) for n, _, o in fixture.closes("lower")],
                 [(1, "accepted")], "close requests ａ received")
    checks.equal(lines.count(seen_line(upper, fixture_class("Upper"))),
                 SWEEPS, "window-seen lines of Ａ")


LONGEST_TITLE = b"e2e long " + b"=" * 1011 + b"pct"


@scenario("titles.format_marks_and_longest_title_logged_literally")
def titles_literal(desktop, checks):
    titles = {"percent_s": b"e2e %s pct", "percent_n": b"e2e %n%n pct",
              "doubled": b"e2e %% pct 100%", "longest": LONGEST_TITLE}
    checks.equal(len(LONGEST_TITLE), 1023, "bytes in the longest title")
    fixture = desktop.start_fixture(
        [window(key, title, fixture_class(key.title().replace("_", "")))
         for key, title in titles.items()])
    listed = {w[0] for w in desktop.windows()}
    checks.expect(LONGEST_TITLE in listed,
                  "Wine keeps the whole 1023-byte title (fixture check)")
    run = desktop.run_tool(["PCT"])
    lines = check_whole_run(checks, run, desktop.log())
    # The tool compares whole titles, so the term at the far end of the
    # longest one is found too.
    for key, title in titles.items():
        check_selected_once_and_closed(
            checks, lines, fixture, key, title,
            fixture_class(key.title().replace("_", "")))


# --- Any code page ---------------------------------------------------------

def wide_window(window_id, title, class_name, answer="accept"):
    """A Unicode window whose title, given in UTF-8 here, is set in UTF-16,
    so that no code page need hold it."""
    return ",".join([f"id={window_id}",
                     "wtitle=" + title.encode("utf-16-le").hex(),
                     "class=" + class_name, "answer=" + answer])


@scenario("titles.japanese_term_on_any_code_page")
def titles_any_code_page(desktop, checks):
    """On a PC whose code page is not 932 (Wine under C.UTF-8 has 1252),
    the term and the titles are still compared, and logged, in Shift_JIS."""
    titles = {"sales": "売上 report", "totals": "集計 report",
              "korean": "한국 report"}
    fixture = desktop.start_fixture(
        [wide_window(key, title, fixture_class(key.title()))
         for key, title in titles.items()], lang=ENGLISH)
    run = desktop.run_tool(["売上"], lang=ENGLISH)
    lines = check_whole_run(checks, run, desktop.log())
    logged = {"sales": sjis("売上 report"), "totals": sjis("集計 report"),
              "korean": b"?? report"}
    check_selected_once_and_closed(checks, lines, fixture, "sales",
                                   logged["sales"], fixture_class("Sales"))
    for key in ("totals", "korean"):
        checks.equal(lines.count(seen_line(logged[key],
                                           fixture_class(key.title()))),
                     SWEEPS, f"the {key} window's found lines, in Shift_JIS")
        checks.equal(fixture.closes(key), [],
                     f"close requests the {key} window received")


@scenario("titles.outside_shift_jis_logged_as_the_narrow_functions_give_them")
def titles_outside_shift_jis(desktop, checks):
    """Under a Japanese code page the tool's titles are byte for byte what
    GetWindowTextA gives: best-fit and '?' replacements, and a title longer
    than 1023 bytes cut at its 1023rd."""
    titles = {"latin": "Café naïve ¥100", "korean": "한국 memo",
              "emoji": "😀 memo", "marks": "～ 〜 − ¦ memo",
              "long": "あ" * 600}
    desktop.start_fixture(
        [wide_window(key, title, fixture_class(key.title()), answer="stay")
         for key, title in titles.items()])
    narrow = {w[3]: w[0] for w in desktop.windows()}
    run = desktop.run_tool(["no such window"])
    lines = check_whole_run(checks, run, desktop.log())
    for key in titles:
        class_name = fixture_class(key.title())
        title = narrow.get(class_name)
        if checks.expect(title is not None, f"GetWindowTextA read {key}"):
            checks.equal(lines.count(seen_line(title, class_name)), SWEEPS,
                         f"found lines of {key} as GetWindowTextA gives it"
                         f" ({title[:40]!r})")
    checks.equal(len(narrow.get(fixture_class("Long"), b"")), 1023,
                 "bytes GetWindowTextA gives of 600 Japanese characters")


@scenario("arguments.checked_in_shift_jis_on_any_code_page")
def arguments_any_code_page(desktop, checks):
    """The term is taken in UTF-16 and checked in Shift_JIS under code page
    1252 too: ソ still ends in a backslash byte, 17 Japanese characters are
    still 34 bytes. Messages written to a pipe are the same bytes as to a
    file."""
    forbidden = sjis("【ERROR:0X0003】引数に % あるいは \\ が含まれます。")
    too_long = sjis("【ERROR:0X0002】引数が長すぎます。32文字を超えています。")
    for term, expected, what in (("ソフト", forbidden, "ソ"),
                                 ("あ" * 17, too_long, "17 characters")):
        run = desktop.run_tool([term], lang=ENGLISH, timeout=30)
        checks.equal(run.status, 1, f"{what}: exit status")
        checks.equal(run.console, expected, f"{what}: console bytes")
    process = subprocess.Popen(
        [*wine_command("wine"), desktop.options.tool, "ソフト".encode()],
        env=desktop.env(ENGLISH), cwd=desktop.directory,
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL)
    desktop.processes.append(process)
    try:
        piped, _ = process.communicate(timeout=60)
    except subprocess.TimeoutExpired:
        raise TimeoutError("the tool's pipe is still open after 60 s")
    checks.equal(piped, forbidden, "console bytes through a pipe")
    checks.equal(desktop.log(), None, "a log after the rejections")


@scenario("console.messages_read_right_on_any_code_page")
def console_any_code_page(desktop, checks):
    """On a console window of code page 437 (Wine under C.UTF-8) the
    tool's messages show as the Japanese text they are: written as text
    through the console, not as Shift_JIS bytes it would misread."""
    e2e = desktop.path("c:\\e2e")
    shutil.copyfile(desktop.options.tool, os.path.join(e2e, "tesmarinds.exe"))
    shutil.copyfile(desktop.options.helper, os.path.join(e2e, "e2e_helper.exe"))
    with open(os.path.join(e2e, "show.bat"), "wb") as batch:
        batch.write(b"@echo off\r\n"
                    b"c:\\e2e\\tesmarinds.exe %1\r\n"
                    b"echo.\r\n"
                    b"c:\\e2e\\e2e_helper.exe screen c:\\e2e\\screen.txt\r\n")
    status, _ = desktop.run(["wineconsole", "cmd", "/c", "c:\\e2e\\show.bat",
                             "ソフト"], lang=ENGLISH)
    checks.equal(status, 0, "wineconsole's exit status")
    try:
        with open(os.path.join(e2e, "screen.txt"), "rb") as screen:
            shown = screen.read().decode("utf-8")
    except FileNotFoundError:
        shown = ""
    checks.expect("【ERROR:0X0003】引数に % あるいは \\ が含まれます。" in shown,
                  f"the console shows the message: {shown!r}")


# --- The activity log ------------------------------------------------------

def stayer(desktop):
    title = b"e2e stayer"
    fixture = desktop.start_fixture(
        [window("stayer", title, fixture_class("Stayer"), answer="stay")])
    return fixture


LOG_FAILED = sjis("c:\\tempへのログの書き込みに失敗しました")


def check_three_sweeps_without_log(checks, run, fixture):
    checks.equal(run.status, 0, "exit status")
    checks.equal(run.console, LOG_FAILED, "console bytes (no line break)")
    closes = fixture.closes("stayer")
    # A window that answers 0 but stays is asked again in every sweep.
    checks.equal([(n, o) for n, _, o in closes],
                 [(1, "stayed"), (2, "stayed"), (3, "stayed")],
                 "close requests, one per sweep")
    times = [when for _, when, _ in closes]
    for earlier, later in zip(times, times[1:]):
        checks.at_least(later - earlier, SWEEP_PAUSE + GRACE - CLOCK_SLACK,
                        "seconds between requests of successive sweeps")
    checks.at_least(run.seconds, SWEEPS * (SWEEP_PAUSE + GRACE) - CLOCK_SLACK,
                    "seconds the run took")


@scenario("log.directory_missing", with_temp=False)
def log_directory_missing(desktop, checks):
    fixture = stayer(desktop)
    run = desktop.run_tool(["stayer"])
    check_three_sweeps_without_log(checks, run, fixture)
    checks.expect(not os.path.exists(os.path.dirname(desktop.log_path)),
                  "c:\\temp was not created")


def hold_log(desktop, checks, held="c:\\temp\\Tesmarind.txt",
             release="c:\\e2e\\release"):
    """Has another process open the log (or the file held) without sharing
    until a file is made at release, returned beside that process."""
    report_path = os.path.join(desktop.directory,
                               release.split("\\")[-1] + "-holder.txt")
    with open(report_path, "wb") as holder_report:
        holder = desktop.start([desktop.options.helper, "hold", held,
                                release], stdout=holder_report)

    def holder_answer():
        with open(report_path, "rb") as answer:
            return answer.read().strip() or holder.poll() is not None
    wait_until(holder_answer, 30, f"the report of {held}'s holder")
    checks.equal(holder_answer(), b"held", f"the report of {held}'s holder")
    return release, holder


@scenario("log.held_by_another_process")
def log_held(desktop, checks):
    with open(desktop.log_path, "wb") as log:
        log.write(EARLIER_LOG)
    before = os.stat(desktop.log_path).st_mtime_ns
    release, holder = hold_log(desktop, checks)
    fixture = stayer(desktop)
    run = desktop.run_tool(["stayer"])
    check_three_sweeps_without_log(checks, run, fixture)
    open(desktop.path(release), "wb").close()
    checks.equal(holder.wait(timeout=15), 0, "the holder's exit status")
    checks.equal(desktop.log(), EARLIER_LOG, "the held file's bytes")
    checks.equal(os.stat(desktop.log_path).st_mtime_ns, before,
                 "the held file's modification time")


@scenario("log.unshared_while_run_lasts")
def log_unshared(desktop, checks):
    desktop.start_fixture(
        [window("bystander", b"e2e bystander", fixture_class("Bystander"))])
    process, console, started = desktop.start_tool(["absent"])
    wait_until(lambda: (desktop.log() or b"").startswith(start_line()), 30,
               "the start line")
    status, answer = desktop.helper("probe", "c:\\temp\\Tesmarind.txt")
    checks.equal((status, answer.strip()), (2, b"error 32"),
                 "opening the log during the run (sharing violation)")
    checks.expect(process.poll() is None,
                  "the run still lasted while the log was probed")
    run = desktop.finish_tool(process, console, started)
    check_whole_run(checks, run, desktop.log())
    status, answer = desktop.helper("probe", "c:\\temp\\Tesmarind.txt")
    checks.equal((status, answer.strip()), (0, b"opened"),
                 "opening the log after the run")


@scenario("log.nothing_selected_has_three_blocks")
def log_three_blocks(desktop, checks):
    ours = [seen_line(b"e2e shape one", fixture_class("ShapeOne")),
            seen_line(b"e2e shape two", fixture_class("ShapeTwo"))]
    fixture = desktop.start_fixture(
        [window("one", b"e2e shape one", fixture_class("ShapeOne")),
         window("two", b"e2e shape two", fixture_class("ShapeTwo"))])
    # An accepted run starts the log afresh.
    with open(desktop.log_path, "wb") as log:
        log.write(EARLIER_LOG * 200)
    run = desktop.run_tool(["absent"])
    lines = check_whole_run(checks, run, desktop.log())
    middle = lines[1:-1]
    checks.expect(all(is_seen_line(line) for line in middle),
                  "every line between start and end is a window-seen line")
    size = len(middle) // SWEEPS
    blocks = [middle[i * size:(i + 1) * size] for i in range(SWEEPS)]
    checks.equal(len(middle) % SWEEPS, 0, "window-seen lines divide in three")
    checks.expect(blocks[0] == blocks[1] == blocks[2],
                  "the three sweeps saw the same windows in the same order")
    for block in blocks:
        checks.equal(sorted(line for line in block if line in ours),
                     sorted(ours), "the fixture's windows in each sweep")
    checks.equal(fixture.closes(), [], "close requests received")
    checks.at_least(run.seconds, SWEEPS * SWEEP_PAUSE - CLOCK_SLACK,
                    "seconds the run took")


def check_refused_log(checks, run, what):
    checks.equal(run.status, 0, f"{what}: exit status")
    checks.equal(run.console, LOG_FAILED, f"{what}: console bytes")


@scenario("log.planted_links_destroy_nothing")
def log_planted_links(desktop, checks):
    temp = os.path.dirname(desktop.log_path)
    target_bytes = b"another file's contents\r\n" * 100
    # 表 ends in the byte of a backslash in code page 932, so this name's
    # bytes end in those of \Tesmarind.txt.
    lookalike = "表Tesmarind.txt"
    planted = (("symbolic link", "victim.txt", os.symlink),
               ("symbolic link to " + lookalike, lookalike, os.symlink),
               ("hard link", "victim.txt", os.link))
    for what, name, link in planted:
        target = os.path.join(desktop.drive_c, name)
        with open(target, "wb") as planted_target:
            planted_target.write(target_bytes)
        before = date_back(target)
        link(target, desktop.log_path)
        check_refused_log(checks, desktop.run_tool(["absent"]), what)
        with open(target, "rb") as planted_target:
            checks.equal(planted_target.read(), target_bytes,
                         f"{what}: the target's bytes")
        checks.equal(os.stat(target).st_mtime_ns, before,
                     f"{what}: the target's modification time")
        os.remove(desktop.log_path)

    # A link to nothing must not make the tool create its target.
    missing = os.path.join(desktop.drive_c, "never-created.txt")
    os.symlink(missing, desktop.log_path)
    check_refused_log(checks, desktop.run_tool(["absent"]), "dangling link")
    checks.expect(not os.path.lexists(missing),
                  "the dangling link's target was not created")
    checks.expect(os.path.islink(desktop.log_path),
                  "the dangling link is left as it was")
    os.remove(desktop.log_path)

    os.mkdir(desktop.log_path)
    check_refused_log(checks, desktop.run_tool(["absent"]), "a folder")
    checks.equal(os.listdir(desktop.log_path), [], "the folder's entries")
    os.rmdir(desktop.log_path)

    # c:\temp kept elsewhere through a link still gets its log there.
    elsewhere = os.path.join(desktop.drive_c, "elsewhere")
    os.rmdir(temp)
    os.makedirs(elsewhere)
    os.symlink(elsewhere, temp)
    run = desktop.run_tool(["absent"])
    check_whole_run(checks, run, desktop.log())
    checks.expect(os.path.isfile(os.path.join(elsewhere, "Tesmarind.txt")),
                  "the log is in the folder c:\\temp leads to")


# --- The run's own console -------------------------------------------------

@scenario("console.own_console_never_closed")
def console_own_console(desktop, checks):
    # wineconsole titles the console it opens with the program's path, so a
    # term taken from the folder's name matches the run's own console.
    term = "ownconsole"
    program = "c:\\ownconsole\\tesmarinds.exe"
    os.makedirs(desktop.path("c:\\ownconsole"))
    shutil.copyfile(desktop.options.tool, desktop.path(program))
    title = b"e2e ownconsole window"
    class_name = fixture_class("OwnConsole")
    fixture = desktop.start_fixture([window("beside", title, class_name)])
    # wineconsole waits for the program and passes its exit status on.
    status, _ = desktop.run(["wineconsole", program, term])
    checks.equal(status, 0, "exit status passed on by wineconsole")
    lines = log_lines(desktop.log() or b"")
    checks.expect(lines[:1] == [start_line()], "the log starts with 開始しました")
    checks.expect(lines[-1:] == [end_line()],
                  "the log ends with 終了します: the run outlived its console's"
                  " sweeps")
    check_selected_once_and_closed(checks, lines, fixture, "beside", title,
                                   class_name)
    checks.equal(selected_lines(lines), [selected_line(title)],
                 "window-selected lines (none for the console)")
    # The console's window may come into being after the first sweep has
    # listed the windows, so it is met in two sweeps or in all three.
    console = seen_line(program.encode("ascii"), "WineConsoleClass")
    consoles = [line for line in lines
                if line.endswith(b"WineConsoleClass" + CRLF)]
    checks.equal(consoles, [console] * len(consoles),
                 "console windows' found lines (the run's own console)")
    checks.expect(len(consoles) in (SWEEPS - 1, SWEEPS),
                  f"the console's found lines, one in each sweep that met"
                  f" it: {len(consoles)}")


# --- The shell, and programs slow or unable to answer ----------------------

@scenario("shell.desktop_and_taskbar_never_asked")
def shell_never_asked(desktop, checks):
    # Wine runs no shell: the fixture makes one of its windows the shell's
    # window, as Explorer's desktop (Program Manager) is on Windows.
    title = b"e2e Program Manager"
    classes = {"desktop": fixture_class("Desktop"),
               "taskbar": "Shell_SecondaryTrayWnd",
               "plain": fixture_class("Plain")}
    fixture = desktop.start_fixture(
        [window(key, title, name) for key, name in classes.items()],
        options=["--shell", "desktop"])
    checks.equal(fixture.events_of("shell"), [["1"]],
                 "SetShellWindow's success for the desktop window")
    run = desktop.run_tool(["manager"])
    lines = check_whole_run(checks, run, desktop.log())
    check_selected_once_and_closed(checks, lines, fixture, "plain", title,
                                   classes["plain"])
    checks.equal(selected_lines(lines), [selected_line(title)],
                 "window-selected lines (the ordinary window's only)")
    for key in ("desktop", "taskbar"):
        checks.equal(fixture.closes(key), [],
                     f"close requests the {key} window received")
        checks.equal(lines.count(seen_line(title, classes[key])), SWEEPS,
                     f"the {key} window's found lines, one a sweep")


def timeout_text(desktop, checks):
    """The system text for 1460 as the log holds it."""
    status, system_text = desktop.helper("message", "1460")
    checks.equal(status, 0, "FormatMessageA's status for code 1460")
    return system_text.replace(b"\n", CRLF)


def failure_blocks(lines, title, class_name, logged_text):
    """How often a window's found and selected lines are followed by the
    system text logged_text and the failure line."""
    block = [seen_line(title, class_name), selected_line(title), logged_text,
             failed_line()]
    return len([at for at in range(len(lines))
                if lines[at:at + len(block)] == block])


@scenario("close.hung_program_logged_once_a_sweep")
def close_hung_program(desktop, checks):
    frozen_title = b"e2e frozen editor"
    frozen_class = fixture_class("Frozen")
    title = b"e2e responsive editor"
    class_name = fixture_class("Responsive")
    # The frozen program reads no message once its window exists, so by the
    # first request, at least 5 s after the run starts, it has been silent
    # for longer than the platform waits before it counts it as hung.
    frozen = desktop.start_fixture(
        [window("frozen", frozen_title, frozen_class)], options=["--hang"])
    responsive = desktop.start_fixture([window("responsive", title,
                                               class_name)])
    logged_text = timeout_text(desktop, checks)
    run = desktop.run_tool(["editor"])
    lines = check_whole_run(checks, run, desktop.log())
    check_selected_once_and_closed(checks, lines, responsive, "responsive",
                                   title, class_name)
    checks.equal(failure_blocks(lines, frozen_title, frozen_class,
                                logged_text), SWEEPS,
                 "the frozen window's found, selected, system text and"
                 " failure lines, once a sweep")
    checks.equal(lines.count(failed_line()), SWEEPS, "WM_CLOSE failure lines")
    checks.expect(frozen.process.poll() is None,
                  "the frozen program is still running")
    checks.at_least(run.seconds, SWEEPS * (SWEEP_PAUSE + GRACE) + GRACE
                    - CLOCK_SLACK, "seconds the run took")


@scenario("close.run_waits_while_a_program_asks_its_user")
def close_prompt_waited_for(desktop, checks):
    # Longer than the 5 s after which a program that reads no message counts
    # as hung: one asking its user keeps reading messages and is waited for.
    prompt = 8.0
    title = b"e2e asking editor"
    class_name = fixture_class("Asking")
    fixture = desktop.start_fixture(
        [window("asker", title, class_name,
                answer=f"prompt:{int(prompt * 1000)}")])
    run = desktop.run_tool(["asking"])
    lines = check_whole_run(checks, run, desktop.log())
    check_selected_once_and_closed(checks, lines, fixture, "asker", title,
                                   class_name)
    checks.equal(lines.count(failed_line()), 0, "WM_CLOSE failure lines")
    asked = fixture.events_of("prompt")
    closes = fixture.closes("asker")
    if checks.expect(len(asked) == 1 and len(closes) == 1,
                     f"one prompt {asked} and one request {closes}"):
        checks.at_least(closes[0][1] - int(asked[0][1]) / 1000.0,
                        prompt - CLOCK_SLACK, "seconds the prompt was open")
    checks.at_least(run.seconds,
                    SWEEPS * SWEEP_PAUSE + GRACE + prompt - CLOCK_SLACK,
                    "seconds the run took")


@scenario("close.program_hanging_while_closing_does_not_hold_the_run")
def close_hanging_while_closing(desktop, checks):
    hanging_title = b"e2e saving editor"
    hanging_class = fixture_class("Saving")
    title = b"e2e responsive editor"
    class_name = fixture_class("Responsive")
    # The responsive program starts first, so the hanging one is in front
    # and asked first.
    responsive = desktop.start_fixture([window("responsive", title,
                                               class_name)])
    hanging = desktop.start_fixture(
        [window("hanging", hanging_title, hanging_class, answer="hang")])
    logged_text = timeout_text(desktop, checks)
    run = desktop.run_tool(["editor"])
    lines = check_whole_run(checks, run, desktop.log())
    check_selected_once_and_closed(checks, lines, responsive, "responsive",
                                   title, class_name)
    checks.equal(failure_blocks(lines, hanging_title, hanging_class,
                                logged_text), SWEEPS,
                 "the hanging window's found, selected, system text and"
                 " failure lines, once a sweep")
    checks.equal([(n, o) for n, _, o in hanging.closes("hanging")],
                 [(1, "hung")], "close requests the hanging window took")
    checks.expect(hanging.process.poll() is None,
                  "the hanging program is still running")


@scenario("close.prompt_nobody_answers_is_given_up")
def close_prompt_given_up(desktop, checks):
    """With the short-limit build: a save prompt left open gives one
    failure after the limit, and no window is asked after it."""
    limit = 20.0
    asking_title = b"e2e unanswered report"
    asking_class = fixture_class("Unanswered")
    later_title = b"e2e unanswered notes"
    later_class = fixture_class("Later")
    later = desktop.start_fixture([window("later", later_title,
                                          later_class)])
    asking = desktop.start_fixture(
        [window("asking", asking_title, asking_class,
                answer="prompt:3600000")])
    logged_text = timeout_text(desktop, checks)
    process, console_path, started = desktop.start_tool(
        ["unanswered"], tool=desktop.options.short_answers_tool)
    run = desktop.finish_tool(process, console_path, started)
    lines = check_whole_run(checks, run, desktop.log())
    checks.equal(selected_lines(lines), [selected_line(asking_title)],
                 "window-selected lines (none after the prompt's)")
    at = lines.index(selected_line(asking_title)) if (
        selected_line(asking_title) in lines) else -1
    checks.equal(lines[at + 1:at + 3], [logged_text, failed_line()],
                 "the lines after the asking window's selected line")
    checks.equal(lines.count(seen_line(later_title, later_class)), SWEEPS,
                 "the later window's found lines, one a sweep")
    checks.equal(later.closes("later"), [], "close requests the later"
                 " window received")
    checks.equal(len(asking.events_of("prompt")), 1, "prompts shown")
    checks.at_least(run.seconds, SWEEPS * SWEEP_PAUSE + GRACE + limit
                    - CLOCK_SLACK, "seconds the run took")


@scenario("shell.system_stand_ins_never_asked")
def shell_stand_ins_never_asked(desktop, checks):
    """A hung program's stand-in and the app hosts' windows are spared by
    their class; a Store app's frame is asked like any window."""
    title = b"e2e Text Input"
    classes = {"ghost": "Ghost", "host": "Windows.UI.Core.CoreWindow",
               "frame": "ApplicationFrameWindow"}
    fixture = desktop.start_fixture(
        [window(key, title, class_name, answer="stay")
         for key, class_name in classes.items()])
    run = desktop.run_tool(["text input"])
    lines = check_whole_run(checks, run, desktop.log())
    checks.equal(selected_lines(lines), [selected_line(title)] * SWEEPS,
                 "window-selected lines (the frame's, once a sweep)")
    checks.equal(len(fixture.closes("frame")), SWEEPS,
                 "close requests the frame received")
    for key in ("ghost", "host"):
        checks.equal(fixture.closes(key), [],
                     f"close requests the {classes[key]} window received")
        checks.equal(lines.count(seen_line(title, classes[key])), SWEEPS,
                     f"the {classes[key]} window's found lines")


# --- The task definition shipped beside the executable ---------------------

TASK_SOURCE = os.path.join(ROOT, "packaging", "tesmarinds-task.xml")


def shipped_task_xml(source, target):
    """The task definition as the release packs it, from source."""
    subprocess.run(["bash", os.path.join(ROOT, "scripts", "task-xml.sh"),
                    source, target], check=True, timeout=30)
    with open(target, "rb") as shipped:
        return shipped.read()


def import_task(desktop, windows_path, name):
    """schtasks /create /xml: its exit status, and whether the task is
    registered."""
    status, output = desktop.run(["schtasks", "/create", "/xml", windows_path,
                                  "/tn", name])
    registered = os.path.isfile(
        desktop.path("c:\\windows\\system32\\tasks\\" + name))
    return status, readable(output).strip(), registered


@scenario("task.definition_imports_with_schtasks")
def task_definition_imports(desktop, checks):
    os.makedirs(desktop.path("c:\\tesmarinds"))
    shipped = shipped_task_xml(
        TASK_SOURCE, desktop.path("c:\\tesmarinds\\tesmarinds-task.xml"))
    status, output, registered = import_task(
        desktop, "c:\\tesmarinds\\tesmarinds-task.xml", "tesmarinds")
    checks.equal(status, 0, f"schtasks importing the task ({output})")
    checks.expect(registered, "the task is registered")

    # Unless a malformed copy fails, the import above proves nothing. It has
    # a mismatched closing tag rather than being cut short: Wine's schtasks
    # can spin for ever on a cut one.
    with open(TASK_SOURCE, encoding="utf-8") as source:
        source_text = source.read()
    broken_source = os.path.join(desktop.directory, "broken-task.xml")
    with open(broken_source, "w", encoding="utf-8") as broken:
        broken.write(source_text.replace("</Settings>", "</Setting>", 1))
    shipped_task_xml(broken_source,
                     desktop.path("c:\\tesmarinds\\broken-task.xml"))
    status, output, registered = import_task(
        desktop, "c:\\tesmarinds\\broken-task.xml", "broken")
    checks.equal(status, 1, f"schtasks importing a malformed copy ({output})")
    checks.expect(not registered, "the malformed copy is not registered")

    # What schtasks reads: UTF-16LE after its byte order mark, declared so,
    # CR LF line ends, and otherwise the text kept in the repository.
    checks.equal(shipped[:2], b"\xff\xfe", "the byte order mark")
    _, _, body = source_text.partition("\n")
    expected = ('<?xml version="1.0" encoding="UTF-16"?>\n' + body).replace(
        "\n", "\r\n")
    checks.expect(shipped[2:] == expected.encode("utf-16-le"),
                  "the shipped text is the repository's in UTF-16LE with"
                  " CR LF")
    try:
        task = ElementTree.fromstring(shipped)
    except ElementTree.ParseError as error:
        checks.expect(False, f"the shipped task parses: {error}")
        return
    exec_action = f"{TASK_NAMESPACE}Actions/{TASK_NAMESPACE}Exec/"
    checks.equal(task.findtext(exec_action + f"{TASK_NAMESPACE}Command"),
                 "C:\\tesmarinds\\tesmarinds-task.exe",
                 "the program the task runs")
    checks.equal(task.findtext(exec_action + f"{TASK_NAMESPACE}Arguments"),
                 '""', "the term the task gives it (none until edited)")
    checks.equal(task.findtext(exec_action +
                               f"{TASK_NAMESPACE}WorkingDirectory"),
                 "C:\\tesmarinds", "the task's working directory")
    principal = f"{TASK_NAMESPACE}Principals/{TASK_NAMESPACE}Principal/"
    checks.equal(task.findtext(principal + f"{TASK_NAMESPACE}LogonType"),
                 "InteractiveToken", "runs only while the user is logged on")
    checks.equal(task.find(principal + f"{TASK_NAMESPACE}UserId"), None,
                 "no fixed account: the task is the importing user's")

    # The term written into the definition, which is UTF-16, reaches the
    # tool from the task's arguments: no batch file to edit, no registry.
    edited_source = os.path.join(desktop.directory, "edited-task.xml")
    with open(edited_source, "w", encoding="utf-8") as edited:
        edited.write(source_text.replace("<Arguments>\"\"</Arguments>",
                                         "<Arguments>\"売上 集計\"</Arguments>"))
    edited = shipped_task_xml(edited_source,
                              desktop.path("c:\\tesmarinds\\edited.xml"))
    for program, name in ((desktop.options.tool, "tesmarinds.exe"),
                          (desktop.options.runner, "tesmarinds-task.exe")):
        shutil.copyfile(program, desktop.path("c:\\tesmarinds\\" + name))
    title = sjis("e2e 売上 集計 report")
    class_name = fixture_class("Summary")
    fixture = desktop.start_fixture([
        window("summary", title, class_name),
        window("sales", sjis("e2e 売上 report"), fixture_class("Sales"))])
    status, events = run_recorded_action(desktop, task_action(edited))
    checks.equal(status, 0, "the task's exit status")
    kept = check_recorded_run(checks, desktop, events, 0,
                              "最後まで実行しました。", term="売上 集計")
    check_selected_once_and_closed(checks, log_lines(kept or b""),
                                   fixture, "summary", title, class_name)
    checks.equal(fixture.closes("sales"), [],
                 "close requests to the window with part of the term")



@scenario("task.ending_the_runner_ends_its_run")
def task_ending_the_runner(desktop, checks):
    """A tool still running at the runner's bound (shortened here through
    the variable the runner reads for it) is ended with its job, and the run
    ends 4 saying so; ending tesmarinds-task.exe as Task Scheduler ends a
    task ends the tool it started. Either way a window refusing every
    request is asked no more."""
    os.makedirs(desktop.path("c:\\tesmarinds"))
    for program, name in ((desktop.options.tool, "tesmarinds.exe"),
                          (desktop.options.runner, "tesmarinds-task.exe")):
        shutil.copyfile(program, desktop.path("c:\\tesmarinds\\" + name))
    title = b"e2e ended task refuses"
    fixture = desktop.start_fixture(
        [window("refuses", title, fixture_class("Refuses"), answer="never")])
    status, events = run_recorded_action(
        desktop, '"C:\\tesmarinds\\tesmarinds-task.exe" "ended task"',
        {"TESMARINDS_RUN_SECONDS": "12"})
    asked = len(fixture.closes("refuses"))
    checks.at_least(asked, 2, "close requests before the bound")
    time.sleep(4)
    checks.equal(len(fixture.closes("refuses")), asked,
                 "close requests once the bound ended the tool")
    checks.equal((status, [event.id for event in events]),
                 (4, [RUN_STARTED, RUN_ENDED + 4]),
                 f"the run ended at its bound: status and events {events}")
    checks.expect(events[-1:] and events[-1].inserts[2].startswith(
                      "tesmarinds が 12 秒たっても終わらなかったため、止めました。"),
                  f"its note: {events[-1:]}")

    action = start_action(
        desktop, '"C:\\tesmarinds\\tesmarinds-task.exe" "ended task"',
        {"WINEDEBUG": EVENT_DEBUG}, stdout=subprocess.PIPE)
    pid = action.stdout.readline().decode("ascii").split()[-1]
    wait_until(lambda: len(fixture.closes("refuses")) >= asked + 2, 40,
               "the second close request of the second run")
    killer = desktop.start(["taskkill", "/f", "/pid", pid])
    checks.equal(killer.wait(timeout=60), 0, "taskkill's exit status")
    action.wait(timeout=60)
    asked = len(fixture.closes("refuses"))
    # A tool still running asks every second.
    time.sleep(4)
    checks.equal(len(fixture.closes("refuses")), asked,
                 "close requests once the runner was ended")
    checks.expect(end_line() not in log_lines(desktop.log() or b""),
                  "the run ended before its end line")
    # What the next morning's query finds of it: a start without an end.
    checks.equal([event.id for event in written_events(action.stderr_path)],
                 [RUN_STARTED], "the events of a run ended from outside")

# The runner's events: a run's start, and its end with the status added.
RUN_STARTED = 1000
RUN_ENDED = 1100
MESSAGES_SOURCE = os.path.join(ROOT, "src", "task", "messages.mc")
LANGUAGES = {"English": 0x409, "Japanese": 0x411}


def message_texts():
    """{(id, language): text} of the runner's message table as its source
    writes it and FormatMessageW gives it, inserts %n given as <n>: lines
    joined by CR LF, the last one too unless %0 ends the text."""
    texts, number, language, lines = {}, None, None, None
    with open(MESSAGES_SOURCE, encoding="utf-8") as source:
        for line in source.read().splitlines():
            if lines is not None:
                if line != ".":
                    lines.append(line)
                    continue
                text = "".join(part + "\r\n" for part in lines)
                text = text.split("%0")[0]
                text = re.sub(r"%([1-9])", r"<\1>", text).replace("%%", "%")
                texts[(number, LANGUAGES[language])] = text
                lines = None
            elif line.startswith("MessageId="):
                value = line.partition("=")[2]
                number = int(value, 0) if value else number + 1
            elif line.startswith("Language="):
                language, lines = line.partition("=")[2], []
    return texts


COPY_PATH = re.compile(r"C:\\users\\[^\\]+\\AppData\\Local\\tesmarinds\\"
                       r"Tesmarind-\d{8}-\d{6}(-[2-9])?\.txt")


def check_recorded_run(checks, desktop, events, status, note, term=None):
    """One run's two events: its start (with the term, when given) and its
    end with that status, its note holding note. A run that copied its log
    names the copy, which is in the user's own folder and holds the whole
    log, and leaves c:\\temp's log empty. The copy's bytes, or None."""
    ids = [event.id for event in events]
    if not checks.equal(ids, [RUN_STARTED, RUN_ENDED + status],
                        f"the run's events: {events}"):
        return None
    started, ended = events
    if term is not None:
        checks.equal(started.inserts[2], term, "the term its start names")
    checks.expect(note in ended.inserts[2],
                  f"its end's note holds {note!r}: {ended.inserts[2]!r}")
    copies = [insert for insert in ended.inserts if COPY_PATH.fullmatch(insert)]
    if not copies:
        return None
    try:
        with open(desktop.path(copies[0]), "rb") as copy:
            kept = copy.read()
    except FileNotFoundError:
        kept = b""
    checks.expect(kept.endswith(end_line()) or status != 0,
                  f"the copy {copies[0]} is a whole log")
    checks.equal(desktop.log(), b"", "c:\\temp's log once copied")
    return kept


def check_texts_of_every_event_and_note(checks, desktop, runner):
    """Every message of the runner's table in Japanese and in English, as
    its source holds it, rendered with its inserts by FormatMessageW from
    the program loaded as data, as Event Viewer renders an event."""
    expected = message_texts()
    numbers = sorted({number for number, _ in expected})
    status, listing = desktop.helper("texts", runner,
                                     *map(str, numbers))
    checks.equal(status, 0, "e2e_helper texts' exit status")
    rendered = {}
    for line in listing.decode("ascii").splitlines():
        number, language, text = line.split(" ")
        rendered[(int(number), int(language, 16))] = (
            None if text == "none" else
            "".join(chr(int(text[at:at + 4], 16))
                    for at in range(0, len(text), 4)))
    checks.equal(len(expected), 2 * len(numbers),
                 "every message of the source in both languages")
    for key, text in sorted(expected.items()):
        checks.equal(rendered.get(key), text, f"message {key[0]} in"
                     f" 0x{key[1]:x}")


@scenario("task.records_each_run_in_the_event_log")
def task_records_runs(desktop, checks):
    """A per-user task left with <Arguments>""</Arguments> takes the Term
    the registry holds, closes its window, and records the run as a start
    and an end in the event log, with its user, its session, the term and
    where it came from, its note, and the copy of its log, which it keeps
    in the user's own folder, leaving c:\\temp's log empty for the next
    user. Every event and note reads in Japanese and English."""
    os.makedirs(desktop.path("c:\\tesmarinds"))
    for program, name in ((desktop.options.tool, "tesmarinds.exe"),
                          (desktop.options.runner, "tesmarinds-task.exe")):
        shutil.copyfile(program, desktop.path("c:\\tesmarinds\\" + name))
    check_texts_of_every_event_and_note(
        checks, desktop, "c:\\tesmarinds\\tesmarinds-task.exe")
    status, _ = desktop.run(["reg", "add", "HKLM\\SOFTWARE\\tesmarinds",
                             "/v", "Term", "/d", "e2e 記録", "/f",
                             "/reg:64"])
    checks.equal(status, 0, "reg add's exit status")
    title = sjis("e2e 記録 report")
    class_name = fixture_class("Recorded")
    fixture = desktop.start_fixture([window("recorded", title, class_name)])

    status, events = run_recorded_action(
        desktop, '"C:\\tesmarinds\\tesmarinds-task.exe" ""')

    checks.equal(status, 0, "the runner's exit status")
    if not checks.equal([(event.id, event.type, event.count)
                         for event in events],
                        [(RUN_STARTED, 4, 5), (RUN_ENDED, 4, 6)],
                        f"the events written (ID, type, inserts): {events}"):
        return
    started, ended = events
    user, session, _, _, run = started.inserts
    checks.equal(started.inserts[2:4], ["e2e 記録", "package"],
                 "the term and where it came from")
    copy = ended.inserts[4]
    checks.equal(ended.inserts, [user, session,
                                 f"最後まで実行しました。ログのコピー: {copy}",
                                 "0", copy, run],
                 "the end's inserts")
    checks.expect(re.fullmatch(r"C:\\users\\[^\\]+\\AppData\\Local\\"
                               r"tesmarinds\\Tesmarind-\d{8}-\d{6}\.txt", copy),
                  f"the copy is in the user's own folder: {copy}")
    try:
        with open(desktop.path(copy), "rb") as kept:
            lines = log_lines(kept.read())
    except FileNotFoundError:
        lines = []
    checks.expect(lines[-1:] == [end_line()], "the copy is the whole log")
    check_selected_once_and_closed(checks, lines, fixture, "recorded", title,
                                   class_name)
    checks.equal(desktop.log(), b"", "c:\\temp's log once copied")


# --- The executable itself -------------------------------------------------

class PeImage:
    """Just enough of a PE file to read its header, resources and imports."""

    def __init__(self, path):
        with open(path, "rb") as exe:
            self.image = exe.read()
        pe = struct.unpack_from("<I", self.image, 0x3C)[0]
        if self.image[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path} is not a PE image")
        (self.machine, self.sections, self.time_stamp, self.symbol_table,
         self.symbols, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", self.image,
                                                    pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", self.image, optional)[0]
        self.pe32_plus = magic == 0x20B
        self.subsystem, self.dll_characteristics = struct.unpack_from(
            "<HH", self.image, optional + 68)
        self.directories = optional + (112 if self.pe32_plus else 96)
        self.section_table = optional + optional_size

    def offset(self, rva):
        for i in range(self.sections):
            size, address, _, raw = struct.unpack_from(
                "<IIII", self.image, self.section_table + i * 40 + 8)
            if address <= rva < address + max(size, 1):
                return rva - address + raw
        raise ValueError(f"rva {rva:#x} in no section")

    def directory(self, index):
        rva = struct.unpack_from("<I", self.image,
                                 self.directories + index * 8)[0]
        return self.offset(rva)

    def directory_size(self, index):
        return struct.unpack_from("<I", self.image,
                                  self.directories + index * 8 + 4)[0]

    def section_headers(self):
        """(name, characteristics, raw data) of every section.

        A name longer than 8 bytes stands in the header as "/" and its
        offset in the COFF string table, which follows the symbol table.
        """
        strings = self.symbol_table + self.symbols * 18
        headers = []
        for i in range(self.sections):
            header = self.section_table + i * 40
            name = self.image[header:header + 8].rstrip(b"\0")
            raw_size, raw = struct.unpack_from("<II", self.image, header + 16)
            characteristics = struct.unpack_from("<I", self.image,
                                                 header + 36)[0]
            if name.startswith(b"/"):
                if self.symbol_table == 0:
                    raise ValueError(f"section name {name!r} without a "
                                     "string table")
                start = strings + int(name[1:])
                name = self.image[start:self.image.index(b"\0", start)]
            headers.append((name.decode("latin-1"), characteristics,
                            self.image[raw:raw + raw_size]))
        return headers

    def resource(self, type_id, name_id):
        """The bytes of resource type_id/name_id, first language."""
        base = self.directory(2)

        def child(directory, wanted):
            named, numbered = struct.unpack_from("<HH", self.image,
                                                 base + directory + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from(
                    "<II", self.image, base + directory + 16 + i * 8)
                if wanted is None or name == wanted:
                    return target
            raise KeyError(wanted)

        names = child(0, type_id) & 0x7FFFFFFF
        languages = child(names, name_id) & 0x7FFFFFFF
        data = child(languages, None)
        rva, size = struct.unpack_from("<II", self.image, base + data)
        start = self.offset(rva)
        return self.image[start:start + size]

    def imports(self):
        """The names of the DLLs the image imports from."""
        names = []
        at = self.directory(1)
        while True:
            name_rva = struct.unpack_from("<I", self.image, at + 12)[0]
            if name_rva == 0:
                return names
            start = self.offset(name_rva)
            names.append(self.image[start:self.image.index(b"\0", start)]
                         .decode("ascii"))
            at += 20


def version_info(block):
    """VS_VERSIONINFO: the fixed file version and the strings, by name."""
    def utf16_at(start):
        end = start
        while block[end:end + 2] != b"\0\0":
            end += 2
        return block[start:end].decode("utf-16-le"), end + 2

    def aligned(position):
        return (position + 3) & ~3

    def node(start):
        length, value_length, kind = struct.unpack_from("<HHH", block, start)
        key, after_key = utf16_at(start + 6)
        value = aligned(after_key)
        value_size = value_length * 2 if kind == 1 else value_length
        children = aligned(value + value_size)
        return key, start + length, value, value_size, children

    key, end, value, _, children = node(0)
    if key != "VS_VERSION_INFO":
        raise ValueError(f"version resource keyed {key!r}")
    signature, _, file_ms, file_ls = struct.unpack_from("<IIII", block, value)
    if signature != 0xFEEF04BD:
        raise ValueError("no VS_FIXEDFILEINFO")
    fixed = (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF)
    strings = {}

    def walk(start, stop, depth):
        while start < stop:
            key, end, value, size, children = node(start)
            if depth == 2:
                strings[key] = block[value:value + size].decode(
                    "utf-16-le").rstrip("\0")
            elif key != "VarFileInfo":
                walk(children, end, depth + 1)
            start = aligned(end)
    walk(children, end, 0)
    return fixed, strings


# The release's programs: the tool, which reads windows, and the task's
# runner, which reads the registry and shows no console window; what each
# may import and the description Explorer shows of it.
def released_programs(options):
    return [
        (options.tool, {"kernel32.dll", "user32.dll", "msvcrt.dll"},
         "タイトルで指定したウィンドウを閉じる", 3),
        (options.runner, {"kernel32.dll", "advapi32.dll", "msvcrt.dll"},
         "タスクから tesmarinds を実行する", 2),
    ]


@scenario("executable.manifest_requests_as_invoker", desktop=False)
def executable_manifest(options, checks):
    rt_manifest = 24
    for program, _, _, _ in released_programs(options):
        manifest = PeImage(program).resource(rt_manifest, 1)
        root = ElementTree.fromstring(manifest)
        asm_v3 = "{urn:schemas-microsoft-com:asm.v3}"
        levels = root.findall(f".//{asm_v3}requestedExecutionLevel")
        checks.equal(len(levels), 1, f"{program}: requestedExecutionLevel")
        for level in levels:
            checks.equal(level.get("level"), "asInvoker", "execution level")
            checks.equal(level.get("uiAccess"), "false", "uiAccess")


@scenario("executable.version_and_system_imports", desktop=False)
def executable_version(options, checks):
    for program, imports, description, subsystem in released_programs(options):
        check_version_and_imports(options, checks, program, imports,
                                  description, subsystem)


def check_version_and_imports(options, checks, program, imports, description,
                              subsystem):
    """subsystem: 3 for a console program, 2 for one of the Windows
    subsystem, which the system opens no console window for."""
    exe = PeImage(program)
    checks.equal(exe.time_stamp, 0, "the PE time stamp (none, reproducible)")
    checks.equal(exe.subsystem, subsystem, f"{program}: the subsystem")
    checks.expect(set(name.lower() for name in exe.imports()) <= imports,
                  f"imports only system DLLs: {exe.imports()}")
    rt_version = 16
    fixed, strings = version_info(exe.resource(rt_version, 1))
    expected = options.version + ".0"
    checks.equal(".".join(map(str, fixed)), expected, "fixed file version")
    checks.equal(strings.get("FileVersion"), expected, "FileVersion")
    # The version, then the commit built from, as git names it here.
    product = re.fullmatch(r"(\d+\.\d+\.\d+)\+([0-9a-f]{12})(\.dirty)?",
                           strings.get("ProductVersion", ""))
    if checks.expect(product, "ProductVersion is the version, + and a commit:"
                     f" {strings.get('ProductVersion')!r}"):
        checks.equal(product.group(1), options.version,
                     "the version in ProductVersion")
        head = subprocess.run(["git", "-C", ROOT, "rev-parse", "HEAD"],
                              capture_output=True, text=True).stdout
        checks.expect(head.startswith(product.group(2)),
                      f"ProductVersion's commit {product.group(2)} begins"
                      f" the checkout's HEAD {head.strip()}")
    # Against what the file is and what ships beside it, not against the
    # resource script: the executable's own name, and the LICENSE's notice.
    name = os.path.basename(program)
    checks.equal(strings.get("OriginalFilename"), name, "OriginalFilename")
    checks.equal(strings.get("ProductName"), "tesmarinds", "ProductName")
    with open(os.path.join(ROOT, "LICENSE"), encoding="utf-8") as notice_file:
        notices = [line.strip() for line in notice_file
                   if line.startswith("Copyright")]
    checks.equal([strings.get("LegalCopyright")], notices, "LegalCopyright")
    checks.equal(strings.get("FileDescription"), description,
                 "FileDescription")


@scenario("executable.hardened_without_debug_sections", desktop=False)
def executable_hardened(options, checks):
    for program, _, _, _ in released_programs(options):
        check_hardened(checks, PeImage(program))


def check_hardened(checks, exe):
    sections = exe.section_headers()
    names = [name for name, _, _ in sections]
    checks.expect(not [name for name in names if name.startswith(".debug")],
                  f"no debug sections: {names}")
    # COFF symbols are debug information too, one images no longer use.
    checks.equal((exe.symbol_table, exe.symbols), (0, 0),
                 "the COFF symbol table (offset, count)")

    relocs_stripped = 0x0001
    high_entropy_va, dynamic_base, nx_compat = 0x0020, 0x0040, 0x0100
    checks.expect(exe.dll_characteristics & dynamic_base,
                  "DYNAMIC_BASE (ASLR)")
    checks.expect(not exe.characteristics & relocs_stripped and
                  exe.directory_size(5) > 0,
                  "base relocations, without which ASLR cannot move it")
    checks.expect(exe.dll_characteristics & nx_compat, "NX_COMPAT (DEP)")
    if exe.pe32_plus:
        checks.expect(exe.dll_characteristics & high_entropy_va,
                      "HIGH_ENTROPY_VA (64-bit ASLR)")

    # The canary's failure routine ends the process with the fail-fast a
    # stack cookie check failure calls for: mov ecx, 2
    # (FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) and int 29h. The linker takes
    # the routine from the tool's core library only when protected code
    # calls it.
    fail_fast = bytes([0xB9, 2, 0, 0, 0, 0xCD, 0x29])
    execute = 0x20000000
    code = b"".join(data for _, characteristics, data in sections
                    if characteristics & execute)
    checks.at_least(code.count(fail_fast), 1,
                    "stack cookie fail-fasts in the code")


# --- Running one scenario --------------------------------------------------

def report(directory):
    """Shows what a failed scenario left behind."""
    for name in sorted(os.listdir(directory)):
        path = os.path.join(directory, name)
        if os.path.isdir(path):
            for inner in sorted(os.listdir(path)):
                show(os.path.join(path, inner), f"{name}/{inner}")
        elif name != "prefix":
            show(path, name)


def show(path, label):
    """A text file's lines; a binary one (a package, a program: any NUL
    byte outside UTF-16 text) only by its name and size."""
    with open(path, "rb") as evidence:
        data = evidence.read()
    if data.startswith(b"\xff\xfe"):
        text = data[2:].decode("utf-16-le", errors="backslashreplace")
    elif b"\0" in data:
        print(f"--- {label} ({len(data)} bytes, not text)")
        return
    else:
        text = readable(data)
    print(f"--- {label} ({len(data)} bytes)")
    for line in text.split("\n"):
        print("   ", line.rstrip("\r"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", action="store_true")
    for name in ("tool", "runner", "short-answers-tool", "fixture", "helper",
                 "template", "work", "packages"):
        parser.add_argument("--" + name)
    parser.add_argument("--version", help="the version the tool carries")
    parser.add_argument("name", nargs="?")
    options = parser.parse_args()
    # Programs start in their desktop's directory, not in ctest's.
    for name in ("tool", "runner", "short_answers_tool", "fixture", "helper",
                 "template", "work", "packages"):
        if getattr(options, name):
            setattr(options, name, os.path.abspath(getattr(options, name)))
    if options.list:
        print("\n".join(SCENARIOS))
        return 0
    if options.name not in SCENARIOS:
        parser.error(f"unknown scenario {options.name!r}")
    function, needs_desktop, with_temp, runs_programs = SCENARIOS[options.name]
    if runs_programs and not runs_here(options.tool):
        print("SKIPPED: this machine's kernel runs no 32-bit programs, so "
              "Wine cannot run the 32-bit executable here")
        return SKIPPED

    def out_of_time(signum, frame):
        raise TimeoutError("the scenario ran out of time")
    # Below ctest's own limit, so tear-down still runs.
    signal.signal(signal.SIGALRM, out_of_time)
    signal.alarm(180)

    checks = Checks()
    desktop = Desktop(options.name, options, with_temp)
    try:
        if not needs_desktop:
            function(options, checks)
        else:
            with desktop:
                function(desktop, checks)
    except Exception:
        traceback.print_exc()
        checks.failures.append("the scenario did not run to its end")
    finally:
        signal.alarm(0)
    if checks.failures and needs_desktop and os.path.isdir(desktop.directory):
        report(desktop.directory)
    for failure in checks.failures:
        print("FAILED:", failure)
    return 1 if checks.failures else 0


# The packages' scenarios register in SCENARIOS too. They import this module by name, which run as a script is __main__.
sys.modules.setdefault("scenarios", sys.modules[__name__])
import package_scenarios  # noqa: E402,F401

if __name__ == "__main__":
    sys.exit(main())
