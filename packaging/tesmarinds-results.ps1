<#
tesmarinds: the runs of one day, read from the history tesmarinds-task.exe
keeps in c:\temp\Tesmarind-history.txt, one line a run, in Shift_JIS:
    yyyy/MM/dd HH:mm:ss <user> <status> <note>
the status 0 to 7 or "-". 1.5.0 quotes a user that is empty or holds a
space ("Room 2 PC"); 1.4.0 wrote every user bare, so such a line is read
where its note can start. Status 0 is a run that did its job; the guide's
table says what the others mean. A line's time is when its run ended: a
run that waited past midnight is read with the next day's.

On the PC itself (an Intune Remediations detection script, run as SYSTEM
in 64-bit PowerShell; a script of Configuration Manager's Run Scripts):
    tesmarinds-results.ps1 [-Day yyyy-MM-dd] [-NoNames]
prints one line and exits 0 when the day has runs and every one ended 0,
else 1:
    tesmarinds 2026/12/08: 2 runs, 1 not 0: 19:00:14 suzuki 5; 18:00:12 tanaka 0
The runs not 0 come first, then those that ended 0; the line stays within
the 2,048 characters Remediations keep, cut between runs ("; +12 more").
It is ASCII but for the users' names, so that it reads the same through
any console code page; -NoNames leaves the names out. Without -Day the day
is yesterday or, when yesterday has no runs (a weekend, a holiday), the
last day with runs within the 7 days before today, said so:
    tesmarinds 2026/12/04 (the last day with runs; none 2026/12/05-2026/12/06): 1 run, 0 not 0: 18:00:12 tanaka 0
    tesmarinds 2026/11/30-2026/12/06: no run recorded
-Csv writes the day's rows too (below).

For many PCs, over their admin share (\\PC\c$), from an administrator's PC:
    tesmarinds-results.ps1 -ComputerName PC1,PC2 [-Day yyyy-MM-dd] [-Csv results.csv]
    tesmarinds-results.ps1 -ComputerName (Get-Content pcs.txt)
prints a table of one row a run (PC, Date, Time, User, Status, Note), and
a row of Status "?" for each PC without a run that day or whose history
cannot be read, saying why; -Csv writes the rows to a file instead, as
UTF-8 with a byte order mark, as Excel reads it. The day is yesterday
unless -Day names another. Exits as above, for every PC.

-Path names the history, on each PC with -ComputerName.
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
    [switch]$NoNames
)

$ErrorActionPreference = 'Stop'
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
# A PC that is off leaves a path on its admin share to the network's
# time-out, tens of seconds; its port 445 gets this long.
$ProbeMilliseconds = 2000
# How far back the day with runs is looked for when yesterday has none.
$DaysBack = 7
$Invariant = [Globalization.CultureInfo]::InvariantCulture

function Format-Day([datetime]$Date) {
    # In a .NET format "/" is the culture's separator, but in the invariant one.
    $Date.ToString('yyyy/MM/dd', $Invariant)
}

function Resolve-Here([string]$Name) {
    # .NET takes a relative path from the process's folder, not PowerShell's.
    $ExecutionContext.SessionState.Path.GetUnresolvedProviderPathFromPSPath($Name)
}

function Read-Run([string]$File, [string[]]$Wanted) {
    # Shared for writing too: a run may be adding its line.
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
    '{0} (0x{1:X8})' -f $e.GetType().Name, $e.HResult
}

function Test-Reach([string]$Pc) {
    # Empty when the PC answers on the admin share's port, else why not.
    $client = New-Object Net.Sockets.TcpClient
    try {
        $attempt = $client.BeginConnect($Pc, 445, $null, $null)
        if (-not $attempt.AsyncWaitHandle.WaitOne($ProbeMilliseconds)) {
            return "off or unreachable (no answer on port 445 within $($ProbeMilliseconds / 1000) s)"
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
            return 'port 445 refused (file and printer sharing off or blocked)'
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

    # The days read: -Day, or yesterday first and the days before it.
    if ($Day) {
        $asked = [datetime]::MinValue
        if (-not [datetime]::TryParseExact($Day, 'yyyy-MM-dd', $Invariant, 'None', [ref]$asked)) {
            "tesmarinds: -Day $Day is not a day written yyyy-MM-dd"
            exit 1
        }
        $days = @(Format-Day $asked)
        $searched = $days[0]
    } else {
        $today = (Get-Date).Date
        $days = @(1..$DaysBack | ForEach-Object { Format-Day $today.AddDays(-$_) })
        $searched = "$($days[-1])-$($days[0])"
    }

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
        $why = ''
        try {
            $runs = @(Read-Run $file $days)
        } catch {
            $runs = @()
            $why = Get-Failure $_
        }
        # The days are yyyy/MM/dd: the latest in order is yesterday or the last with runs.
        $day = $runs | ForEach-Object { $_.Date } | Sort-Object -Descending | Select-Object -First 1
        $code = 1
        if ($why -and $why -ne 'no history') {
            $line = "tesmarinds: history not read, ${why}: $file"
            $rows = @(New-NoteRow $pc $days[0] "history not read, $why")
        } elseif (-not $day) {
            $line = "tesmarinds ${searched}: no run recorded"
            if ($why) {
                $line += " (no history $file)"
            }
            $rows = @(New-NoteRow $pc $days[0] 'no run recorded')
        } else {
            $dayRuns = @($runs | Where-Object { $_.Date -eq $day })
            $failed = @($dayRuns | Where-Object { $_.Status -ne '0' })
            $label = $day
            $position = [array]::IndexOf($days, $day)
            if ($position -eq 1) {
                $label += " (the last day with runs; none $($days[0]))"
            } elseif ($position -gt 1) {
                $label += " (the last day with runs; none $($days[$position - 1])-$($days[0]))"
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
        Write-Progress -Activity 'tesmarinds: reading the histories' `
            -Status "$pc ($($n + 1) of $($names.Count))" -PercentComplete (100 * $n / $names.Count)
        $why = Test-Reach $pc
        if ($why) {
            New-NoteRow $pc $days[0] $why
            continue
        }
        $file = "\\$pc\$onEachPc"
        try {
            $runs = @(Read-Run $file $days)
        } catch {
            $why = Get-Failure $_
            if ($why -ne 'no history') {
                $why = "history not read, $why"
            }
            New-NoteRow $pc $days[0] "${why}: $file"
            continue
        }
        $dayRuns = @($runs | Where-Object { $_.Date -eq $days[0] })
        if ($dayRuns.Count -eq 0) {
            $note = 'no run recorded'
            $last = $runs | ForEach-Object { $_.Date } | Sort-Object -Descending | Select-Object -First 1
            if ($last) {
                $note += "; the last day with runs $last"
            }
            New-NoteRow $pc $days[0] $note
        }
        foreach ($run in $dayRuns) {
            New-Row $pc $run
        }
    }
    Write-Progress -Activity 'tesmarinds: reading the histories' -Completed
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
