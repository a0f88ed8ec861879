#include "cmdline/command_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CommandTailOf, CutsTheProgramNameAndTheBlanksAfterIt) {
  const std::pair<std::string, std::string> cases[] = {
      {"\"C:\\Program Files\\Morlex.exe\" /s X 1", "/s X 1"},
      {"\"Morlex.exe\"a b", "a b"},  // no blank needed after a quoted name
      {"Morlex.exe a b", "a b"},
      {"Morlex.exe\"a b\" c", "b\" c"},  // unquoted: every byte above 0x20
      {"Morlex.exe", ""},
      {"Morlex.exe \t\r\n\x01\x1F x ", "x "},
      {"\"Morlex.exe", ""},  // never closed
      {"\"\" a", "a"},
      {"Morlex.exe\x7F a", "a"},
      {"", ""},
      // Characters beyond ASCII are neither quotes nor blanks: U+7530 U+4E2D,
      // U+3000 (an ideographic space), U+00A0 and U+FF02 (a fullwidth quote).
      {"\"C:\\\xE7\x94\xB0\xE4\xB8\xAD\\M.exe\" a", "a"},
      {"Mor\xE3\x80\x80lex.exe\xC2\xA0x y", "y"},
      {"\xEF\xBC\x82M.exe\xEF\xBC\x82 a", "a"},
      {"\"C:\\\xEF\xBC\x82\\M.exe\" a", "a"},
  };
  for (const auto& [commandLine, tail] : cases)
    EXPECT_EQ(CommandTailOf(commandLine), tail) << commandLine;
}

}  // namespace
