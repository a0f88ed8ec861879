// Morlex: makes one environment variable persistent in the user or the
// system scope, and tells running programs that the environment changed.

#include <windows.h>

#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "cmdline/command_tail.h"
#include "cmdline/refusal.h"
#include "cmdline/split_command_tail.h"
#include "cmdline/standard_error.h"
#include "cmdline/update_request.h"
#include "cmdline/usage_text.h"
#include "envstore/envstore.h"
#include "envstore/scope_lock.h"
#include "pathlist/path_list_update.h"
#include "text/wide_text.h"

namespace {

constexpr int kExitUsage = 1;
// Memory ran out before anything was written.
constexpr int kExitOutOfMemory = 2;
// Nothing was changed: the registry refused, the stored list may not be
// rewritten, or the scope's lock could not be had.
constexpr int kExitNothingChanged = 3;

// Whether anybody can see a box shown now. A service's or a deployment
// agent's window station is not visible, and a box there would wait for
// ever. When it cannot be told, the station is taken as visible.
bool WindowStationIsVisible() {
  USEROBJECTFLAGS flags = {};
  HWINSTA station = GetProcessWindowStation();
  if (!station || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
    return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// The usage box where it can be seen and closed; otherwise, or when it cannot
// be shown, the usage text goes to standard error.
[[noreturn]] void ShowUsageAndExit() {
  bool shown = false;
  if (WindowStationIsVisible()) {
    const std::wstring text = WideFromWtf8(kUsageText).value_or(std::wstring());
    const std::wstring caption = WideFromWtf8(kUsageCaption).value_or(std::wstring());
    // 0 when it fails (Wine gives -1, as the dialog call does).
    shown = MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_ICONINFORMATION | MB_OK) > 0;
  }
  if (!shown) {
    WriteToStandardError(kUsageText);
    WriteToStandardError("\r\n");
  }
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

std::optional<Refusal> RefusalOf(StoreError error) {
  if (error == 0)
    return std::nullopt;
  return Refusal{RefusalCause::Registry, error};
}

// Every write of Path holds the scope's lock: a set, and the read, change
// and write-back of /a and /r, so that no run undoes another's.
std::optional<Refusal> WritePathUnderLock(const UpdateRequest& request,
                                          const EnvLocation& location) {
  const ScopeLock lock(request.systemScope);
  if (!lock.held)
    return Refusal{lock.error ? RefusalCause::LockFailed : RefusalCause::LockTimedOut, lock.error};
  const std::string& name = *request.name;
  if (!request.addEntry && !request.removeEntry)
    return RefusalOf(WriteRegistryValue(location, name, *request.value, kRegExpandSz));

  const StoredString stored = ReadRegistryString(location, name);
  const PathListUpdate update =
      UpdatePathList(request.addEntry ? PathEdit::Add : PathEdit::Remove, *request.value, stored);
  if (!update.newList)
    return update.alreadyDone ? std::nullopt : std::optional(RefusalOfRead(stored));
  const StoreError error = WriteRegistryValue(location, name, *update.newList, kRegExpandSz);
  // A list that is as asked already stays done when its write-back is refused.
  return update.alreadyDone ? std::nullopt : RefusalOf(error);
}

// Says on standard error why nothing was changed, where a caller reads it.
void ReportRefusal(const UpdateRequest& request, const Refusal& refusal) noexcept {
  try {
    const std::string message = refusal.error ? SystemMessage(refusal.error) : std::string();
    WriteToStandardError(RefusalLine(request, refusal, message));
  } catch (const std::bad_alloc&) {
    WriteToStandardError(kOutOfMemoryLine);
  }
}

int RunUpdate() {
  LoadDllsFromSystemDirectoryOnly();
  const std::string commandLine = Wtf8FromWide(GetCommandLineW());
  const ArgumentVector args = SplitCommandTail(CommandTailOf(commandLine), OwnModulePath());
  const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
  if (!request)
    ShowUsageAndExit();

  const EnvLocation location = LocationForScope(request->systemScope);
  std::optional<Refusal> refusal;
  if (IsPathName(*request->name))
    refusal = WritePathUnderLock(*request, location);
  else if (request->value)
    refusal =
        RefusalOf(WriteRegistryValue(location, *request->name, *request->value, kRegExpandSz));
  else
    refusal = RefusalOf(DeleteRegistryValue(location, *request->name));
  if (refusal)
    ReportRefusal(*request, *refusal);
  // The lock is released by now: the notice goes out without it.
  AnnounceEnvironmentChange();
  return refusal ? kExitNothingChanged : 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*tail*/, int /*show*/) {
  try {
    return RunUpdate();
  } catch (const std::bad_alloc&) {
    WriteToStandardError(kOutOfMemoryLine);
    return kExitOutOfMemory;
  }
}
