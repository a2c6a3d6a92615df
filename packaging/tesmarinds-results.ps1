<#
tesmarinds: the runs of one day, as tesmarinds-task.exe records them in the
Application event log, source tesmarinds:
    1000       a run started: 1 user, 2 session, 3 term, 4 where the term
               came from, 5 the runner's process ID
    1100 + s   it ended with status s (0 to 7): 1 user, 2 session, 3 note,
               4 seconds waited, 5 the copy of the log, 6 process ID
Only the events' time, ID and inserts are read, never their text, so they
read the same in every language and without the source's message file; a
source never registered (a zip's PC) is read by its events' provider name. A
start pairs with the first end after it of the same user, session and
process; a start without one is a run stopped from outside (the task
ended, its time limit, a sign-out) and reads as status "-". An end without
a start (its start could not be written) is a run too. A run's day and
time are its start's. Status 0 is a run that did its job; the guide's
table says what the others mean.

A PC with no tesmarinds event in the days read (not yet upgraded to 2.0.0)
is read from the history 1.4.0 and 1.5.0 kept, c:\temp\Tesmarind-history.txt
(-Path), one line a run in Shift_JIS, its time when the run ended:
    yyyy/MM/dd HH:mm:ss <user> <status> <note>
1.5.0 quotes a user that is empty or holds a space ("Room 2 PC"); 1.4.0
wrote every user bare, so such a line is read where its note can start.

On the PC itself (an Intune Remediations detection script, run as SYSTEM
in 64-bit PowerShell; a script of Configuration Manager's Run Scripts):
    tesmarinds-results.ps1 [-Day yyyy-MM-dd] [-Holiday yyyy-MM-dd,...] [-NoNames]
prints one line and exits 0 when the day has runs and every one ended 0,
else 1:
    tesmarinds 2026/12/08: 2 runs, 1 not 0: 19:00:14 suzuki 5; 18:00:12 tanaka 0
The runs not 0 come first, then those that ended 0; the line stays within
the 2,048 characters Remediations keep, cut between runs ("; +12 more").
It is ASCII but for the users' names, so that it reads the same through
any console code page; -NoNames leaves the names out. Without -Day the day
is yesterday. When yesterday has no run, the last day with runs within the
7 days before today (a day more for each -Holiday day) is read, said so,
if every day since (the skipped days) is a Saturday, a Sunday or a day of
-Holiday:
    tesmarinds 2026/12/04 (the last day with runs; none 2026/12/05-2026/12/06): 1 run, 0 not 0: 18:00:12 tanaka 0
and otherwise the PC missed a run, and exits 1:
    tesmarinds 2026/12/05-2026/12/08: missed (no run; the last day with runs 2026/12/04)
    tesmarinds 2026/12/02-2026/12/08: no run recorded
-Csv writes the day's rows too (below).

Remediations run a detection script without parameters. To leave the
names out or give holidays there, upload a copy with the defaults in
param() below changed, for instance
    [string[]]$Holiday = @('2026-12-29', '2026-12-30', '2026-12-31'),
    [switch]$NoNames = $true
The script is not signed, so its copy runs wherever it does (Remediations'
"Enforce script signature check" off). Run Scripts passes only texts,
integers and values from a list, and warns of the other parameters: a
copy gives it holidays and -NoNames the same way.

For many PCs, from an administrator's PC:
    tesmarinds-results.ps1 -ComputerName PC1,PC2 [-Day yyyy-MM-dd] [-Csv results.csv]
    tesmarinds-results.ps1 -ComputerName (Get-Content pcs.txt)
prints a table of one row a run (PC, Date, Time, User, Status, Note), and
a row of Status "?" for each PC without a run that day or whose records
cannot be read, saying why; -Csv writes the rows to a file instead, as
UTF-8 with a byte order mark, as Excel reads it. The day is yesterday
unless -Day names another. Exits as above, for every PC. Each PC's events
are read over the remote event log (Get-WinEvent -ComputerName): the PC's
firewall must allow "Remote Event Log Management" (the rules of that
group; Microsoft's documentation names it), which Windows leaves off, and
the account running the script must be allowed to read the PC's
Application log (its administrators are). A PC not yet upgraded is read
over its admin share (\\PC\c$), as with 1.5.0; -Path names the history on
each PC.
#>
# Named only: a second name given with a space instead of a comma must not
# be taken for the history's path.
[CmdletBinding(PositionalBinding = $false)]
param(
    [string]$Path = 'c:\temp\Tesmarind-history.txt',
    # yyyy-MM-dd, whatever the PC's regional formats.
    [string]$Day,
    [string[]]$ComputerName,
    [string]$Csv,
    # Days, yyyy-MM-dd, on which no run is expected besides Saturdays and
    # Sundays.
    [string[]]$Holiday = @(),
    [switch]$NoNames
)

$ErrorActionPreference = 'Stop'
$Source = 'tesmarinds'
$StartId = 1000
# An end's ID is this plus the run's status, 0 to 7.
$EndBase = 1100
$EndIds = 1100..1107
# What each status's note starts with, in every version that kept a
# history (1.4.0 and 1.5.0), written as .NET escapes: this file is ASCII.
$NoteStarts = @{
    # ran to the end
    '0' = '\u6700\u5F8C\u307E\u3067'
    # the task's argument; tesmarinds did not accept the term; too long
    '1' = '\u30BF\u30B9\u30AF\u306E\u5F15\u6570\u306B\u306F|tesmarinds \u304C\u30BF\u30A4\u30C8\u30EB|\u30BF\u30A4\u30C8\u30EB\u306E\u4E00\u90E8\u304C\u9577'
    # no term; the term is blank or holds a full-width space; the key's Term is no text
    '2' = '\u9589\u3058\u305F\u3044|\u30BF\u30A4\u30C8\u30EB\u306E\u4E00\u90E8\u306B\u3001|HKLM\\SOFTWARE\\'
    # tesmarinds not started; the log not written; the turn's file unusable
    '3' = 'tesmarinds \u3092\u8D77\u52D5|\u30ED\u30B0\u3092\u66F8\u3051|\u9806\u756A\u306E\u30D5\u30A1\u30A4\u30EB'
    # tesmarinds stopped; the log's last line is not the end line
    '4' = 'tesmarinds \u304C\u9014\u4E2D|\u30ED\u30B0\u306E\u6700\u5F8C\u304C'
    # another run or process did not end
    '5' = '\u307B\u304B\u306E\u5B9F\u884C\u304B'
    # the copy failed
    '6' = '\u30ED\u30B0\u3092\u30B3\u30D4\u30FC'
    # not in a session a user signed in to
    '7' = '\u30E6\u30FC\u30B6\u30FC\u304C\u30B5\u30A4\u30F3\u30A4\u30F3'
    # the run before was stopped
    '-' = '\u524D\u306E\u5B9F\u884C'
}
# One run's line. A bare user ends where a note of its status starts,
# leftmost first; a line whose note is none the runner wrote is read as
# 1.5.0 read it, the user ending at the first space.
$BareUser = ($NoteStarts.Keys | ForEach-Object {
        "(?<status>$([regex]::Escape($_))) (?<note>(?:$($NoteStarts[$_])).*)"
    }) -join '|'
$HistoryLine = '^(?<day>\d{4}/\d\d/\d\d) (?<time>\d\d:\d\d:\d\d) (?:' +
    '"(?<user>[^"]*)" (?<status>[0-7-]) (?<note>.*)' +
    '|(?<user>(?!").*?) (?:' + $BareUser + ')' +
    '|(?<user>[^" ][^ ]*) (?<status>[0-7-]) (?<note>.*))$'
# What Intune Remediations keep of a detection script's output (2,048
# characters), less the line's CR LF.
$OutputLimit = 2046
# A PC that is off leaves the remote event log and the admin share to the
# network's time-out, tens of seconds; their ports get this long.
$ProbeMilliseconds = 2000
# The RPC endpoint mapper, which the remote event log is reached through,
# and the admin share's SMB.
$EventLogPort = 135
$SharePort = 445
# How far back the day with runs is looked for when yesterday has none.
$DaysBack = 7
$Invariant = [Globalization.CultureInfo]::InvariantCulture

function Format-Day([datetime]$Date) {
    # In a .NET format "/" is the culture's separator, but in the invariant one.
    $Date.ToString('yyyy/MM/dd', $Invariant)
}

function Read-Day([string]$Text) {
    $date = [datetime]::MinValue
    if ([datetime]::TryParseExact($Text, 'yyyy-MM-dd', $Invariant, 'None', [ref]$date)) {
        return $date
    }
    $null
}

function Resolve-Here([string]$Name) {
    # .NET takes a relative path from the process's folder, not PowerShell's.
    $ExecutionContext.SessionState.Path.GetUnresolvedProviderPathFromPSPath($Name)
}

function Read-Run([string]$File, [string[]]$Wanted) {
    # Shared for writing too: a 1.5.0 run may be adding its line.
    $stream = [IO.File]::Open($File, 'Open', 'Read', 'ReadWrite')
    $reader = New-Object IO.StreamReader($stream, $ShiftJis)
    try {
        while ($null -ne ($line = $reader.ReadLine())) {
            # A year of other days' lines: the pattern only for the wanted days.
            if ($line.Length -ge 10 -and $Wanted -contains $line.Substring(0, 10) -and
                    $line -match $HistoryLine) {
                [pscustomobject]@{
                    Date = $Matches.day; Time = $Matches.time; User = $Matches.user
                    Status = $Matches.status; Note = $Matches.note
                }
            }
        }
    } finally {
        $reader.Dispose()
    }
}

function Read-Event([string]$Pc, [datetime]$From, [datetime]$To) {
    # Registered is false on a PC that never had the source: not upgraded.
    $filter = @{
        LogName = 'Application'; ProviderName = $Source; Id = @($StartId) + $EndIds
        StartTime = $From; EndTime = $To
    }
    $on = @{}
    if ($Pc) {
        $on.ComputerName = $Pc
    }
    try {
        $found = @(Get-WinEvent -FilterHashtable $filter @on -ErrorAction Stop)
        return [pscustomobject]@{ Registered = $true; Events = $found }
    } catch {
        # What Get-WinEvent says instead of giving nothing.
        if ($_.FullyQualifiedErrorId -like 'NoMatchingEventsFound,*') {
            return [pscustomobject]@{ Registered = $true; Events = @() }
        }
        if ($_.FullyQualifiedErrorId -notlike 'NoMatchingProvidersFound,*') {
            throw
        }
    }
    # A filter naming a provider takes only one registered on the PC, but a
    # source never registered (a zip's PC) still has its events in the log:
    # an XPath query reads them by the name they carry.
    $ids = (@($StartId) + $EndIds | ForEach-Object { "EventID=$_" }) -join ' or '
    $utc = "yyyy-MM-dd'T'HH:mm:ss.fff'Z'"
    $xpath = "*[System[Provider[@Name='$Source'] and ($ids) and TimeCreated[" +
        "@SystemTime>='$($From.ToUniversalTime().ToString($utc, $Invariant))' and " +
        "@SystemTime<='$($To.ToUniversalTime().ToString($utc, $Invariant))']]]"
    try {
        $found = @(Get-WinEvent -LogName Application -FilterXPath $xpath @on -ErrorAction Stop)
        return [pscustomobject]@{ Registered = $true; Events = $found }
    } catch {
        if ($_.FullyQualifiedErrorId -like 'NoMatchingEventsFound,*') {
            return [pscustomobject]@{ Registered = $false; Events = @() }
        }
        throw
    }
}

function Get-EventRun($Events, [string[]]$Wanted) {
    # Paired in the order they were written; at one time, a start first.
    $open = @{}
    $runs = New-Object Collections.ArrayList
    foreach ($record in @($Events | Sort-Object TimeCreated, Id)) {
        $inserts = @($record.Properties | ForEach-Object { "$($_.Value)" })
        if ($record.Id -eq $StartId) {
            $run = [pscustomobject]@{
                At = $record.TimeCreated; User = $inserts[0]; Status = '-'
                Note = 'started, no end recorded'
            }
            # A second start of the same process leaves the first one open.
            $open["$($inserts[0])`n$($inserts[1])`n$($inserts[4])"] = $run
            [void]$runs.Add($run)
            continue
        }
        $key = "$($inserts[0])`n$($inserts[1])`n$($inserts[5])"
        $run = $open[$key]
        if ($run) {
            $open.Remove($key)
        } else {
            $run = [pscustomobject]@{
                At = $record.TimeCreated; User = $inserts[0]; Status = ''; Note = ''
            }
            [void]$runs.Add($run)
        }
        $run.Status = "$($record.Id - $EndBase)"
        $run.Note = $inserts[2]
    }
    foreach ($run in $runs) {
        $date = Format-Day $run.At
        if ($Wanted -contains $date) {
            [pscustomobject]@{
                Date = $date; Time = $run.At.ToString('HH:mm:ss', $Invariant); User = $run.User
                Status = $run.Status; Note = $run.Note
            }
        }
    }
}

function Get-Failure($ErrorRecord) {
    # Named in ASCII, whatever the language of Windows' own messages.
    $e = $ErrorRecord.Exception.GetBaseException()
    if ($e -is [IO.FileNotFoundException] -or $e -is [IO.DirectoryNotFoundException]) {
        return 'no history'
    }
    if ($e -is [UnauthorizedAccessException]) {
        return 'access denied'
    }
    # ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME: the PC answers but shares no c$.
    if ($e.HResult -eq 0x80070035 -or $e.HResult -eq 0x80070043) {
        return 'no admin share'
    }
    # Get-WinEvent's own errors are named by their identifier.
    $id = ($ErrorRecord.FullyQualifiedErrorId -split ',')[0]
    if ($id -match '^\w+$') {
        return $id
    }
    '{0} (0x{1:X8})' -f $e.GetType().Name, $e.HResult
}

function Test-Reach([string]$Pc, [int]$Port) {
    # Empty when the PC answers on the port, else why not.
    $client = New-Object Net.Sockets.TcpClient
    try {
        $attempt = $client.BeginConnect($Pc, $Port, $null, $null)
        if (-not $attempt.AsyncWaitHandle.WaitOne($ProbeMilliseconds)) {
            return "off or unreachable (no answer on port $Port within $($ProbeMilliseconds / 1000) s)"
        }
        $client.EndConnect($attempt)
        return ''
    } catch {
        $e = $_.Exception.GetBaseException()
        if ($e -isnot [Net.Sockets.SocketException]) {
            return "off or unreachable ($(Get-Failure $_))"
        }
        if ($e.SocketErrorCode -eq 'HostNotFound' -or $e.SocketErrorCode -eq 'NoData') {
            return 'name not found'
        }
        if ($e.SocketErrorCode -eq 'ConnectionRefused') {
            return "port $Port refused"
        }
        return "off or unreachable ($($e.SocketErrorCode))"
    } finally {
        $client.Close()
    }
}

function New-Row([string]$Pc, $Run) {
    $user = $Run.User
    if ($NoNames) {
        $user = ''
    }
    [pscustomobject]@{
        PC = $Pc; Date = $Run.Date; Time = $Run.Time; User = $user
        Status = $Run.Status; Note = $Run.Note
    }
}

function New-NoteRow([string]$Pc, [string]$Date, [string]$Note) {
    [pscustomobject]@{ PC = $Pc; Date = $Date; Time = ''; User = ''; Status = '?'; Note = $Note }
}

function Format-Run($Run) {
    if ($NoNames) {
        return "$($Run.Time) $($Run.Status)"
    }
    # As 1.5.0's history writes it: quoted when empty or holding a space.
    $user = $Run.User
    if ($user -eq '' -or $user.Contains(' ')) {
        $user = '"' + $user + '"'
    }
    "$($Run.Time) $user $($Run.Status)"
}

function Limit-Line([string]$Head, [string[]]$Entries) {
    # Whole entries only, with room kept for saying how many did not fit.
    $line = $Head
    $separator = ' '
    for ($i = 0; $i -lt $Entries.Count; $i++) {
        $longest = $OutputLimit
        $after = $Entries.Count - $i - 1
        if ($after -gt 0) {
            $longest -= "; +$after more".Length
        }
        $next = $line + $separator + $Entries[$i]
        if ($next.Length -gt $longest) {
            return $line + $separator + "+$($Entries.Count - $i) more"
        }
        $line = $next
        $separator = '; '
    }
    $line
}

function Format-Count([int]$Count) {
    if ($Count -eq 1) {
        return '1 run'
    }
    "$Count runs"
}

function Format-Span([string[]]$Days) {
    # The days are newest first.
    if ($Days.Count -eq 1) {
        return $Days[0]
    }
    "$($Days[-1])-$($Days[0])"
}

function Write-Csv($Rows, [string]$File) {
    $bom = New-Object Text.UTF8Encoding $true
    [IO.File]::WriteAllLines($File, [string[]]@($Rows | ConvertTo-Csv -NoTypeInformation), $bom)
}

try {
    if ($PSVersionTable.PSEdition -eq 'Core') {
        # PowerShell 7 knows code page 932 once the provider is registered.
        [Text.Encoding]::RegisterProvider([Text.CodePagesEncodingProvider]::Instance)
    }
    $ShiftJis = [Text.Encoding]::GetEncoding(932)

    # "a,b" arrives as one text through powershell -File and Run Scripts.
    $holidays = @()
    foreach ($text in @($Holiday | ForEach-Object { "$_" -split '[,\s]+' } | Where-Object { $_ })) {
        $given = Read-Day $text
        if ($null -eq $given) {
            "tesmarinds: -Holiday $text is not a day written yyyy-MM-dd"
            exit 1
        }
        $holidays += Format-Day $given
    }
    # The days read, newest first: -Day, or yesterday first and the days
    # before it, a day more for each holiday given, so that a long break
    # (New Year, Golden Week) still reaches the last working day.
    if ($Day) {
        $asked = Read-Day $Day
        if ($null -eq $asked) {
            "tesmarinds: -Day $Day is not a day written yyyy-MM-dd"
            exit 1
        }
        $dates = @($asked)
    } else {
        $today = (Get-Date).Date
        $dates = @(1..($DaysBack + $holidays.Count) | ForEach-Object { $today.AddDays(-$_) })
    }
    $days = @($dates | ForEach-Object { Format-Day $_ })
    # A run's end may come after midnight, and an end's start before.
    $from = $dates[-1].AddDays(-1)
    $to = $dates[0].AddDays(2)

    # Checked before any PC is read: a wrong folder would lose the whole run.
    if ($Csv) {
        $Csv = Resolve-Here $Csv
        $folder = [IO.Path]::GetDirectoryName($Csv)
        if (-not [IO.Directory]::Exists($folder)) {
            "tesmarinds: no folder $folder for -Csv"
            exit 1
        }
    }

    if (-not $PSBoundParameters.ContainsKey('ComputerName')) {
        $file = Resolve-Here $Path
        $pc = [Environment]::MachineName
        $runs = @()
        $registered = $false
        $notes = @()
        try {
            $read = Read-Event '' $from $to
            $registered = $read.Registered
            $runs = @(Get-EventRun $read.Events $days)
        } catch {
            $notes += "event log not read, $(Get-Failure $_)"
        }
        $why = ''
        if ($runs.Count -eq 0) {
            try {
                $runs = @(Read-Run $file $days)
            } catch {
                $why = Get-Failure $_
            }
        }
        if ($why -eq 'no history' -and -not $registered) {
            $notes += "no history $file"
        }
        # The days are yyyy/MM/dd: the latest in order is yesterday or the last with runs.
        $day = $runs | ForEach-Object { $_.Date } | Sort-Object -Descending | Select-Object -First 1
        $position = [array]::IndexOf($days, $day)
        $skipped = @()
        if ($position -gt 0) {
            $skipped = @($days[0..($position - 1)])
        }
        # The skipped days a run was expected on.
        $missed = @($skipped | Where-Object {
                $date = [datetime]::ParseExact($_, 'yyyy/MM/dd', $Invariant)
                $date.DayOfWeek -ne 'Saturday' -and $date.DayOfWeek -ne 'Sunday' -and
                    $holidays -notcontains $_
            })
        $code = 1
        if ($why -and $why -ne 'no history') {
            $line = "tesmarinds: history not read, ${why}: $file"
            $rows = @(New-NoteRow $pc $days[0] "history not read, $why")
        } elseif (-not $day) {
            $line = "tesmarinds $(Format-Span $days): no run recorded"
            if ($notes) {
                $line += " ($($notes -join '; '))"
            }
            $rows = @(New-NoteRow $pc $days[0] 'no run recorded')
        } elseif ($missed) {
            $note = "missed (no run; the last day with runs $day)"
            $line = "tesmarinds $(Format-Span $skipped): $note"
            $rows = @(New-NoteRow $pc $days[0] $note)
        } else {
            $dayRuns = @($runs | Where-Object { $_.Date -eq $day })
            $failed = @($dayRuns | Where-Object { $_.Status -ne '0' })
            $label = $day
            if ($skipped) {
                $label += " (the last day with runs; none $(Format-Span $skipped))"
            }
            $entries = @($failed) + @($dayRuns | Where-Object { $_.Status -eq '0' }) |
                ForEach-Object { Format-Run $_ }
            $head = "tesmarinds ${label}: $(Format-Count $dayRuns.Count), $($failed.Count) not 0:"
            $line = Limit-Line $head ([string[]]@($entries))
            $rows = @($dayRuns | ForEach-Object { New-Row $pc $_ })
            if ($failed.Count -eq 0) {
                $code = 0
            }
        }
        $line
        if ($Csv) {
            Write-Csv $rows $Csv
        }
        exit $code
    }

    # "PC1,PC2" arrives as one text through powershell -File; a list read
    # from a file may hold blank and padded lines.
    $names = @($ComputerName | ForEach-Object { "$_" -split '[,\s]+' } | Where-Object { $_ })
    if ($names.Count -eq 0) {
        # An empty list must not read the administrator's own PC instead.
        'tesmarinds: -ComputerName names no PC'
        exit 1
    }
    if ($Path -notmatch '^([A-Za-z]):\\(.*)$') {
        "tesmarinds: -Path $Path names no drive's folder, which -ComputerName reads on each PC"
        exit 1
    }
    $onEachPc = "$($Matches[1])`$\$($Matches[2])"
    $rows = for ($n = 0; $n -lt $names.Count; $n++) {
        $pc = $names[$n]
        Write-Progress -Activity 'tesmarinds: reading the PCs' `
            -Status "$pc ($($n + 1) of $($names.Count))" -PercentComplete (100 * $n / $names.Count)
        $why = Test-Reach $pc $EventLogPort
        if ($why -eq 'name not found') {
            New-NoteRow $pc $days[0] $why
            continue
        }
        # What was read, and why the rest was not: a PC whose event log was
        # not read is not known to have no run, whatever its history says.
        $read = $false
        $eventLogRead = $false
        $registered = $false
        $notes = @()
        $runs = @()
        if ($why) {
            $notes += "event log not reached, $why"
        } else {
            try {
                $found = Read-Event $pc $from $to
                $read = $true
                $eventLogRead = $true
                $registered = $found.Registered
                $runs = @(Get-EventRun $found.Events $days)
            } catch {
                $notes += "event log not read, $(Get-Failure $_)"
            }
        }
        if ($runs.Count -eq 0) {
            $file = "\\$pc\$onEachPc"
            $why = Test-Reach $pc $SharePort
            if ($why) {
                $why = "admin share not reached, $why"
            } else {
                try {
                    $runs = @(Read-Run $file $days)
                    $read = $true
                } catch {
                    $why = Get-Failure $_
                    if ($why -eq 'no history') {
                        $read = $eventLogRead
                        $why = "no history ${file}"
                    } else {
                        $why = "history not read, ${why}: $file"
                    }
                }
            }
            # A PC whose event log holds the source needs no history.
            if ($why -and -not $registered) {
                $notes += $why
            }
        }
        $dayRuns = @($runs | Where-Object { $_.Date -eq $days[0] })
        if ($dayRuns.Count -eq 0) {
            $note = @()
            if ($read) {
                $note += 'no run recorded'
            }
            $last = $runs | ForEach-Object { $_.Date } | Sort-Object -Descending | Select-Object -First 1
            if ($last) {
                $note += "the last day with runs $last"
            }
            New-NoteRow $pc $days[0] (@($note) + $notes -join '; ')
        }
        foreach ($run in $dayRuns) {
            New-Row $pc $run
        }
    }
    Write-Progress -Activity 'tesmarinds: reading the PCs' -Completed
    if ($Csv) {
        Write-Csv $rows $Csv
    } else {
        $rows | Format-Table -Property PC, Date, Time, User, Status, Note -AutoSize -Wrap
    }
    exit ([int](@($rows | Where-Object { $_.Status -ne '0' }).Count -gt 0))
} catch {
    "tesmarinds: failed at line $($_.InvocationInfo.ScriptLineNumber): $(Get-Failure $_)"
    exit 1
}
