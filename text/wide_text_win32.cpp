#include "text/wide_text.h"
#include "text/wtf8.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t holds one UTF-16 code unit");

std::string Wtf8FromWide(std::wstring_view wide) {
  return Wtf8FromUtf16(std::u16string(wide.begin(), wide.end()));
}

std::optional<std::wstring> WideFromWtf8(std::string_view text) {
  const std::optional<std::u16string> units = Utf16FromWtf8(text);
  if (!units)
    return std::nullopt;
  return std::wstring(units->begin(), units->end());
}
