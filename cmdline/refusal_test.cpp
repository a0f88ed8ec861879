#include "cmdline/refusal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct LineCase {
  std::vector<std::string> tokens;
  Refusal refusal;
  std::string systemMessage;
  std::string line;
};

const std::string kUser = " in the user environment (HKEY_CURRENT_USER\\Environment): ";
const std::string kSystem =
    " in the system environment (HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\"
    "Session Manager\\Environment): ";

TEST(RefusalLine, SaysWhatWasRefusedWhereAndWhy) {
  const LineCase cases[] = {
      {{"MYVAR", "v"},
       {RefusalCause::Registry, 5},
       "Access is denied.\r\n",
       "Morlex: cannot set \"MYVAR\"" + kUser +
           "the registry refused with error 5: Access is denied."},
      {{"/s", "MYVAR"},
       {RefusalCause::Registry, 5},
       "Access is denied.\r\n",
       "Morlex: cannot delete \"MYVAR\"" + kSystem +
           "the registry refused with error 5: Access is denied."},
      {{"MYVAR", "v"},
       {RefusalCause::Registry, 2},
       "File not found.\r\n",
       "Morlex: cannot set \"MYVAR\"" + kUser + "the key does not exist, error 2: File not found."},
      // A message of several lines, and none at all.
      {{"MYVAR", "v"},
       {RefusalCause::Registry, 1234},
       " Two\r\n\tlines \r\n",
       "Morlex: cannot set \"MYVAR\"" + kUser + "the registry refused with error 1234: Two lines."},
      {{"MYVAR", "v"},
       {RefusalCause::Registry, 1234},
       "",
       "Morlex: cannot set \"MYVAR\"" + kUser + "the registry refused with error 1234."},
      {{"/a", "Path", "C:\\Tools"},
       {RefusalCause::PathNotText, 0, 7},
       "",
       "Morlex: cannot add \"C:\\Tools\" to \"Path\"" + kUser +
           "the stored value is REG_MULTI_SZ, not text, and is left as it is."},
      {{"/s", "/r", "PATH", "C:\\Tools"},
       {RefusalCause::PathNotText, 0, 4},
       "",
       "Morlex: cannot remove \"C:\\Tools\" from \"PATH\"" + kSystem +
           "the stored value is REG_DWORD, not text, and is left as it is."},
      {{"/r", "Path", "C:\\A"},
       {RefusalCause::PathAfterNul},
       "",
       "Morlex: cannot remove \"C:\\A\" from \"Path\"" + kUser +
           "the stored value holds data after a NUL, which a rewrite would lose, and is left as "
           "it is."},
      {{"/a", "Path", "C:\\A"},
       {RefusalCause::PathHalfUnit},
       "",
       "Morlex: cannot add \"C:\\A\" to \"Path\"" + kUser +
           "the stored value ends in half a UTF-16 unit, which a rewrite would lose, and is left "
           "as it is."},
      {{"Path", "C:\\Set"},
       {RefusalCause::LockTimedOut},
       "",
       "Morlex: cannot set \"Path\"" + kUser +
           "another run held the lock Local\\Morlex.Environment.User for more than 10 s."},
      {{"/s", "/a", "Path", "C:\\A"},
       {RefusalCause::LockFailed, 6},
       "Invalid handle.",
       "Morlex: cannot add \"C:\\A\" to \"Path\"" + kSystem +
           "the name of the lock Global\\Morlex.Environment.System is taken by an object that is "
           "not a mutex."},
      {{"/a", "Path", "C:\\A"},
       {RefusalCause::LockFailed, 5},
       "Access is denied.",
       "Morlex: cannot add \"C:\\A\" to \"Path\"" + kUser +
           "the lock Local\\Morlex.Environment.User cannot be had, error 5: Access is denied."},
      // The line stays one line, whatever the name and value hold.
      {{"/a", "Path", "C:\\a\r\nb\x7F\xE7\x94\xB0"},
       {RefusalCause::PathHalfUnit},
       "",
       "Morlex: cannot add \"C:\\a??b?\xE7\x94\xB0\" to \"Path\"" + kUser +
           "the stored value ends in half a UTF-16 unit, which a rewrite would lose, and is left "
           "as it is."},
  };
  for (const LineCase& c : cases) {
    ArgumentVector args;
    args.tokens = c.tokens;
    const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
    ASSERT_TRUE(request) << ::testing::PrintToString(c.tokens);
    EXPECT_EQ(RefusalLine(*request, c.refusal, c.systemMessage), c.line + "\r\n");
  }
}

TEST(RefusalOfRead, NamesWhyTheStoredListIsLeftAlone) {
  const std::pair<StoredString, RefusalCause> cases[] = {
      {{ReadStatus::NotText, "", 7, 0}, RefusalCause::PathNotText},
      {{ReadStatus::TextAfterNul, "", 1, 0}, RefusalCause::PathAfterNul},
      {{ReadStatus::HalfUnit, "", 1, 0}, RefusalCause::PathHalfUnit},
      {{ReadStatus::Failed, "", 0, 5}, RefusalCause::Registry},
  };
  for (const auto& [stored, cause] : cases) {
    const Refusal refusal = RefusalOfRead(stored);
    EXPECT_EQ(refusal.cause, cause);
    EXPECT_EQ(refusal.error, stored.error);
    EXPECT_EQ(refusal.type, cause == RefusalCause::PathNotText ? stored.type : 0u);
  }
}

}  // namespace
