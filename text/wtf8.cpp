#include "text/wtf8.h"

namespace {

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void AppendCodePoint(std::string& out, char32_t c) {
  const auto byte = [&out](char32_t b) { out.push_back(static_cast<char>(b)); };
  if (c < 0x80) {
    byte(c);
  } else if (c < 0x800) {
    byte(0xC0 | (c >> 6));
    byte(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    byte(0xE0 | (c >> 12));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  } else {
    byte(0xF0 | (c >> 18));
    byte(0x80 | ((c >> 12) & 0x3F));
    byte(0x80 | ((c >> 6) & 0x3F));
    byte(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string Wtf8FromUtf16(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t u = units[i];
    if (IsHighSurrogate(u) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      AppendCodePoint(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      AppendCodePoint(out, u);
    }
  }
  return out;
}

std::optional<std::u16string> Utf16FromWtf8(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t c = 0;
    char32_t least = 0;  // the smallest code point this length may carry
    if (lead < 0x80) {
      length = 1;
      c = lead;
    } else if (lead >= 0xC0 && lead < 0xE0) {
      length = 2;
      c = lead & 0x1F;
      least = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3;
      c = lead & 0x0F;
      least = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      length = 4;
      c = lead & 0x07;
      least = 0x10000;
    } else {
      return std::nullopt;
    }
    if (length > text.size() - i)
      return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80)
        return std::nullopt;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF)
      return std::nullopt;  // an overlong form, or beyond Unicode
    if (c < 0x10000) {
      units.push_back(static_cast<char16_t>(c));
    } else {
      units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
    i += length;
  }
  return units;
}

std::string Utf8FromWtf8(std::string_view text) {
  std::u16string units = Utf16FromWtf8(text).value_or(u"\uFFFD");
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1]))
      ++i;
    else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i]))
      units[i] = u'\uFFFD';
  }
  return Wtf8FromUtf16(units);
}
