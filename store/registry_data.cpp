#include "store/registry_data.h"

#include <algorithm>
#include <iterator>

#include "text/wtf8.h"

namespace {

// The registry keeps UTF-16 units little-endian.
std::u16string UnitsOf(std::string_view data) {
  std::u16string units(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                     static_cast<unsigned char>(data[2 * i + 1]) << 8);
  return units;
}

// NotText or HalfUnit when the type and size hold no whole UTF-16 text;
// Found otherwise.
ReadStatus ShapeOf(std::uint32_t type, std::size_t size) {
  if (type != kRegSz && type != kRegExpandSz)
    return ReadStatus::NotText;
  if (size % 2 != 0)
    return ReadStatus::HalfUnit;
  return ReadStatus::Found;
}

// Whether anything but NUL units follows the first NUL: a rewrite would lose it.
bool HasTextAfterNul(std::u16string_view units) {
  const std::size_t end = units.find(u'\0');
  return end != std::u16string_view::npos &&
         units.find_first_not_of(u'\0', end) != std::u16string_view::npos;
}

}  // namespace

ReadStatus RegistryDataStatus(std::uint32_t type, std::string_view data) {
  const ReadStatus shape = ShapeOf(type, data.size());
  if (shape != ReadStatus::Found)
    return shape;
  return HasTextAfterNul(UnitsOf(data)) ? ReadStatus::TextAfterNul : ReadStatus::Found;
}

std::optional<std::string> TextFromRegistryData(std::uint32_t type, std::string_view data) {
  if (ShapeOf(type, data.size()) != ReadStatus::Found)
    return std::nullopt;
  std::u16string units = UnitsOf(data);
  if (HasTextAfterNul(units))
    return std::nullopt;
  units.resize(std::min(units.find(u'\0'), units.size()));
  return Wtf8FromUtf16(units);
}

std::optional<std::string> RegistryDataFor(std::uint32_t type, std::string_view data) {
  if (type == kRegDword && data.size() >= 4)
    return std::string(data.substr(0, 4));
  if (type != kRegSz && type != kRegExpandSz)
    return std::nullopt;
  const std::optional<std::u16string> units = Utf16FromWtf8(data);
  if (!units)
    return std::nullopt;
  std::string bytes;
  bytes.reserve((units->size() + 1) * 2);
  for (const char16_t unit : *units) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  bytes.append(2, '\0');
  return bytes;
}

std::string RegistryTypeName(std::uint32_t type) {
  static constexpr const char* kNames[] = {
      "REG_NONE",
      "REG_SZ",
      "REG_EXPAND_SZ",
      "REG_BINARY",
      "REG_DWORD",
      "REG_DWORD_BIG_ENDIAN",
      "REG_LINK",
      "REG_MULTI_SZ",
      "REG_RESOURCE_LIST",
      "REG_FULL_RESOURCE_DESCRIPTOR",
      "REG_RESOURCE_REQUIREMENTS_LIST",
      "REG_QWORD",
  };
  if (type < std::size(kNames))
    return kNames[type];
  return "type " + std::to_string(type);
}
