#!/usr/bin/env python3
"""The results script, packaging/tesmarinds-results.ps1, run by PowerShell 7
on the records made for each case: the tesmarinds events of the PC's
Application log, which a stand-in Get-WinEvent gives the script (PowerShell 7
on Linux has none), and the history 1.4.0 and 1.5.0 kept, as they wrote it
(Shift_JIS, CR LF); its line or table, its exit status and its CSV file. Each
history is held open for appending while the script reads it, as a 1.5.0 run
may hold it (on Windows only does that test the script's sharing). The Windows
Event Forwarding subscription shipped beside the script is checked here too.

Usage: results_script_test.py [PWSH]  (PWSH defaults to ~/.dotnet/tools/pwsh)

Today is TODAY, a Monday, for the script too (a stand-in Get-Date), and days
are written relative to it: D1 is yesterday, D2 the day before, and so on; H1
is D1 as -Day and -Holiday take it.

Other tests run the script on events with run_results_script().
"""

import collections
import concurrent.futures
import datetime
import json
import os
import re
import socket
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRIPT = os.path.join(ROOT, "packaging", "tesmarinds-results.ps1")
SUBSCRIPTION = os.path.join(ROOT, "packaging", "tesmarinds-subscription.xml")
PWSH = os.path.expanduser("~/.dotnet/tools/pwsh")
# What Intune Remediations keep of a detection script's output, the line's
# CR LF counted.
OUTPUT_LIMIT = 2048
CSV_HEADER = '"PC","Date","Time","User","Status","Note"'
COPY = "Tesmarind-20261208-180012.txt"
DONE = "最後まで実行しました。コピー: " + COPY
WAITED_TOO_LONG = "ほかの実行かプロセスが、3600 秒待っても終わりませんでした。"
# A Monday: yesterday and the day before are the weekend.
TODAY = datetime.date(2026, 12, 14)

# Get-WinEvent as the results script calls it, on the events of the file
# named first: {"<PC, empty for this one>": [[time, id, [inserts]], ...], or
# null where the source was never registered}. Get-Date answers the day
# named second, at 09:00, when one is.
STAND_IN = r"""
param([string]$EventsFile, [string]$Today)
$global:StandInLogs =
    Get-Content -Raw -LiteralPath $EventsFile | ConvertFrom-Json -AsHashtable
if ($Today) {
    $global:StandInToday =
        [datetime]::ParseExact($Today, 'yyyy-MM-dd', $null).AddHours(9)
    function global:Get-Date {
        if ($args.Count) {
            return Microsoft.PowerShell.Utility\Get-Date @args
        }
        $global:StandInToday
    }
}
function global:New-StandInError([string]$Text, [string]$Id, $Target) {
    New-Object Management.Automation.ErrorRecord (
        (New-Object Exception $Text), $Id, 'ObjectNotFound', $Target)
}
function global:Get-WinEvent {
    [CmdletBinding()]
    param([hashtable[]]$FilterHashtable, [string]$LogName,
          [string]$FilterXPath, [string]$ComputerName = '')
    $log = $global:StandInLogs[$ComputerName]
    # A PC whose source was never registered, its events there all the same.
    $registered = $log -isnot [hashtable]
    if (-not $registered) {
        $log = $log.unregistered
    }
    if ($FilterXPath) {
        # As the results script writes it: the provider, IDs and times.
        if ($LogName -ne 'Application' -or
                $FilterXPath -notmatch "Provider\[@Name='tesmarinds'\]") {
            throw "the stand-in Get-WinEvent reads no $LogName $FilterXPath"
        }
        $times = [regex]::Matches($FilterXPath, "@SystemTime[<>]='([^']+)'") |
            ForEach-Object {
                [datetime]::Parse($_.Groups[1].Value, $null, 'RoundtripKind').ToLocalTime()
            }
        $filter = @{
            Id = @([regex]::Matches($FilterXPath, 'EventID=(\d+)') |
                ForEach-Object { [int]$_.Groups[1].Value })
            StartTime = $times[0]; EndTime = $times[1]
        }
        $source = 'tesmarinds'
    } else {
        $filter = $FilterHashtable[0]
        $honoured = 'LogName', 'ProviderName', 'Id', 'StartTime', 'EndTime'
        foreach ($key in $filter.Keys) {
            if ($key -notin $honoured) {
                throw "the stand-in Get-WinEvent honours no $key"
            }
        }
        if ($filter.LogName -ne 'Application') {
            throw 'the stand-in Get-WinEvent holds the Application log alone'
        }
        $source = $filter.ProviderName
    }
    if (-not $FilterXPath -and
            ($null -eq $log -or -not $registered -or $source -ne 'tesmarinds')) {
        # As Windows answers where no such source was registered.
        $text = "There is not an event provider on the $ComputerName" +
            " computer that matches ""$source""."
        $PSCmdlet.WriteError(
            (New-StandInError $text 'NoMatchingProvidersFound' $source))
        return
    }
    $from = $filter.StartTime
    $to = $filter.EndTime
    $found = @(foreach ($entry in $log) {
        $time = [datetime]::ParseExact($entry[0], 'yyyy/MM/dd HH:mm:ss', $null)
        if (($null -eq $filter.Id -or @($filter.Id) -contains $entry[1]) -and
                ($null -eq $from -or $time -ge $from) -and
                ($null -eq $to -or $time -le $to)) {
            [pscustomobject]@{
                TimeCreated = $time; Id = [int]$entry[1]
                ProviderName = 'tesmarinds'
                Properties = @($entry[2] |
                    ForEach-Object { [pscustomobject]@{ Value = $_ } })
            }
        }
    })
    if ($found.Count -eq 0) {
        $text = 'No events were found that match the specified selection' +
            ' criteria.'
        $PSCmdlet.WriteError(
            (New-StandInError $text 'NoMatchingEventsFound' $null))
        return
    }
    # Newest first, as Get-WinEvent reads without -Oldest.
    $found | Sort-Object TimeCreated -Descending
}
"""

# The subscription's query run on one event of each ID around the source's,
# from the source and from another: what it selects.
SUBSCRIPTION_QUERY = (
    "$s = [xml](Get-Content -Raw -LiteralPath '%s');"
    " $q = [xml]$s.Subscription.Query.InnerText;"
    " \"$($q.QueryList.Query.Path) $($q.QueryList.Query.Select.Path)\";"
    " foreach ($p in 'tesmarinds', 'other') { foreach ($id in 990..1110) {"
    " $e = [xml]\"<Event><System><Provider Name='$p'/><EventID>$id</EventID>"
    "</System></Event>\";"
    " if ($e.SelectNodes($q.QueryList.Query.Select.InnerText).Count)"
    " { \"$p $id\" } } }" % SUBSCRIPTION)


def day(back, form="%Y/%m/%d"):
    return (TODAY - datetime.timedelta(days=back)).strftime(form)


# The days the cases name, D0 (today) to D9, and H0 to H9 as yyyy-MM-dd.
DAYS = {f"D{back}": day(back) for back in range(13)}
DAYS.update({f"H{back}": day(back, "%Y-%m-%d") for back in range(13)})


def start(when, user, pid, session="1"):
    """Event 1000: a run began (when: "{D1} 18:00:00")."""
    return (when, 1000, [user, session, "売上 report", "policy", pid])


def end(when, user, pid, status, note=DONE, session="1"):
    """Event 1100 + status: a run ended."""
    return (when, 1100 + status,
            [user, session, note, "0", COPY if status == 0 else "", pid])


# lines: the history (None: no file; "folder": a folder in its place).
# args: after -Path HISTORY; command: a PowerShell line instead, where the
# script is {script} and the history {history}.
# out: the expected output, or a function of it returning what is wrong.
# csv: what here/out/results.csv must hold, byte order mark included.
# events: the PC's events (None: the source never registered, as on a PC
# not yet upgraded). remote: {PC: (events, history lines)} for PCs at
# 127.0.0.x, which answer on a port of the test's standing for both of the
# script's ({port}).
class Unregistered(list):
    """A PC's events where the source was never registered (a zip's PC)."""


Case = collections.namedtuple(
    "Case", "name lines args out status command csv events remote",
    defaults=(None, None, None, None))


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
          f"{{D1}} 19:00:14 suzuki 5 {WAITED_TOO_LONG}"],
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
    Case("a Sunday without runs: Saturday's, one not 0",
         ["{D2} 18:00:12 tanaka 4 x"],
         [], "tesmarinds {D2} (the last day with runs; none {D1}):"
             " 1 run, 1 not 0: 18:00:12 tanaka 4\n", 1),
    Case("Friday without a run, then the weekend: missed",
         ["{D4} 18:00:12 tanaka 0 木曜日"],
         [], "tesmarinds {D3}-{D1}: missed (no run; the last day with runs"
             " {D4})\n", 1),
    Case("Friday a holiday given, then the weekend: Thursday read",
         ["{D4} 18:00:12 tanaka 0 木曜日"], ["-Holiday", "{H8},{H3}"],
         "tesmarinds {D4} (the last day with runs; none {D3}-{D1}):"
         " 1 run, 0 not 0: 18:00:12 tanaka 0\n", 0),
    Case("a week of holidays between two weekends: read back past 7 days",
         ["{D10} 18:00:12 tanaka 0 金曜日"], ["-Holiday", "{H7},{H6},{H5},{H4},{H3}"],
         "tesmarinds {D10} (the last day with runs; none {D9}-{D1}):"
         " 1 run, 0 not 0: 18:00:12 tanaka 0\n", 0),
    Case("more runs than Remediations keep", LONG_DAY, [], long_day, 1),
    Case("no event and no history", None, [],
         "tesmarinds {D7}-{D1}: no run recorded (no history {history})\n", 1),
    Case("a folder in the history's place", "folder", [],
         lambda out: None if re.fullmatch(
             r"tesmarinds: history not read, [^\n]+\n", out)
         else "one line saying the history was not read", 1),
    Case("events: a day all 0, each at its start, the history unread",
         ["{D1} 20:00:00 yamada 5 更新の前"], [],
         "tesmarinds {D1}: 2 runs, 0 not 0: 18:00:00 tanaka 0;"
         " 19:00:00 suzuki 0\n", 0,
         events=[start("{D2} 18:00:00", "tanaka", "300"),
                 end("{D2} 18:00:09", "tanaka", "300", 5),
                 start("{D1} 18:00:00", "tanaka", "100"),
                 end("{D1} 18:00:12", "tanaka", "100", 0),
                 start("{D1} 19:00:00", "suzuki", "200"),
                 end("{D1} 19:00:40", "suzuki", "200", 0)]),
    Case("events: a run never ended, ends paired by process, one after"
         " midnight", None, [],
         "tesmarinds {D1}: 3 runs, 2 not 0: 18:00:05 tanaka -;"
         " 23:59:50 suzuki 5; 18:00:00 tanaka 0\n", 1,
         # The second run waits for the first's turn and is stopped.
         events=[start("{D1} 18:00:00", "tanaka", "100"),
                 start("{D1} 18:00:05", "tanaka", "101"),
                 end("{D1} 18:00:20", "tanaka", "100", 0),
                 start("{D1} 23:59:50", "suzuki", "102"),
                 end("{D0} 00:00:20", "suzuki", "102", 5, WAITED_TOO_LONG)]),
    Case("events: an end without its start", None, [],
         "tesmarinds {D1}: 2 runs, 1 not 0: 18:00:30 tanaka 3;"
         " 19:00:00 yamada 0\n", 1,
         events=[end("{D1} 18:00:30", "tanaka", "100", 3,
                     "ログを書けませんでした。"),
                 start("{D1} 19:00:00", "yamada", "101"),
                 end("{D1} 19:00:20", "yamada", "101", 0)]),
    Case("events of a source never registered (a zip's PC), read by name",
         None, [], "tesmarinds {D1}: 1 run, 0 not 0: 18:00:00 tanaka 0\n", 0,
         events=Unregistered([start("{D1} 18:00:00", "tanaka", "100"),
                              end("{D1} 18:00:12", "tanaka", "100", 0)])),
    Case("upgraded today: no event in the days read, the 1.5.0 history read",
         ['{D1} 18:00:12 "Room 2 PC" 5 x'], [],
         'tesmarinds {D1}: 1 run, 1 not 0: 18:00:12 "Room 2 PC" 5\n', 1,
         events=[start("{D0} 08:00:00", "tanaka", "100"),
                 end("{D0} 08:00:10", "tanaka", "100", 0)]),
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
             r"127\.0\.0\.1\s+{D1}\s+\?\s+event log not reached, port 135"
             r" refused; admin share not reached, port 445 refused\s*"
             .format(**DAYS), out)
         else "a table of one row for 127.0.0.1", 1,
         "& {script} -ComputerName ' 127.0.0.1, ,',' ','' | Out-String"
         " -Width 200; exit $LASTEXITCODE"),
    Case("-ComputerName: an upgraded PC's events, a PC's 1.5.0 history, an"
         " upgraded PC without runs", None, [], "", 1,
         "New-Item -ItemType Directory here/out | Out-Null; Set-Location here;"
         " & {script} -ComputerName 127.0.0.2,127.0.0.3,127.0.0.4"
         " -Csv out/results.csv; exit $LASTEXITCODE",
         f'\ufeff{CSV_HEADER}\n'
         f'"127.0.0.2","{{D1}}","18:00:00","tanaka","0","{DONE}"\n'
         '"127.0.0.2","{D1}","19:00:00","suzuki","-",'
         '"started, no end recorded"\n'
         f'"127.0.0.3","{{D1}}","18:00:14","yamada","5","{WAITED_TOO_LONG}"\n'
         '"127.0.0.4","{D1}","","","?","no run recorded"\n',
         remote={"127.0.0.2": ([start("{D1} 18:00:00", "tanaka", "100"),
                                end("{D1} 18:00:12", "tanaka", "100", 0),
                                start("{D1} 19:00:00", "suzuki", "101")],
                               None),
                 "127.0.0.3": (None, ["{D2} 18:00:00 yamada 0 前の日",
                                      "{D1} 18:00:14 yamada 5 "
                                      + WAITED_TOO_LONG]),
                 "127.0.0.4": ([], None)}),
    Case("the Event Forwarding subscription: well-formed, selecting the"
         " source's 1000 and 1100 to 1107 of the Application log", None, [],
         "Application Application\n" + "".join(
             f"tesmarinds {i}\n" for i in [1000] + list(range(1100, 1108))),
         0, SUBSCRIPTION_QUERY.replace("{", "{{").replace("}", "}}")),
]


def events_json(events):
    """The stand-in's form of a PC's events."""
    if events is None:
        return None
    written = [[when.strftime("%Y/%m/%d %H:%M:%S")
                if isinstance(when, datetime.datetime)
                else when.format(**DAYS),
                number, inserts] for when, number, inserts in events]
    return ({"unregistered": written} if isinstance(events, Unregistered)
            else written)


def quoted(word):
    """A word of a PowerShell command: a parameter's name, or a text."""
    if re.fullmatch(r"-\w+", word):
        return word
    return "'" + word.replace("'", "''") + "'"


def script_call(script, arguments):
    return (f"& {quoted(script)} {' '.join(quoted(a) for a in arguments)};"
            " exit $LASTEXITCODE")


def run_powershell(pwsh, folder, command, logs, today):
    """command run by PowerShell 7 in folder once the stand-ins are there:
    logs the events by PC as events_json() gives them, today a datetime.date
    or None for the clock's."""
    stand_in = os.path.join(folder, "stand-in.ps1")
    with open(stand_in, "w", encoding="utf-8") as f:
        f.write(STAND_IN)
    events_file = os.path.join(folder, "events.json")
    with open(events_file, "w", encoding="utf-8") as f:
        json.dump(logs, f, ensure_ascii=False)
    day_given = today.strftime("%Y-%m-%d") if today else ""
    preamble = (f". {quoted(stand_in)} {quoted(events_file)}"
                f" {quoted(day_given)}; ")
    environment = dict(os.environ, NO_COLOR="1",
                       POWERSHELL_TELEMETRY_OPTOUT="1",
                       POWERSHELL_UPDATECHECK="Off")
    return subprocess.run([pwsh, "-NoProfile", "-NonInteractive", "-Command",
                           preamble + command], cwd=folder,
                          capture_output=True, env=environment, timeout=60)


def run_results_script(events, arguments, pwsh=PWSH, today=None):
    """The shipped results script run by PowerShell 7 on one PC's events, as
    a stand-in Get-WinEvent gives them.

    events: None where the source was never registered (a PC not yet
        upgraded), else a list of (time, id, inserts): time a naive
        datetime.datetime of the PC's clock, id the event's ID (1000, 1100
        to 1107), inserts its inserts in order, each a str.
    arguments: the script's arguments, each a str; one of the form -Name
        is a parameter's name ("-Day", "2026-12-08").
    pwsh: PowerShell 7's path.
    today: the datetime.date the script takes for today; None for the
        clock's.
    The history (-Path, unless arguments name one) is a file that does not
    exist. Returns (output, status): what the script printed, decoded from
    UTF-8 with LF line ends, and its exit status."""
    with tempfile.TemporaryDirectory() as folder:
        if "-Path" not in arguments:
            arguments = ["-Path", os.path.join(folder, "none.txt")] + arguments
        done = run_powershell(pwsh, folder, script_call(SCRIPT, arguments),
                              {"": events_json(events)}, today)
    return done.stdout.decode("utf-8").replace("\r\n", "\n"), done.returncode


def write_history(path, lines):
    if lines == "folder":
        os.mkdir(path)
    elif lines is not None:
        text = "".join(line.format(**DAYS) + "\r\n" for line in lines)
        with open(path, "wb") as history:
            history.write(text.encode("cp932"))


def answering(pcs):
    """Sockets listening on one port at each of the PCs' addresses."""
    for _ in range(20):
        listeners = []
        try:
            for pc in pcs:
                listener = socket.socket()
                listeners.append(listener)
                listener.bind((pc, listeners[0].getsockname()[1]
                               if len(listeners) > 1 else 0))
                listener.listen()
            return listeners
        except OSError:
            for listener in listeners:
                listener.close()
    raise OSError(f"no port free at each of {pcs}")


def remote_script(folder, port):
    """A copy of the script reaching the PCs' event log and admin share on
    port."""
    with open(SCRIPT, encoding="ascii") as f:
        text = f.read()
    for name, number in (("EventLogPort", 135), ("SharePort", 445)):
        text, count = re.subn(rf"^\${name} = {number}$",
                              f"${name} = {port}", text, flags=re.M)
        assert count == 1, f"the script names ${name} once"
    copy = os.path.join(folder, "remote.ps1")
    with open(copy, "w", encoding="ascii") as f:
        f.write(text)
    return copy


def run(pwsh, case, folder):
    history = os.path.join(folder, "Tesmarind-history.txt")
    write_history(history, case.lines)
    logs = {"": events_json(case.events)}
    script = SCRIPT
    listeners = []
    port = ""
    if case.remote:
        listeners = answering(list(case.remote))
        port = listeners[0].getsockname()[1]
        script = remote_script(folder, port)
        for pc, (events, lines) in case.remote.items():
            logs[pc] = events_json(events)
            # The admin share's path names a file here on Linux.
            write_history(os.path.join(
                folder, f"\\\\{pc}\\c$\\temp\\Tesmarind-history.txt"), lines)
    if case.command:
        command = case.command.format(script=quoted(script),
                                      history=quoted(history))
    else:
        command = script_call(script, ["-Path", history] + [
            a.format(**DAYS) for a in case.args])
    # A run may be adding its line while the script reads: the file stays
    # open for writing meanwhile.
    held = open(history, "ab") if case.lines not in (None, "folder") else None
    try:
        done = run_powershell(pwsh, folder, command, logs, TODAY)
    finally:
        if held:
            held.close()
        for listener in listeners:
            listener.close()
    out = done.stdout.decode("utf-8").replace("\r\n", "\n")
    fields = dict(history=history, pc=os.uname().nodename.split(".")[0],
                  port=port, **DAYS)
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
