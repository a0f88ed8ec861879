// Morlex: makes one environment variable persistent in the user or the
// system scope, and tells running programs that the environment changed.

#include <windows.h>

#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "cmdline/command_tail.h"
#include "cmdline/split_command_tail.h"
#include "cmdline/update_request.h"
#include "cmdline/usage_box.h"
#include "cmdline/usage_text.h"
#include "envstore/change_notice.h"
#include "envstore/notice_relay.h"
#include "text/wide_text.h"
#include "update/refusal.h"
#include "update/standard_error.h"
#include "update/unattended.h"
#include "update/update_flow.h"

namespace {

// The name of a window station's or a desktop's object; empty when it
// cannot be had.
std::string ObjectName(HANDLE object) {
  wchar_t name[256] = {};
  if (!object ||
      !GetUserObjectInformationW(object, UOI_NAME, name, sizeof name - sizeof *name, nullptr))
    return {};
  return Wtf8FromWide(name);
}

// What the platform says of the desktop a box would be shown on.
DesktopState ThisDesktop() {
  DesktopState desktop;
  DWORD session = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &session))
    desktop.session = session;
  USEROBJECTFLAGS flags = {};
  HWINSTA station = GetProcessWindowStation();
  if (station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
    desktop.stationVisible = (flags.dwFlags & WSF_VISIBLE) != 0;
  HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
  if (input) {
    desktop.inputDesktop = ObjectName(input);
    CloseDesktop(input);
  }
  desktop.threadDesktop = ObjectName(GetThreadDesktop(GetCurrentThreadId()));
  return desktop;
}

// The usage box where somebody can answer it now; otherwise, or when it
// cannot be shown, the usage text goes to standard error.
[[noreturn]] void ShowUsageAndExit() {
  bool shown = false;
  if (SomebodyCanAnswer(ThisDesktop())) {
    const std::wstring text = WideFromWtf8(kUsageText).value_or(std::wstring());
    const std::wstring caption = WideFromWtf8(kUsageCaption).value_or(std::wstring());
    // 0 when it fails (Wine gives -1, as the dialog call does).
    shown = MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_ICONINFORMATION | MB_OK) > 0;
  }
  if (!shown)
    WriteToStandardError(kUsageText + std::string("\r\n"));
  std::exit(kExitUsage);
}

// DLLs that system DLLs load later (for the usage box, say) come from the
// system directory only, never from beside Morlex.exe. The call is looked up,
// since Windows 7 has it only with an update.
void LoadDllsFromSystemDirectoryOnly() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel)
    return;
  const FARPROC found = GetProcAddress(kernel, "SetDefaultDllDirectories");
  if (found)
    reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(found))(
        LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// The program's own path, however long; nothing when it cannot be had.
std::optional<std::string> OwnModulePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const auto size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0)
      return std::nullopt;
    if (length < size) {
      buffer.resize(length);
      return Wtf8FromWide(buffer);
    }
    if (size >= 32768)
      return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

// The relay's marker in this process's environment; nothing when it is not
// set.
std::optional<std::string> RelayMarker() {
  const std::wstring name = *WideFromWtf8(kRelayMarkerName);
  const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0)
    return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
  if (length == 0 || length >= size)
    return std::nullopt;
  value.resize(length);
  return Wtf8FromWide(value);
}

// Checks the command line, then carries out the update. Throws
// std::bad_alloc only before anything is written.
int Run() {
  LoadDllsFromSystemDirectoryOnly();
  const std::string commandLine = Wtf8FromWide(GetCommandLineW());
  const ArgumentVector args = SplitCommandTail(CommandTailOf(commandLine), OwnModulePath());
  if (OnlyAnnounces(args, RelayMarker())) {
    // A child of the relay, in a user's session: it reads and writes
    // nothing, and says nothing.
    AnnounceEnvironmentChange(NoticeReach::OwnDesktop);
    return kExitDone;
  }
  const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
  if (!request)
    ShowUsageAndExit();
  return RunUpdate(*request);
}

}  // namespace

// Nothing that may throw runs after a write, so a run that ends here has
// written nothing.
int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*tail*/, int /*show*/) {
  AskNobodyOnFault();
  try {
    return Run();
  } catch (const std::bad_alloc&) {
    WriteToStandardError(kOutOfMemoryLine);
    return kExitOutOfMemory;
  } catch (...) {
    WriteToStandardError(kUnexpectedErrorLine);
    return kExitNothingChanged;
  }
}
