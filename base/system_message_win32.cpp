#include <windows.h>

#include <string>

#include "base/handles_win32.h"
#include "base/system_message.h"
#include "text/wide_text.h"

std::string SystemMessage(std::uint32_t error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const LocalMemory owned(buffer);
  if (length == 0 || !buffer)
    return {};
  return Wtf8FromWide(std::wstring_view(buffer, length));
}
