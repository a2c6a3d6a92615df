<#
Every PowerShell text the project ships or shows, through PowerShell's own
parser.

    pwsh -NoProfile -File scripts/check-powershell.ps1 [GUIDE]

The shipped scripts (packaging/*.ps1) run in Windows PowerShell 5.1 under
Intune and Configuration Manager: each must parse, be ASCII (5.1 reads a
file without a byte order mark in the ANSI code page), and use nothing
PowerShell 5.1 lacks: ?: (ternary), && and || between pipelines, ??, ??=,
?. and ?[], a clean block, ForEach-Object -Parallel, and -Encoding values
5.1 does not know (utf8BOM, utf8NoBOM, ansi, latin1, a code page number).

The guide (GUIDE, default README.ja.md) must hold no PowerShell block that
fails to parse. A PowerShell block is found this way:
- It starts on a line after a blank line (or the file's first line),
  indented by 4 spaces or more, whose text begins with one of:
    $            a variable:        $term = ...
    [            a type:            [IO.File]::ReadAllLines(...)
    (            an expression:     (Get-FileHash .\x.msi).Hash -eq '...'
    & or .\      a script or program run from PowerShell
    if (  foreach (  for (  while (  switch (  try  function  param
                 a statement (a Remediations script may start with one)
    Verb-Noun    a command whose verb is one of PowerShell's approved
                 verbs (Get-Verb): Get-Content, Unblock-File, New-Item ...
    powershell, powershell.exe, pwsh or pwsh.exe followed by a space: a
                 command for PowerShell typed at cmd; the text in double
                 quotation marks after -Command is parsed too.
- It holds that line and the lines after it indented at least as far; a
  blank line or a line indented less ends it. Each block is parsed as one
  script, so a Remediations script is one block with no blank line in it.
- A placeholder is anything between < and > on one line (<PC 名>,
  <SHA256SUMS の値>): it is read as the word "placeholder".
Other blocks (cmd's msiexec, schtasks, reg and icacls, history lines,
texts) are left alone; a block starting with a cmd command is not read as
PowerShell even if PowerShell follows, so put each in its own block.
PowerShell written inside running text is not checked.

Fails naming the file and line of each fault, and says how many scripts
and blocks it parsed.
#>
param([string]$Guide)

$ErrorActionPreference = 'Stop'
$root = Split-Path -Parent $PSScriptRoot
if (-not $Guide) {
    $Guide = Join-Path $root 'README.ja.md'
}

# The syntax and parameters PowerShell 5.1 lacks, by the parser's own nodes.
function Find-Newer([System.Management.Automation.Language.Ast]$Ast) {
    foreach ($node in $Ast.FindAll({ $true }, $true)) {
        $what = $null
        if ($node -is [System.Management.Automation.Language.TernaryExpressionAst]) {
            $what = 'the ternary operator ?:'
        } elseif ($node -is [System.Management.Automation.Language.PipelineChainAst]) {
            $what = '&& or || between pipelines'
        } elseif ($node -is [System.Management.Automation.Language.BinaryExpressionAst] -and
                  $node.Operator -eq 'QuestionQuestion') {
            $what = 'the operator ??'
        } elseif ($node -is [System.Management.Automation.Language.AssignmentStatementAst] -and
                  $node.Operator -eq 'QuestionQuestionEquals') {
            $what = 'the operator ??='
        } elseif (($node -is [System.Management.Automation.Language.MemberExpressionAst] -or
                   $node -is [System.Management.Automation.Language.IndexExpressionAst]) -and
                  $node.NullConditional) {
            $what = '?. or ?['
        } elseif ($node -is [System.Management.Automation.Language.ScriptBlockAst] -and
                  $node.CleanBlock) {
            $what = 'a clean block'
        } elseif ($node -is [System.Management.Automation.Language.CommandAst]) {
            $what = Find-NewerParameter $node
        }
        if ($what) {
            [pscustomobject]@{ Line = $node.Extent.StartLineNumber; What = $what }
        }
    }
}

function Find-NewerParameter([System.Management.Automation.Language.CommandAst]$Command) {
    $name = $Command.GetCommandName()
    $elements = $Command.CommandElements
    for ($i = 1; $i -lt $elements.Count; $i++) {
        $parameter = $elements[$i]
        if ($parameter -isnot [System.Management.Automation.Language.CommandParameterAst]) {
            continue
        }
        # A parameter may be shortened to any unambiguous start.
        if ($name -in 'ForEach-Object', 'foreach', '%' -and
                'parallel'.StartsWith($parameter.ParameterName.ToLower()) -and
                $parameter.ParameterName.Length -ge 2) {
            return 'ForEach-Object -Parallel'
        }
        if ('encoding'.StartsWith($parameter.ParameterName.ToLower()) -and
                $parameter.ParameterName.Length -ge 3) {
            $value = $parameter.Argument
            if (-not $value -and $i + 1 -lt $elements.Count) {
                $value = $elements[$i + 1]
            }
            if ($value -is [System.Management.Automation.Language.ConstantExpressionAst] -and
                    "$($value.Value)" -match '^(utf8BOM|utf8NoBOM|ansi|latin1|\d+)$') {
                return "-Encoding $($value.Value)"
            }
        }
    }
}

function Read-Script([string]$Text, [string]$Where, [int]$FirstLine) {
    # The script's tree; what does not parse goes to the faults, by its line in the file.
    $tokens = $null
    $errors = $null
    $ast = [System.Management.Automation.Language.Parser]::ParseInput($Text, [ref]$tokens, [ref]$errors)
    foreach ($e in $errors) {
        $faults.Add("${Where}:$($FirstLine + $e.Extent.StartLineNumber - 1): does not parse: $($e.Message)")
    }
    $ast
}

$faults = New-Object Collections.Generic.List[string]

# The check itself must see each construct it refuses.
$newer = @('$a ? 1 : 2', 'a && b', 'a || b', '$a ?? 1', '$a ??= 1', '${a}?.b', '${a}?[0]',
           'function f { clean { } }', '1..3 | ForEach-Object -Parallel { $_ }', '1 | % -Pa { }',
           'Get-Content x -Encoding utf8BOM', 'Set-Content x -Encoding:ansi', 'Get-Content x -Enc 932')
foreach ($text in $newer) {
    if (-not @(Find-Newer (Read-Script $text 'self-test' 1)).Count) {
        $faults.Add("check-powershell.ps1: does not see what 5.1 lacks in: $text")
    }
}
if (@(Find-Newer (Read-Script 'Get-Content x -Encoding UTF8 | ForEach-Object -Process { $_ }' 'self-test' 1)).Count) {
    $faults.Add('check-powershell.ps1: refuses what 5.1 has')
}

$shipped = @(Get-ChildItem -Path (Join-Path $root 'packaging') -Filter '*.ps1')
foreach ($file in $shipped) {
    $bytes = [IO.File]::ReadAllBytes($file.FullName)
    $where = "packaging/$($file.Name)"
    for ($i = 0; $i -lt $bytes.Length; $i++) {
        if ($bytes[$i] -gt 127) {
            $line = @($bytes[0..$i] | Where-Object { $_ -eq 10 }).Count + 1
            $faults.Add("${where}:${line}: a byte that is not ASCII")
            break
        }
    }
    $text = [Text.Encoding]::ASCII.GetString($bytes)
    foreach ($found in Find-Newer (Read-Script $text $where 1)) {
        $faults.Add("${where}:$($found.Line): $($found.What), which Windows PowerShell 5.1 lacks")
    }
}

function Find-Block([string[]]$Lines) {
    # The guide's PowerShell blocks, as the comment on top says: each block's
    # first line (from 1) and text, placeholders replaced.
    for ($n = 0; $n -lt $Lines.Count; $n++) {
        if (($n -gt 0 -and $Lines[$n - 1].Trim()) -or $Lines[$n] -notmatch '^( {4,})(\S.*)$') {
            continue
        }
        $indent = $Matches[1].Length
        $start = $Matches[2]
        $word = ($start -split ' ', 2)[0]
        if (-not ($start -match '^[$\[(&]|^\.\\|^(if|foreach|for|while|switch) *\(|^(try|function|param)\b' -or
                  $word -match '^(powershell|pwsh)(\.exe)?$' -or
                  ($word -match '^([A-Za-z]+)-[A-Za-z]+$' -and $Verbs -contains $Matches[1]))) {
            continue
        }
        $end = $n
        while ($end + 1 -lt $Lines.Count -and $Lines[$end + 1] -match "^ {$indent}" -and
               $Lines[$end + 1].Trim()) {
            $end++
        }
        [pscustomobject]@{
            Line = $n + 1
            Text = ($Lines[$n..$end] -join "`n") -replace '<[^<>\r\n]+>', 'placeholder'
        }
        $n = $end
    }
}

function Find-CommandText([System.Management.Automation.Language.Ast]$Ast) {
    # What cmd hands to powershell -Command "...": a script of its own.
    $commands = $Ast.FindAll({
            param($node)
            $node -is [System.Management.Automation.Language.CommandAst] -and
                $node.GetCommandName() -match '^(powershell|pwsh)(\.exe)?$'
        }, $true)
    foreach ($command in $commands) {
        $elements = $command.CommandElements
        for ($i = 1; $i + 1 -lt $elements.Count; $i++) {
            $inner = $elements[$i + 1]
            if ($elements[$i] -is [System.Management.Automation.Language.CommandParameterAst] -and
                    $elements[$i].ParameterName -and
                    'command'.StartsWith($elements[$i].ParameterName.ToLower()) -and
                    ($inner -is [System.Management.Automation.Language.StringConstantExpressionAst] -or
                     $inner -is [System.Management.Automation.Language.ExpandableStringExpressionAst])) {
                $inner
            }
        }
    }
}

$Verbs = @(Get-Verb | ForEach-Object { $_.Verb })
$sample = @('text', '', '    Get-Item \\<PC 名>\c$', '      | Out-Null', '', '    schtasks /query',
            '    $not = $this', '', '  - prose', '    $not = $this', '', '    $a = 1', '',
            '    powershell -Command "Get-Date"', '', '    if exist x echo x', '', '    if ($a) { exit 0 }')
$found = @(Find-Block $sample | ForEach-Object { "$($_.Line): $($_.Text)" }) -join ' / '
if ($found -ne "3:     Get-Item \\placeholder\c$`n      | Out-Null / 12:     `$a = 1 / 14:     powershell -Command `"Get-Date`" / 18:     if (`$a) { exit 0 }") {
    $faults.Add("check-powershell.ps1: finds other blocks than the rule says: $found")
}

$guideName = Split-Path -Leaf $Guide
$blocks = 0
foreach ($block in Find-Block ([IO.File]::ReadAllLines($Guide, [Text.Encoding]::UTF8))) {
    $blocks++
    foreach ($inner in Find-CommandText (Read-Script $block.Text $guideName $block.Line)) {
        $blocks++
        $null = Read-Script $inner.Value $guideName ($block.Line + $inner.Extent.StartLineNumber - 1)
    }
}

foreach ($fault in $faults) {
    [Console]::Error.WriteLine($fault)
}
"check-powershell: $($shipped.Count) shipped scripts, $blocks PowerShell blocks of $guideName parsed, $($faults.Count) faults"
if ($faults.Count) {
    exit 1
}
