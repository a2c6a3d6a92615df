#!/usr/bin/env python3
"""The results script, packaging/tesmarinds-results.ps1, run by PowerShell 7
on histories made for each case, as the runner writes them (Shift_JIS, CR
LF): its line or table, its exit status and its CSV file. Each history is
held open for appending while the script reads it, as a run may hold it
(on Windows only does that test the script's sharing).

Usage: results_script_test.py [PWSH]  (PWSH defaults to ~/.dotnet/tools/pwsh)

Days are written relative to today, as the script reads them: D1 is
yesterday, D2 the day before, and so on.
"""

import collections
import concurrent.futures
import datetime
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRIPT = os.path.join(ROOT, "packaging", "tesmarinds-results.ps1")
PWSH = os.path.expanduser("~/.dotnet/tools/pwsh")
# What Intune Remediations keep of a detection script's output, the line's
# CR LF counted.
OUTPUT_LIMIT = 2048
CSV_HEADER = '"PC","Date","Time","User","Status","Note"'
DONE = "最後まで実行しました。コピー: Tesmarind-20261208-180012.txt"


def day(back):
    return (datetime.date.today() - datetime.timedelta(days=back)).strftime(
        "%Y/%m/%d")


# The days the cases name, D0 (today) to D9.
DAYS = {f"D{back}": day(back) for back in range(10)}

# lines: the history (None: no file; "folder": a folder in its place).
# args: after -File SCRIPT -Path HISTORY; command: a -Command line instead,
# where the script is {script} and the history {history}.
# out: the expected output, or a function of it returning what is wrong.
# csv: what here/out/results.csv must hold, byte order mark included.
Case = collections.namedtuple(
    "Case", "name lines args out status command csv", defaults=(None, None))


def entry(i):
    """The 120 runs of a long day, 40-character names, two not 0."""
    return (f"18:{i // 60:02}:{i % 60:02}", f"\"Room {i:03} {'x' * 31}\"",
            "5" if i in (7, 50) else "0")


LONG_DAY = ["{D1} %s %s %s n" % entry(i) for i in range(120)]


def long_day(out):
    """The line keeps the runs not 0 first, whole names, and says how many
    more there were, cut where the next run would not fit."""
    entries = [" ".join(entry(i)) for i in
               [7, 50] + [i for i in range(120) if i not in (7, 50)]]
    head = f"tesmarinds {DAYS['D1']}: 120 runs, 2 not 0: "
    line = out.rstrip("\n")
    if "\n" in line or len(line + "\r\n") > OUTPUT_LIMIT or \
            not line.startswith(head):
        return f"one line of at most {OUTPUT_LIMIT} characters from {head!r}"
    shown = line[len(head):].split("; ")
    more = re.fullmatch(r"\+(\d+) more", shown.pop())
    if not more or shown != entries[:len(shown)] or \
            int(more[1]) != len(entries) - len(shown):
        return "whole runs, the runs not 0 first, and how many more"
    one_more = (len(line) - len(more[0]) + len(entries[len(shown)]) + 2
                + len(f"+{int(more[1]) - 1} more"))
    if one_more + 2 <= OUTPUT_LIMIT:
        return "cut only where the next run would not fit"
    return None


CASES = [
    Case("a day all 0",
         ["{D2} 18:00:00 tanaka 2 前の日", f"{{D1}} 18:00:12 tanaka 0 {DONE}",
          "{D1} 19:00:00 suzuki 0 最後まで", "{D0} 18:00:00 tanaka 5 今日"],
         [], "tesmarinds {D1}: 2 runs, 0 not 0: 18:00:12 tanaka 0;"
             " 19:00:00 suzuki 0\n", 0),
    Case("one run not 0, listed first",
         [f"{{D1}} 18:00:12 tanaka 0 {DONE}",
          "{D1} 19:00:14 suzuki 5 ほかの実行かプロセスが、3600 秒待っても"
          "終わりませんでした。"],
         [], "tesmarinds {D1}: 2 runs, 1 not 0: 19:00:14 suzuki 5;"
             " 18:00:12 tanaka 0\n", 1),
    Case("a \"-\" line",
         ["{D1} 18:00:03 tanaka - 前の実行は最後の行を書く前に止められました。"],
         [], "tesmarinds {D1}: 1 run, 1 not 0: 18:00:03 tanaka -\n", 1),
    Case("no run in the 7 days before today",
         ["{D8} 18:00:00 tanaka 0 八日前", "{D0} 18:00:00 tanaka 0 今日"],
         [], "tesmarinds {D7}-{D1}: no run recorded\n", 1),
    Case("users quoted with spaces or empty, as 1.5.0 wrote them",
         ['{D1} 08:00:00 "Guest 2 x" 7 ユーザーがサインインしている',
          '{D1} 18:00:00 "Kiosk - Front" 0 最後まで',
          '{D1} 18:30:00 "Room 2 PC" 0 最後まで',
          "{D1} 19:00:00 yamada 0 最後まで", "{D1} 19:30:00 田中 0 最後まで",
          '{D1} 20:00:00 "" 3 ログ'],
         [], 'tesmarinds {D1}: 6 runs, 2 not 0: 08:00:00 "Guest 2 x" 7;'
             ' 20:00:00 "" 3; 18:00:00 "Kiosk - Front" 0;'
             ' 18:30:00 "Room 2 PC" 0; 19:00:00 yamada 0; 19:30:00 田中 0\n', 1),
    Case("users bare with spaces or empty, as 1.4.0 wrote them, read by"
         " their notes",
         [f"{{D1}} 18:00:00 Kiosk - Front 0 {DONE}",
          "{D1} 18:30:00 Room 2 PC 4 tesmarinds が途中で止められました。",
          f"{{D1}} 19:00:00 Taro Yamada 0 {DONE}",
          "{D1} 19:30:00  3 ログを書けませんでした。",
          "{D1} 20:00:00 Guest 1 - 前の実行のログが「終了します」で終わって"
          "いません（前に実行したユーザー: Kiosk - Front）。"],
         [], 'tesmarinds {D1}: 5 runs, 3 not 0: 18:30:00 "Room 2 PC" 4;'
             ' 19:30:00 "" 3; 20:00:00 "Guest 1" -;'
             ' 18:00:00 "Kiosk - Front" 0; 19:00:00 "Taro Yamada" 0\n', 1),
    Case("-NoNames",
         ["{D1} 18:00:12 tanaka 0 最後まで", '{D1} 19:00:14 "Room 2 PC" 5 x'],
         ["-NoNames"], "tesmarinds {D1}: 2 runs, 1 not 0: 19:00:14 5;"
                       " 18:00:12 0\n", 1),
    Case("-Day with runs at the day's first and last second",
         ["2026/12/07 23:59:59 tanaka 5 前の日", "2026/12/08 00:00:00 tanaka 0 x",
          "2026/12/08 23:59:59 suzuki 0 x", "2026/12/09 00:00:00 suzuki 5 x"],
         ["-Day", "2026-12-08"],
         "tesmarinds 2026/12/08: 2 runs, 0 not 0: 00:00:00 tanaka 0;"
         " 23:59:59 suzuki 0\n", 0),
    Case("-Day written in a regional form",
         ["2026/12/08 18:00:00 tanaka 0 x"], ["-Day", "08/12/2026"],
         "tesmarinds: -Day 08/12/2026 is not a day written yyyy-MM-dd\n", 1),
    Case("a weekend: the last day with runs, said so",
         ["{D6} 18:00:00 suzuki 5 x", "{D3} 18:00:12 tanaka 0 金曜日"],
         [], "tesmarinds {D3} (the last day with runs; none {D2}-{D1}):"
             " 1 run, 0 not 0: 18:00:12 tanaka 0\n", 0),
    Case("a holiday: the day before yesterday",
         ["{D2} 18:00:12 tanaka 4 x"],
         [], "tesmarinds {D2} (the last day with runs; none {D1}):"
             " 1 run, 1 not 0: 18:00:12 tanaka 4\n", 1),
    Case("more runs than Remediations keep", LONG_DAY, [], long_day, 1),
    Case("no history", None, [],
         "tesmarinds {D7}-{D1}: no run recorded (no history {history})\n", 1),
    Case("a folder in the history's place", "folder", [],
         lambda out: None if re.fullmatch(
             r"tesmarinds: history not read, [^\n]+\n", out)
         else "one line saying the history was not read", 1),
    Case("-Csv relative to PowerShell's folder, not the process's",
         [f"{{D1}} 18:00:12 \"Room 2 PC\" 0 {DONE}"], [],
         "tesmarinds {D1}: 1 run, 0 not 0: 18:00:12 \"Room 2 PC\" 0\n", 0,
         "New-Item -ItemType Directory here/out | Out-Null; Set-Location here;"
         " & {script} -Path {history} -Csv out/results.csv; exit $LASTEXITCODE",
         f'\ufeff{CSV_HEADER}\n"{{pc}}","{{D1}}","18:00:12","Room 2 PC","0",'
         f'"{DONE}"\n'),
    Case("-ComputerName with no PC", None, [],
         "tesmarinds: -ComputerName names no PC\n", 1,
         "& {script} -ComputerName (Get-Content /dev/null);"
         " exit $LASTEXITCODE"),
    Case("-ComputerName: a table, names split at commas and trimmed", None,
         [], lambda out: None if re.fullmatch(
             r"\s*PC\s+Date\s+Time\s+User\s+Status\s+Note\s*\n[- ]+\n"
             r"127\.0\.0\.1\s+{D1}\s+\?\s+port 445 refused \(file and printer"
             r" sharing off or blocked\)\s*".format(**DAYS), out)
         else "a table of one row for 127.0.0.1", 1,
         "& {script} -ComputerName ' 127.0.0.1, ,',' ','' | Out-String"
         " -Width 200; exit $LASTEXITCODE"),
]


def write_history(path, lines):
    if lines == "folder":
        os.mkdir(path)
    elif lines is not None:
        text = "".join(line.format(**DAYS) + "\r\n" for line in lines)
        with open(path, "wb") as history:
            history.write(text.encode("cp932"))


def run(pwsh, case, folder):
    history = os.path.join(folder, "Tesmarind-history.txt")
    write_history(history, case.lines)
    if case.command:
        command = case.command.format(script=f"'{SCRIPT}'",
                                      history=f"'{history}'")
        arguments = ["-Command", command]
    else:
        arguments = ["-File", SCRIPT, "-Path", history] + case.args
    environment = dict(os.environ, NO_COLOR="1",
                       POWERSHELL_TELEMETRY_OPTOUT="1",
                       POWERSHELL_UPDATECHECK="Off")
    # A run may be adding its line while the script reads: the file stays
    # open for writing meanwhile.
    held = open(history, "ab") if case.lines not in (None, "folder") else None
    try:
        done = subprocess.run([pwsh, "-NoProfile", "-NonInteractive"]
                              + arguments, cwd=folder, capture_output=True,
                              env=environment, timeout=60)
    finally:
        if held:
            held.close()
    out = done.stdout.decode("utf-8").replace("\r\n", "\n")
    fields = dict(history=history, pc=os.uname().nodename.split(".")[0],
                  **DAYS)
    problems = []
    if case.csv:
        try:
            with open(os.path.join(folder, "here", "out", "results.csv"),
                      "rb") as csv:
                written = csv.read().decode("utf-8").replace("\r\n", "\n")
        except FileNotFoundError:
            written = None
        if written != case.csv.format(**fields):
            problems.append(f"expected the CSV {case.csv.format(**fields)!r},"
                            f" not {written!r}")
    if callable(case.out):
        wrong = case.out(out)
        if wrong:
            problems.append(f"expected {wrong}")
    else:
        expected = case.out.format(**fields)
        if out != expected:
            problems.append(f"expected {expected!r}")
    if done.returncode != case.status:
        problems.append(f"expected exit status {case.status}, not"
                        f" {done.returncode}")
    if problems:
        return (f"{case.name}: " + "; ".join(problems) + f"\n  output:"
                f" {out!r}\n  errors: {done.stderr.decode(errors='replace')}")
    return None


def main():
    pwsh = sys.argv[1] if len(sys.argv) > 1 else PWSH
    with tempfile.TemporaryDirectory() as top:
        folders = []
        for number in range(len(CASES)):
            folders.append(os.path.join(top, str(number)))
            os.mkdir(folders[-1])
        # PowerShell takes a second to start: the cases run side by side.
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count()) as pool:
            failures = [f for f in pool.map(run, [pwsh] * len(CASES), CASES,
                                            folders) if f]
    for failure in failures:
        print(f"FAILED {failure}")
    print(f"results script: {len(CASES) - len(failures)} of {len(CASES)}"
          " cases as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
