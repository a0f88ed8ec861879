// The system folder, and DLLs and calls loaded from it: a DLL of the same
// name beside Morlex.exe is never loaded, least of all as SYSTEM.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// The system folder ("C:\Windows\System32"); nothing when it cannot be had.
std::optional<std::wstring> SystemFolder();

// A DLL from the system folder only, by its full path; it stays loaded until
// the process ends. Null when it cannot be loaded.
HMODULE SystemLibrary(const wchar_t* name);

// A call of a loaded DLL, as the type it is declared with; null when the DLL
// or the call is not there.
template <typename Function>
Function* ProcAddress(HMODULE library, const char* name) {
  if (!library)
    return nullptr;
  return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}
