#include "store/registry_data.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using namespace std::string_literals;

constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegMultiSz = 7;

struct DataCase {
  std::uint32_t type;
  std::string data;                 // little-endian UTF-16 as the registry holds it
  std::optional<std::string> text;  // nothing: may not be rewritten
  ReadStatus status = ReadStatus::Found;
};

TEST(TextFromRegistryData, TakesOnlyWhatSurvivesARewrite) {
  const DataCase cases[] = {
      {kRegSz, "C\0:\0\\\0A\0\0\0"s, "C:\\A"},
      {kRegExpandSz, "%\0A\0%\0\0\0"s, "%A%"},
      {kRegSz, "C\0:\0"s, "C:"},  // stored without its terminator
      {kRegSz, ""s, ""},
      {kRegSz, "\0\0"s, ""},
      {kRegSz, "a\0\0\0\0\0\0\0"s, "a"},  // NUL padding is no data
      {kRegSz, "\x30\x75\x2D\x4E\0\0"s, "\xE7\x94\xB0\xE4\xB8\xAD"},
      {kRegSz, "\x00\xD8;\0\x00\xDC\0\0"s, "\xED\xA0\x80;\xED\xB0\x80"},
      {kRegSz, "a\0\0\0b\0\0\0"s, std::nullopt, ReadStatus::TextAfterNul},
      {kRegSz, "\0\0C\0:\0\0\0"s, std::nullopt, ReadStatus::TextAfterNul},
      {kRegSz, "a\0b"s, std::nullopt, ReadStatus::HalfUnit},
      {kRegSz, "\0"s, std::nullopt, ReadStatus::HalfUnit},
      {kRegMultiSz, "a\0\0\0b\0\0\0\0\0"s, std::nullopt, ReadStatus::NotText},
      {kRegMultiSz, "a\0\0\0\0\0"s, std::nullopt, ReadStatus::NotText},
      {kRegDword, "\x2A\0\0\0"s, std::nullopt, ReadStatus::NotText},
      {kRegBinary, "a\0"s, std::nullopt, ReadStatus::NotText},
      {0, "a\0\0\0"s, std::nullopt, ReadStatus::NotText},
  };
  for (const DataCase& c : cases) {
    EXPECT_EQ(TextFromRegistryData(c.type, c.data), c.text) << c.type << ": " << c.data;
    EXPECT_EQ(RegistryDataStatus(c.type, c.data), c.status) << c.type << ": " << c.data;
  }
}

TEST(RegistryDataFor, StoresUtf16AndItsTerminator) {
  const DataCase cases[] = {
      {kRegExpandSz, "\0\0"s, ""},
      {kRegExpandSz, "C\0:\0\0\0"s, "C:"},
      {kRegSz, "\x3D\xD8\x00\xDE\0\0"s, "\xF0\x9F\x98\x80"},
      {kRegSz, "\x00\xD8;\0\x00\xDC\0\0"s, "\xED\xA0\x80;\xED\xB0\x80"},
      {kRegSz, "\x30\x75\x2D\x4E\0\0"s, "\xE7\x94\xB0\xE4\xB8\xAD"},
      {kRegDword, "abcd"s, "abcdef"},
  };
  for (const DataCase& c : cases)
    EXPECT_EQ(RegistryDataFor(c.type, *c.text), c.data) << *c.text;
  EXPECT_EQ(RegistryDataFor(kRegSz, "\xFF"), std::nullopt);   // not WTF-8
  EXPECT_EQ(RegistryDataFor(kRegDword, "ab"), std::nullopt);  // too short for 4 bytes
  EXPECT_EQ(RegistryDataFor(0, "ab"), std::nullopt);
  EXPECT_EQ(RegistryDataFor(kRegBinary, "ab"), std::nullopt);
}

TEST(RegistryTypeName, NamesEachType) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0, "REG_NONE"},     {1, "REG_SZ"},     {3, "REG_BINARY"}, {4, "REG_DWORD"},
      {7, "REG_MULTI_SZ"}, {11, "REG_QWORD"}, {12, "type 12"},   {0xFFFFFFFF, "type 4294967295"},
  };
  for (const auto& [type, name] : cases)
    EXPECT_EQ(RegistryTypeName(type), name);
}

}  // namespace
