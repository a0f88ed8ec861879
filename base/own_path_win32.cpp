#include "base/own_path_win32.h"

#include <windows.h>

std::optional<std::wstring> OwnExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const auto size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0)
      return std::nullopt;
    if (length < size) {
      buffer.resize(length);
      return buffer;
    }
    if (size >= 32768)
      return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}
