# vs-dev-env.ps1: makes the x64 developer environment of the newest Visual
# Studio on the machine the environment of the job's later steps, as its
# Developer Command Prompt would: only the variables it adds or changes go
# into GITHUB_ENV, not the whole environment.
$ErrorActionPreference = 'Stop'
$vswhere = Join-Path ${env:ProgramFiles(x86)} 'Microsoft Visual Studio\Installer\vswhere.exe'
$vs = & $vswhere -latest -products * -requires Microsoft.VisualStudio.Component.VC.Tools.x86.x64 -property installationPath
if (-not $vs) { throw 'no Visual Studio with the x64 compiler' }
$vcvars = Join-Path $vs 'VC\Auxiliary\Build\vcvars64.bat'

# NAME=VALUE lines as cmd's "set" prints them, by name (names ignore case).
function Variables([string[]]$lines) {
  $variables = @{}
  foreach ($line in $lines) {
    if ($line -match '^([^=]+)=(.*)$') { $variables[$Matches[1]] = $Matches[2] }
  }
  return $variables
}
$before = Variables (cmd /d /c 'set')
$after = Variables (cmd /d /c "`"$vcvars`" >nul && set")
$changed = foreach ($name in $after.Keys | Sort-Object) {
  if (-not $before.ContainsKey($name) -or $before[$name] -cne $after[$name]) { "$name=$($after[$name])" }
}
if (-not $changed) { throw 'the developer environment changed nothing' }
# UTF-8 without a byte order mark, as the runner reads the file.
[System.IO.File]::AppendAllLines($env:GITHUB_ENV, [string[]]$changed, (New-Object System.Text.UTF8Encoding $false))
Write-Host "Visual Studio: $vs; $(@($changed).Count) variables set or changed"
