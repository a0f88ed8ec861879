// Text inside Morlex is WTF-8: UTF-8, generalised so that any sequence of
// UTF-16 code units converts, unpaired surrogates included, and converts back
// to the same units. No byte of a character beyond ASCII is below 0x80, so
// quotes, blanks, "/" and ";" are found exactly by looking at bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// A surrogate pair becomes one four-byte character; an unpaired surrogate
// becomes three bytes of its own.
std::string Wtf8FromUtf16(std::u16string_view units);

// The code units back. Three-byte surrogates that stand side by side give
// their units side by side, so that joined texts convert like their parts.
// Nothing when the bytes are not WTF-8.
std::optional<std::u16string> Utf16FromWtf8(std::string_view text);

// Text for readers that take only UTF-8 (a pipe, a file): each unpaired
// surrogate becomes U+FFFD; everything else is kept. Bytes that are not
// WTF-8 give U+FFFD alone.
std::string Utf8FromWtf8(std::string_view text);
