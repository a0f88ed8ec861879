// Morlex: makes one environment variable persistent in the user or the
// system scope, and tells running programs that the environment changed.

#include <windows.h>

#include <cstdlib>
#include <cstring>
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

namespace {

// Memory ran out before anything was written.
constexpr int kExitOutOfMemory = 2;

[[noreturn]] void ShowUsageAndExit() {
  MessageBoxA(nullptr, kUsageText, kUsageCaption, MB_ICONINFORMATION | MB_OK);
  std::exit(1);
}

// DLLs that system DLLs load later (for the usage box, say) come from the
// system directory only, never from beside Morlex.exe. The call is looked up,
// since Windows 7 has it only with an update.
void LoadDllsFromSystemDirectoryOnly() {
  using SetDirectories = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel)
    return;
  const FARPROC found = GetProcAddress(kernel, "SetDefaultDllDirectories");
  if (found)
    reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(found))(
        LOAD_LIBRARY_SEARCH_SYSTEM32);
}

LeadBytes AnsiLeadBytes() {
  LeadBytes leadBytes;
  for (unsigned byte = 0x80; byte <= 0xFF; ++byte)
    leadBytes[byte] = IsDBCSLeadByte(static_cast<BYTE>(byte)) != FALSE;
  return leadBytes;
}

std::optional<std::string> OwnModulePath() {
  char buffer[260];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (length == 0)
    return std::nullopt;
  return std::string(buffer, strnlen(buffer, length));
}

int RunUpdate() {
  LoadDllsFromSystemDirectoryOnly();
  const ArgumentVector args =
      SplitCommandTail(CommandTailOf(GetCommandLineA(), AnsiLeadBytes()), OwnModulePath());
  const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
  if (!request)
    ShowUsageAndExit();

  const EnvLocation location = LocationForScope(request->systemScope);
  const std::string& name = *request->name;
  if (request->addEntry || request->removeEntry) {
    // Read, change and write back under the scope's lock; the notice goes
    // out after it is released.
    const ScopeLock lock(request->systemScope);
    const std::optional<std::string> newList =
        UpdatePathList(*request, ReadRegistryString(location, name));
    if (newList)
      WriteRegistryValue(location, name, *newList, kRegExpandSz);
  } else if (request->value) {
    WriteRegistryValue(location, name, *request->value, kRegExpandSz);
  } else {
    DeleteRegistryValue(location, name);
  }
  AnnounceEnvironmentChange();
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*tail*/, int /*show*/) {
  try {
    return RunUpdate();
  } catch (const std::bad_alloc&) {
    return kExitOutOfMemory;
  }
}
