#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

#include "cmdline/standard_error.h"
#include "text/wide_text.h"
#include "text/wtf8.h"

namespace {

// Writes every byte, or stops at the first write that fails.
void WriteAll(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 16));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0)
      return;
    bytes.remove_prefix(written);
  }
}

void WriteAllToConsole(HANDLE handle, std::wstring_view units) {
  while (!units.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(units.size(), 1 << 14));
    DWORD written = 0;
    if (!WriteConsoleW(handle, units.data(), chunk, &written, nullptr) || written == 0)
      return;
    units.remove_prefix(written);
  }
}

}  // namespace

void WriteToStandardError(std::string_view text) noexcept {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  if (!handle || handle == INVALID_HANDLE_VALUE)
    return;
  try {
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
      const std::optional<std::wstring> units = WideFromWtf8(text);
      if (units)
        WriteAllToConsole(handle, *units);
    } else {
      WriteAll(handle, Utf8FromWtf8(text));
    }
  } catch (const std::bad_alloc&) {
    // Nothing more can be said.
  }
}

std::string SystemMessage(std::uint32_t error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(buffer, LocalFree);
  if (length == 0 || !buffer)
    return {};
  return Wtf8FromWide(std::wstring_view(buffer, length));
}
