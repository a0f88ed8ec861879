#include <windows.h>

#include <string>

#include "cmdline/usage_box.h"
#include "cmdline/usage_text.h"
#include "process/exit_status.h"
#include "process/standard_error.h"
#include "text/wide_text.h"

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

}  // namespace

int ShowUsage() {
  bool shown = false;
  if (SomebodyCanAnswer(ThisDesktop())) {
    const std::wstring text = WideFromWtf8(kUsageText).value_or(std::wstring());
    const std::wstring caption = WideFromWtf8(kUsageCaption).value_or(std::wstring());
    // 0 when it fails (Wine gives -1, as the dialog call does).
    shown = MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_ICONINFORMATION | MB_OK) > 0;
  }
  if (!shown)
    WriteToStandardError(kUsageText + std::string("\r\n"));
  return kExitUsage;
}
