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
#include "cmdline/usage_text.h"
#include "envstore/envstore.h"
#include "envstore/scope_lock.h"
#include "pathlist/path_list_update.h"
#include "text/wide_text.h"

namespace {

// Memory ran out before anything was written.
constexpr int kExitOutOfMemory = 2;
// Nothing was changed: the registry refused, the stored list may not be
// rewritten, or the scope's lock could not be had.
constexpr int kExitNothingChanged = 3;

[[noreturn]] void ShowUsageAndExit() {
  const std::wstring text = WideFromWtf8(kUsageText).value_or(std::wstring());
  const std::wstring caption = WideFromWtf8(kUsageCaption).value_or(std::wstring());
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_ICONINFORMATION | MB_OK);
  std::exit(1);
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

// Reads the list, changes it and writes it back under the scope's lock.
// Whether the list is as asked afterwards.
bool UpdateStoredPathList(const UpdateRequest& request, const EnvLocation& location) {
  const ScopeLock lock(request.systemScope);
  if (!lock.held)
    return false;
  const std::string& name = *request.name;
  const PathListUpdate update = UpdatePathList(request, ReadRegistryString(location, name));
  const bool written =
      update.newList && WriteRegistryValue(location, name, *update.newList, kRegExpandSz);
  return written || update.alreadyDone;
}

int RunUpdate() {
  LoadDllsFromSystemDirectoryOnly();
  const std::string commandLine = Wtf8FromWide(GetCommandLineW());
  const ArgumentVector args = SplitCommandTail(CommandTailOf(commandLine), OwnModulePath());
  const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
  if (!request)
    ShowUsageAndExit();

  const EnvLocation location = LocationForScope(request->systemScope);
  bool done = false;
  if (request->addEntry || request->removeEntry)
    done = UpdateStoredPathList(*request, location);
  else if (request->value)
    done = WriteRegistryValue(location, *request->name, *request->value, kRegExpandSz);
  else
    done = DeleteRegistryValue(location, *request->name);
  // The lock is released by now: the notice goes out without it.
  AnnounceEnvironmentChange();
  return done ? 0 : kExitNothingChanged;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*tail*/, int /*show*/) {
  try {
    return RunUpdate();
  } catch (const std::bad_alloc&) {
    return kExitOutOfMemory;
  }
}
