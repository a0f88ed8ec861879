// Windows' wide strings, whose wchar_t is one UTF-16 code unit, to and from
// WTF-8. Every platform call that takes or gives text goes through these.
#pragma once

#include <optional>
#include <string>
#include <string_view>

std::string Wtf8FromWide(std::wstring_view wide);

// Nothing when text is not WTF-8.
std::optional<std::wstring> WideFromWtf8(std::string_view text);
