#include "text/wtf8.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using namespace std::string_literals;

TEST(Wtf8, ConvertsBothWays) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"", ""},
      {u"C:\\A /s;\"x\"", "C:\\A /s;\"x\""},
      {u"\0"s, "\0"s},
      {u"\u0080\u07FF\u0800\uFFFF", "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {u"\u00E9\u0141", "\xC3\xA9\xC5\x81"},
      {u"\u7530\u4E2D", "\xE7\x94\xB0\xE4\xB8\xAD"},
      // Fullwidth look-alikes of '"', '/' and ';' hold no ASCII byte.
      {u"\uFF02\uFF0F\uFF1B", "\xEF\xBC\x82\xEF\xBC\x8F\xEF\xBC\x9B"},
      {u"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
      // Unpaired surrogates, alone, reversed and at either end.
      {{0xD800}, "\xED\xA0\x80"},
      {{0xDFFF}, "\xED\xBF\xBF"},
      {{0xDC00, 0xD800}, "\xED\xB0\x80\xED\xA0\x80"},
      {{u'a', 0xDBFF}, "a\xED\xAF\xBF"},
      {{0xDC00, u'z', 0xD83D, 0xDE00}, "\xED\xB0\x80z\xF0\x9F\x98\x80"},
  };
  for (const auto& [units, bytes] : cases) {
    EXPECT_EQ(Wtf8FromUtf16(units), bytes);
    EXPECT_EQ(Utf16FromWtf8(bytes), units) << bytes;
  }
}

TEST(Wtf8, RefusesWhatIsNotWtf8) {
  // Surrogates side by side, as when two texts are joined, give the pair.
  EXPECT_EQ(Utf16FromWtf8("\xED\xA0\xBD\xED\xB8\x80"), (std::u16string{0xD83D, 0xDE00}));
  for (const std::string bytes : {
           "\x80",
           "a\xBF",
           "\xC3",
           "\xC3Z",
           "\xE7\x94",
           "\xF0\x9F\x98",  // cut short
           "\xC0\x80",
           "\xC1\xBF",
           "\xE0\x9F\xBF",
           "\xF0\x8F\xBF\xBF",  // overlong
           "\xF4\x90\x80\x80",
           "\xF5\x80\x80\x80",
           "\xF8\x88\x80\x80\x80",
           "\xFF",
       })
    EXPECT_EQ(Utf16FromWtf8(bytes), std::nullopt) << bytes;
}

TEST(Wtf8, Utf8ReplacesOnlyUnpairedSurrogates) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\A \xE7\x94\xB0\xF0\x9F\x98\x80", "C:\\A \xE7\x94\xB0\xF0\x9F\x98\x80"},
      {"a\xED\xA0\x80z\xED\xBF\xBF", "a\xEF\xBF\xBDz\xEF\xBF\xBD"},
      {"\xED\xB0\x80\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // reversed: no pair
      {"\xED\xA0\xBD\xED\xB8\x80", "\xF0\x9F\x98\x80"},          // joined halves: one pair
      {"\xFF", "\xEF\xBF\xBD"},
  };
  for (const auto& [wtf8, utf8] : cases)
    EXPECT_EQ(Utf8FromWtf8(wtf8), utf8) << wtf8;
}

}  // namespace
