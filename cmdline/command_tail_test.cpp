#include "cmdline/command_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct TailCase {
  std::string commandLine;
  bool shiftJisLeadBytes;
  std::string tail;
};

LeadBytes ShiftJisLeadBytes() {
  LeadBytes lead;
  for (unsigned b = 0x81; b <= 0x9F; ++b)
    lead[b] = true;
  for (unsigned b = 0xE0; b <= 0xFC; ++b)
    lead[b] = true;
  return lead;
}

TEST(CommandTailOf, CutsTheProgramNameAndTheBlanksAfterIt) {
  const TailCase cases[] = {
      {"\"C:\\Program Files\\Morlex.exe\" /s X 1", false, "/s X 1"},
      {"\"Morlex.exe\"a b", false, "a b"},  // no blank needed after a quoted name
      {"Morlex.exe a b", false, "a b"},
      {"Morlex.exe\"a b\" c", false, "b\" c"},  // unquoted: every byte above 0x20
      {"Mor\xE9lex.exe\xA0x y", false, "y"},
      {"Morlex.exe", false, ""},
      {"Morlex.exe \t\r\n\x01\x1F x ", false, "x "},
      {"\"Morlex.exe", false, ""},  // never closed
      {"\"\" a", false, "a"},
      {"Morlex.exe\x7F a", false, "a"},
      {"", false, ""},
      // A lead byte takes the next byte along, so 0x22 after it closes nothing.
      {"\"C:\\\x81\"\\M.exe\" a", true, "a"},
      {"\"C:\\\x81\"\\M.exe\" a", false, "\\M.exe\" a"},
      {"\"C:\\\x81", true, ""},  // a lead byte as the last byte
      {"\"\x81\"", true, ""},
  };
  for (const TailCase& c : cases) {
    const LeadBytes lead = c.shiftJisLeadBytes ? ShiftJisLeadBytes() : LeadBytes();
    EXPECT_EQ(CommandTailOf(c.commandLine, lead), c.tail) << c.commandLine;
  }
}

}  // namespace
