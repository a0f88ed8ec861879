#include "base/system_library_win32.h"

std::optional<std::wstring> SystemFolder() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return std::nullopt;
  return std::wstring(folder, length);
}

HMODULE SystemLibrary(const wchar_t* name) {
  const std::optional<std::wstring> folder = SystemFolder();
  if (!folder)
    return nullptr;
  const std::wstring path = *folder + L"\\" + name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
