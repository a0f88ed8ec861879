#include "cmdline/split_command_tail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SplitCase {
  std::string tail;
  std::vector<std::string> tokens;
};

TEST(SplitCommandTail, Tokens) {
  const SplitCase cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"/a Path C:\\Tools", {"/a", "Path", "C:\\Tools"}},
      {"Path  /a\t\"C:\\Program Files\\Tool\"", {"Path", "/a", "C:\\Program Files\\Tool"}},
      {"X a\"b c\"d", {"X", "a\"b c\"d"}},
      {"X \"C:\\A\" B ", {"X", "C:\\A", "B"}},
      {"X \"abc", {"X", "\"abc"}},
      {"X \"\"", {"X", ""}},
      {"\"\"", {""}},
      {"X \"a\"b\"", {"X", "a\"b"}},
      {"X \"a b", {"X", "\"a b"}},  // an unclosed quote runs to the end
      {"\"/s\" MYVAR hello", {"/s", "MYVAR", "hello"}},
      {"a\"\"b c", {"a\"\"b", "c"}},
      {"\"a\"\"b\" c", {"a\"\"b", "c"}},
      // A lone double quote keeps its quote.
      {"\"", {"\""}},
      {"X \"", {"X", "\""}},
      {"X \t \"", {"X", "\""}},
      // Every whitespace byte separates, alone or in runs.
      {"a\tb\nc\vd\fe\rf g", {"a", "b", "c", "d", "e", "f", "g"}},
      {"a \t\n\v\f\r b", {"a", "b"}},
      {"a\r\n", {"a"}},
      // No other byte does.
      {"a\xA0"
       "b\x85"
       "c\x01"
       "d\x1F"
       "e\x7F"
       "f",
       {"a\xA0"
        "b\x85"
        "c\x01"
        "d\x1F"
        "e\x7F"
        "f"}},
      {"\xFF \x80", {"\xFF", "\x80"}},
      {"\"a \xA0 b\"", {"a \xA0 b"}},
      // WTF-8: a fullwidth quote (U+FF02) groups nothing, an ideographic
      // space (U+3000) separates nothing.
      {"X \xEF\xBC\x82x y\xEF\xBC\x82", {"X", "\xEF\xBC\x82x", "y\xEF\xBC\x82"}},
      {"x\xE3\x80\x80y", {"x\xE3\x80\x80y"}},
  };
  for (const SplitCase& c : cases) {
    const ArgumentVector args = SplitCommandTail(c.tail);
    EXPECT_EQ(args.tokens, c.tokens) << c.tail;
    EXPECT_LE(static_cast<int>(args.tokens.size()), CountTailSlots(c.tail)) << c.tail;
  }
}

TEST(CountTailSlots, CountsWhitespaceRunsOutsideQuotes) {
  const std::pair<const char*, int> cases[] = {
      {"", 1}, {"a", 1}, {"a b", 2}, {"a  \t b ", 3}, {"\"a b\" c", 2}, {"\" a b c", 1},
  };
  for (const auto& [tail, count] : cases)
    EXPECT_EQ(CountTailSlots(tail), count) << tail;
}

}  // namespace
