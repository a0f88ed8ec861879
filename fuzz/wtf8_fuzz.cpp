// Feeds arbitrary code units and arbitrary bytes through the WTF-8
// conversion, and asserts what must hold for any of them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "text/wtf8.h"

namespace {

void Require(bool holds) {
  if (!holds)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The input as UTF-16 code units: the round trip gives every unit back, and
  // only ASCII units give bytes below 0x80.
  std::u16string units(size / 2, u'\0');
  std::size_t asciiUnits = 0;
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    asciiUnits += units[i] < 0x80 ? 1 : 0;
  }
  const std::string text = Wtf8FromUtf16(units);
  Require(Utf16FromWtf8(text) == units);
  const auto asciiBytes = std::count_if(
      text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  Require(static_cast<std::size_t>(asciiBytes) == asciiUnits);
  Require(text.size() <= 3 * units.size());

  // The input as bytes: what converts converts back to the same units.
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<std::u16string> decoded = Utf16FromWtf8(bytes);
  if (decoded)
    Require(Utf16FromWtf8(Wtf8FromUtf16(*decoded)) == decoded);
  return 0;
}
