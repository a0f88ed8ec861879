# session0.ps1 -Built PATH: runs Morlex as SYSTEM in session 0, from a
# scheduled task, as a deployment agent does, on a hosted Windows machine
# that is thrown away afterwards. The job's own account squats the system
# scope's shared lock name, and a window in the job's session counts the
# notices it gets. Checks the exit codes, the time, the value, what Morlex
# wrote to standard error, and that the notice reached the job's session
# (the relay). Windows PowerShell 5.1.
param([Parameter(Mandatory = $true)][string]$Built)
$ErrorActionPreference = 'Stop'
$failed = 0
function Check([bool]$ok, [string]$what) {
  if ($ok) { Write-Host "passed: $what" } else { Write-Host "FAILED: $what"; $script:failed = 1 }
}

$work = Join-Path $env:RUNNER_TEMP 'session0'
New-Item -ItemType Directory -Force -Path $work | Out-Null
$taskName = 'MorlexSession0'
$helpers = @()
try {
  # Installed as an installer would: owned by Administrators, and only
  # SYSTEM, Administrators and TrustedInstaller may replace it or add a file
  # beside it, so the relay may start it. What the relay checks is printed.
  $folder = Join-Path $env:ProgramFiles 'Morlex'
  New-Item -ItemType Directory -Force -Path $folder | Out-Null
  $exe = Join-Path $folder 'Morlex.exe'
  Copy-Item $Built $exe -Force
  & icacls $folder /setowner '*S-1-5-32-544' /T /C | Out-Null
  & icacls $folder /inheritance:r /grant:r '*S-1-5-18:(OI)(CI)F' '*S-1-5-32-544:(OI)(CI)F' '*S-1-5-32-545:(OI)(CI)RX' /T /C | Out-Null
  foreach ($path in @($exe, $folder, $env:ProgramFiles, "$env:SystemDrive\")) {
    Write-Host "$path, owned by $((Get-Acl $path).Owner):"
    & icacls $path
  }

  # The squatter: the job's own account (not Administrators) owns the shared
  # name, holds it and lets nobody else in.
  $squatter = @'
$sid = [System.Security.Principal.WindowsIdentity]::GetCurrent().User
$security = New-Object System.Security.AccessControl.MutexSecurity
$security.SetOwner($sid)
$security.AddAccessRule((New-Object System.Security.AccessControl.MutexAccessRule($sid, 'FullControl', 'Allow')))
$created = $false
$shared = New-Object System.Threading.Mutex($true, 'Global\Morlex.Environment.System', [ref]$created, $security)
Set-Content -Path $args[0] -Value 'holding'
Start-Sleep -Seconds 600
'@
  Set-Content -Path "$work\squatter.ps1" -Value $squatter
  $squatterReady = "$work\squatter.ready"
  $helpers += Start-Process powershell -PassThru -WindowStyle Hidden `
    -ArgumentList '-NoProfile', '-File', "$work\squatter.ps1", $squatterReady

  # The receiver: a top-level window in the job's session that writes a line
  # for every WM_SETTINGCHANGE with "Environment". It lets the message in
  # from a lower integrity level, since the users' children of the relay may
  # run at one.
  $receiver = @'
Add-Type -AssemblyName System.Windows.Forms
Add-Type -ReferencedAssemblies System.Windows.Forms -TypeDefinition @"
using System;
using System.Runtime.InteropServices;
using System.Windows.Forms;
public class Receiver : NativeWindow {
  [DllImport("user32.dll")]
  static extern bool ChangeWindowMessageFilterEx(IntPtr window, uint message, uint action, IntPtr info);
  string log;
  public Receiver(string log) {
    this.log = log;
    CreateHandle(new CreateParams());
    ChangeWindowMessageFilterEx(Handle, 0x001A, 1, IntPtr.Zero);  // MSGFLT_ALLOW
  }
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
  $helpers += Start-Process powershell -PassThru -WindowStyle Hidden `
    -ArgumentList '-NoProfile', '-File', "$work\receiver.ps1", $receiverReady, $told
  Write-Host 'the receiver runs with the job''s token, at this integrity level:'
  & whoami /groups | Select-String 'Mandatory Label'

  $waited = 0
  while (-not ((Test-Path $squatterReady) -and (Test-Path $receiverReady)) -and $waited -lt 120) {
    Start-Sleep -Seconds 1
    $waited++
  }
  Check ((Test-Path $squatterReady) -and (Test-Path $receiverReady)) 'the squatter and the receiver are ready'

  # Runs Morlex with these arguments from a scheduled task as SYSTEM, its
  # standard error kept in a file; its exit code, how long the task ran, and
  # what it wrote there. The task's state is read before its result, so that
  # a task that ends between the two reads is not taken for a running one.
  function RunAsSystem([string]$arguments) {
    $errors = "$work\stderr.txt"
    Remove-Item $errors -ErrorAction SilentlyContinue
    $action = New-ScheduledTaskAction -Execute 'cmd.exe' -Argument "/d /c `"`"$exe`" $arguments 2> `"$errors`"`""
    $principal = New-ScheduledTaskPrincipal -UserId 'SYSTEM' -LogonType ServiceAccount -RunLevel Highest
    Register-ScheduledTask -TaskName $taskName -Action $action -Principal $principal -Force | Out-Null
    $start = Get-Date
    Start-ScheduledTask -TaskName $taskName
    do {
      Start-Sleep -Milliseconds 200
      $state = (Get-ScheduledTask -TaskName $taskName).State
      $result = (Get-ScheduledTaskInfo -TaskName $taskName).LastTaskResult
      $done = $state -ne 'Running' -and $state -ne 'Queued' -and $result -ne 267009 -and $result -ne 267011
    } until ($done -or ((Get-Date) - $start).TotalSeconds -gt 120)
    $seconds = ((Get-Date) - $start).TotalSeconds
    Unregister-ScheduledTask -TaskName $taskName -Confirm:$false
    # An empty file reads as $null, not as '': compared as a string, a silent
    # run says ''.
    $said = if (Test-Path $errors) { [string](Get-Content -Raw $errors) } else { '' }
    Write-Host "Morlex $arguments, as SYSTEM: exit $result after $([int]$seconds) s; standard error: $said"
    return @($result, $seconds, $said)
  }

  $key = 'HKLM:\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
  $result = RunAsSystem '/s /a Path C:\MorlexSession0'
  Check ($result[0] -eq 0) 'a system /a as SYSTEM ends with 0 though the shared lock name is squatted'
  Check ($result[1] -lt 9) 'the squatted lock costs no wait (well under the 10 s a holder may take)'
  Check ($result[2] -eq '') 'and says nothing on standard error'
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
  Check ($result[2] -like '*Usage: Morlex*') 'with the usage text on standard error'
} finally {
  foreach ($helper in $helpers) { Stop-Process -Id $helper.Id -Force -ErrorAction SilentlyContinue }
  Unregister-ScheduledTask -TaskName $taskName -Confirm:$false -ErrorAction SilentlyContinue
}
exit $failed
