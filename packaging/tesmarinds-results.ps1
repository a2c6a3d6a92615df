<#
tesmarinds: the runs of one day, read from c:\temp\Tesmarind-history.txt,
where tesmarinds-task.exe adds one line a run, in Shift_JIS:
    yyyy/MM/dd HH:mm:ss <user> <status> <note>
Status 0 is a run that did its job; the guide's table says what 1 to 6 and
"-" mean. The day is yesterday unless -Day names another: a run at 18:00
is read the next morning.

On the PC itself (an Intune Remediations detection script, run as SYSTEM
in 64-bit PowerShell; a script of Configuration Manager's Run Scripts):
    tesmarinds-results.ps1
prints one line, ASCII but for the users' names, so that it reads the same
through any console code page, and exits 0 when the day has runs and every
one ended 0, else 1. A line's time is when its run ended: a run that waited
past midnight is read with the next day's.

For many PCs, over their admin share (\\PC\c$):
    tesmarinds-results.ps1 -ComputerName PC1,PC2 [-Csv results.csv]
gives one row a run (PC, Time, User, Status, Note), and a row for each PC
without a run that day or whose history cannot be read; -Csv writes them
as UTF-8 with a byte order mark, as Excel reads it. Exits as above, for
every PC.
#>
param(
    [string[]]$ComputerName,
    [datetime]$Day = (Get-Date).Date.AddDays(-1),
    [string]$Csv
)

$ErrorActionPreference = 'Stop'
# One run's line; the tests of tesmarinds read the runner's lines with it.
$HistoryLine = '^(?<date>\d{4}/\d\d/\d\d) (?<time>\d\d:\d\d:\d\d) (?<user>.+?) (?<status>[0-6-]) (?<note>.*)$'
# The invariant culture: in a .NET format "/" is the culture's separator.
$date = $Day.ToString('yyyy/MM/dd', [Globalization.CultureInfo]::InvariantCulture)
if ($PSVersionTable.PSEdition -eq 'Core') {
    # PowerShell 7 knows code page 932 once the provider is registered.
    [Text.Encoding]::RegisterProvider([Text.CodePagesEncodingProvider]::Instance)
}
$shiftJis = [Text.Encoding]::GetEncoding(932)

function Get-Run([string]$Path) {
    # Shared for writing too: a run may be adding its line.
    $stream = [IO.File]::Open($Path, 'Open', 'Read', 'ReadWrite')
    $reader = New-Object IO.StreamReader($stream, $shiftJis)
    try {
        while ($null -ne ($line = $reader.ReadLine())) {
            if ($line -match $HistoryLine -and $Matches.date -eq $date) {
                [pscustomobject]@{
                    Time = $Matches.time; User = $Matches.user
                    Status = $Matches.status; Note = $Matches.note
                }
            }
        }
    } finally {
        $reader.Dispose()
    }
}

if (-not $ComputerName) {
    $runs = @()
    if (Test-Path -LiteralPath 'c:\temp\Tesmarind-history.txt') {
        $runs = @(Get-Run 'c:\temp\Tesmarind-history.txt')
    }
    if ($runs.Count -eq 0) {
        "tesmarinds ${date}: no run recorded"
        exit 1
    }
    $failed = @($runs | Where-Object { $_.Status -ne '0' })
    $each = ($runs | ForEach-Object { "$($_.Time) $($_.User) $($_.Status)" }) -join '; '
    "tesmarinds ${date}: $($runs.Count) runs, $($failed.Count) not 0: $each"
    exit ([int]($failed.Count -gt 0))
}

$rows = foreach ($pc in $ComputerName) {
    $folder = "\\$pc\c$\temp"
    if (-not (Test-Path -LiteralPath $folder)) {
        [pscustomobject]@{ PC = $pc; Time = ''; User = ''; Status = '?'
                           Note = "$folder not reached" }
        continue
    }
    $runs = @()
    if (Test-Path -LiteralPath "$folder\Tesmarind-history.txt") {
        try {
            $runs = @(Get-Run "$folder\Tesmarind-history.txt")
        } catch {
            [pscustomobject]@{ PC = $pc; Time = ''; User = ''; Status = '?'
                               Note = "history not read: $($_.Exception.Message)" }
            continue
        }
    }
    if ($runs.Count -eq 0) {
        [pscustomobject]@{ PC = $pc; Time = ''; User = ''; Status = '?'
                           Note = 'no run recorded' }
    }
    foreach ($run in $runs) {
        [pscustomobject]@{ PC = $pc; Time = $run.Time; User = $run.User
                           Status = $run.Status; Note = $run.Note }
    }
}
if ($Csv) {
    # .NET takes a relative path from the process's folder, not PowerShell's.
    $Csv = $ExecutionContext.SessionState.Path.GetUnresolvedProviderPathFromPSPath($Csv)
    $bom = New-Object Text.UTF8Encoding $true
    [IO.File]::WriteAllLines($Csv, [string[]]($rows | ConvertTo-Csv -NoTypeInformation), $bom)
} else {
    $rows
}
exit ([int](@($rows | Where-Object { $_.Status -ne '0' }).Count -gt 0))
