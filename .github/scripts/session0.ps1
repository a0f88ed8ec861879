# session0.ps1 -Built PATH: runs Morlex as SYSTEM in session 0, from a
# scheduled task, as a deployment agent does, on a hosted Windows machine
# that is thrown away afterwards. The job's own account squats both names of
# the system scope's lock, and a window in the job's session counts the
# notices it gets. Checks the exit codes, the time, the value, and that the
# notice reached the job's session (the relay). Windows PowerShell 5.1.
param([Parameter(Mandatory = $true)][string]$Built)
$ErrorActionPreference = 'Stop'
$failed = 0
function Check([bool]$ok, [string]$what) {
  if ($ok) { Write-Host "passed: $what" } else { Write-Host "FAILED: $what"; $script:failed = 1 }
}

# Installed as an installer would: only SYSTEM, Administrators and
# TrustedInstaller may replace it there, so the relay may start it.
$folder = Join-Path $env:ProgramFiles 'Morlex'
New-Item -ItemType Directory -Force -Path $folder | Out-Null
Copy-Item $Built (Join-Path $folder 'Morlex.exe') -Force
$exe = Join-Path $folder 'Morlex.exe'
$work = Join-Path $env:RUNNER_TEMP 'session0'
New-Item -ItemType Directory -Force -Path $work | Out-Null

# The squatter: the job's own account (not Administrators) owns both names,
# holds them and lets nobody else in.
$squatter = @'
$sid = [System.Security.Principal.WindowsIdentity]::GetCurrent().User
$security = New-Object System.Security.AccessControl.MutexSecurity
$security.SetOwner($sid)
$security.AddAccessRule((New-Object System.Security.AccessControl.MutexAccessRule($sid, 'FullControl', 'Allow')))
$created = $false
$shared = New-Object System.Threading.Mutex($true, 'Global\Morlex.Environment.System', [ref]$created, $security)
$session = New-Object System.Threading.Mutex($true, 'Local\Morlex.Environment.System', [ref]$created, $security)
Set-Content -Path $args[0] -Value 'holding'
Start-Sleep -Seconds 600
'@
Set-Content -Path "$work\squatter.ps1" -Value $squatter
$squatterReady = "$work\squatter.ready"
$squatterProcess = Start-Process powershell -PassThru -WindowStyle Hidden `
  -ArgumentList '-NoProfile', '-File', "$work\squatter.ps1", $squatterReady

# The receiver: a top-level window in the job's session that writes a line
# for every WM_SETTINGCHANGE with "Environment".
$receiver = @'
Add-Type -AssemblyName System.Windows.Forms
Add-Type -ReferencedAssemblies System.Windows.Forms -TypeDefinition @"
using System;
using System.Runtime.InteropServices;
using System.Windows.Forms;
public class Receiver : NativeWindow {
  string log;
  public Receiver(string log) { this.log = log; CreateHandle(new CreateParams()); }
  protected override void WndProc(ref Message m) {
    if (m.Msg == 0x001A && m.LParam != IntPtr.Zero &&
        Marshal.PtrToStringUni(m.LParam) == "Environment")
      System.IO.File.AppendAllText(log, "told\r\n");
    base.WndProc(ref m);
  }
}
"@
$window = New-Object Receiver($args[1])
Set-Content -Path $args[0] -Value 'listening'
$timer = New-Object System.Windows.Forms.Timer
$timer.Interval = 300000
$timer.add_Tick({ [System.Windows.Forms.Application]::ExitThread() })
$timer.Start()
[System.Windows.Forms.Application]::Run()
'@
Set-Content -Path "$work\receiver.ps1" -Value $receiver
$receiverReady = "$work\receiver.ready"
$told = "$work\told.txt"
$receiverProcess = Start-Process powershell -PassThru -WindowStyle Hidden `
  -ArgumentList '-NoProfile', '-File', "$work\receiver.ps1", $receiverReady, $told

$waited = 0
while (-not ((Test-Path $squatterReady) -and (Test-Path $receiverReady)) -and $waited -lt 120) {
  Start-Sleep -Seconds 1
  $waited++
}
Check ((Test-Path $squatterReady) -and (Test-Path $receiverReady)) 'the squatter and the receiver are ready'

# Runs Morlex with these arguments from a scheduled task as SYSTEM; its exit
# code and how long the task ran.
function RunAsSystem([string]$arguments) {
  $name = 'MorlexSession0'
  $action = New-ScheduledTaskAction -Execute $exe -Argument $arguments
  $principal = New-ScheduledTaskPrincipal -UserId 'SYSTEM' -LogonType ServiceAccount -RunLevel Highest
  Register-ScheduledTask -TaskName $name -Action $action -Principal $principal -Force | Out-Null
  $start = Get-Date
  Start-ScheduledTask -TaskName $name
  do {
    Start-Sleep -Milliseconds 200
    $info = Get-ScheduledTaskInfo -TaskName $name
    $running = (Get-ScheduledTask -TaskName $name).State -eq 'Running'
  } while (($running -or $info.LastTaskResult -eq 267011) -and ((Get-Date) - $start).TotalSeconds -lt 120)
  $seconds = ((Get-Date) - $start).TotalSeconds
  Unregister-ScheduledTask -TaskName $name -Confirm:$false
  Write-Host "Morlex $arguments, as SYSTEM: exit $($info.LastTaskResult) after $([int]$seconds) s"
  return @($info.LastTaskResult, $seconds)
}

$key = 'HKLM:\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
$result = RunAsSystem '/s /a Path C:\MorlexSession0'
Check ($result[0] -eq 0) 'a system /a as SYSTEM ends with 0 though both lock names are squatted'
Check ($result[1] -lt 9) 'the squatted lock costs no wait (well under the 10 s a holder may take)'
$path = (Get-ItemProperty -Path $key -Name Path).Path
Check (($path -split ';') -contains 'C:\MorlexSession0') 'the entry is in the system Path'
Start-Sleep -Seconds 6
$count = 0
if (Test-Path $told) { $count = @(Get-Content $told).Count }
Write-Host "the receiver in the job's session was told $count times"
Check ($count -ge 1) "the notice reached the job's session (the relay)"

# A rejected command line in session 0 shows no box: it would never close.
$result = RunAsSystem '/x'
Check ($result[0] -eq 1) 'a rejected command line as SYSTEM ends with 1'
Check ($result[1] -lt 30) 'and at once, with no box'

Stop-Process -Id $squatterProcess.Id, $receiverProcess.Id -Force -ErrorAction SilentlyContinue
exit $failed
