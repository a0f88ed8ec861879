#include "envstore/envstore.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(StringFromRegistryData, EndsAtTheFirstNulOrTheLastByte) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\A\0"s, "C:\\A"},
      {"C:\\A"s, "C:\\A"},  // stored without its terminator
      {""s, ""},
      {"\0"s, ""},
      {"a\0b\0"s, "a"},
      {"\x2A\0\0\0"s, "\x2A"},  // a REG_DWORD of 42
  };
  for (const auto& [data, text] : cases)
    EXPECT_EQ(StringFromRegistryData(data), text);
}

TEST(RegistryByteCount, CountsTheTerminatorOfText) {
  EXPECT_EQ(RegistryByteCount(kRegExpandSz, ""), 1u);
  EXPECT_EQ(RegistryByteCount(kRegExpandSz, "C:\\A"), 5u);
  EXPECT_EQ(RegistryByteCount(kRegSz, "ab"), 3u);
  EXPECT_EQ(RegistryByteCount(kRegDword, "abcd"), 4u);
  EXPECT_EQ(RegistryByteCount(kRegDword, "ab"), std::nullopt);  // too short to read 4 bytes
  EXPECT_EQ(RegistryByteCount(0, "ab"), std::nullopt);
  EXPECT_EQ(RegistryByteCount(3, "ab"), std::nullopt);
}

}  // namespace
