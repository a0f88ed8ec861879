#include <windows.h>

#include <memory>
#include <string>

#include "text/wide_text.h"
#include "update/messages.h"

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
