#include "update/messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cmdline/check_request.h"

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

std::string Times(int count, const std::string& text) {
  std::string repeated;
  for (int i = 0; i < count; ++i)
    repeated += text;
  return repeated;
}

const std::string kTa = "\xE7\x94\xB0";        // three bytes
const std::string kClef = "\xF0\x9D\x84\x9E";  // a surrogate pair, four bytes

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
       {RefusalCause::LockTimedOut, 0, 0, "Global\\Morlex.Environment.User.S-1-5-21-1-2-3-1001"},
       "",
       "Morlex: cannot set \"Path\"" + kUser +
           "another run held the lock \"Global\\Morlex.Environment.User.S-1-5-21-1-2-3-1001\" "
           "for more than 10 s; try again."},
      {{"Path", "C:\\Set"},
       {RefusalCause::LockInUse, 32, 0, "C:\\L\\Morlex"},
       "The process cannot access the file because it is being used by another process.",
       "Morlex: cannot set \"Path\"" + kUser +
           "another program kept the lock \"C:\\L\\Morlex\" open for more than 10 s, error 32: "
           "The process cannot access the file because it is being used by another process; try "
           "again."},
      {{"/s", "/a", "Path", "C:\\A"},
       {RefusalCause::LockUnsafe, 0, 0, "C:\\L\\Morlex\\Environment.System.lock"},
       "",
       "Morlex: cannot add \"C:\\A\" to \"Path\"" + kSystem +
           "the lock \"C:\\L\\Morlex\\Environment.System.lock\" or its folder may be opened or "
           "changed by another account, so it is no lock."},
      {{"/a", "Path", "C:\\A"},
       {RefusalCause::LockFailed, 5, 0, "C:\\L\\Morlex\\Environment.User.lock"},
       "Access is denied.",
       "Morlex: cannot add \"C:\\A\" to \"Path\"" + kUser +
           "the lock \"C:\\L\\Morlex\\Environment.User.lock\" cannot be had, error 5: "
           "Access is denied."},
      // The line stays one line, whatever the name and value hold.
      {{"/a", "Path", "C:\\a\r\nb\x7F\xE7\x94\xB0"},
       {RefusalCause::PathHalfUnit},
       "",
       "Morlex: cannot add \"C:\\a??b?\xE7\x94\xB0\" to \"Path\"" + kUser +
           "the stored value ends in half a UTF-16 unit, which a rewrite would lose, and is left "
           "as it is."},
      // A long name or value shows its beginning and its end, cut between
      // characters: never inside a multi-byte sequence or a surrogate pair.
      {{"/a", "Path", std::string(30000, 'x')},
       {RefusalCause::PathNotText, 0, 7},
       "",
       "Morlex: cannot add \"" + std::string(118, 'x') + "..." + std::string(118, 'x') +
           "\" to \"Path\"" + kUser +
           "the stored value is REG_MULTI_SZ, not text, and is left as it is."},
      {{std::string(20000, 'N'), "v"},
       {RefusalCause::Registry, 87},
       "The parameter is incorrect.",
       "Morlex: cannot set \"" + std::string(118, 'N') + "..." + std::string(118, 'N') + "\"" +
           kUser + "the registry refused with error 87: The parameter is incorrect."},
      {{"/r", "Path", Times(200, kTa)},
       {RefusalCause::PathAfterNul},
       "",
       "Morlex: cannot remove \"" + Times(39, kTa) + "..." + Times(39, kTa) + "\" from \"Path\"" +
           kUser +
           "the stored value holds data after a NUL, which a rewrite would lose, and is left as "
           "it is."},
      {{Times(100, kClef)},
       {RefusalCause::Registry, 5},
       "Access is denied.",
       "Morlex: cannot delete \"" + Times(29, kClef) + "..." + Times(29, kClef) + "\"" + kUser +
           "the registry refused with error 5: Access is denied."},
  };
  for (const LineCase& c : cases) {
    ArgumentVector args;
    args.tokens = c.tokens;
    const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
    ASSERT_TRUE(request) << ::testing::PrintToString(c.tokens);
    EXPECT_EQ(RefusalLine(*request, c.refusal, c.systemMessage), c.line + "\r\n");
  }
}

// However long the name, the value and the system's message, the line fits
// a small pipe.
TEST(RefusalLine, FitsItsBoundWhateverItShows) {
  ArgumentVector removeArgs;
  removeArgs.tokens = {"/s", "/r", "PATH", Times(5000, kClef)};
  const UpdateRequest remove = *BuildUpdateRequest(removeArgs);
  ArgumentVector setArgs;
  setArgs.tokens = {"/s", Times(5000, kTa) + "\r\n", Times(5000, "\x7F")};
  const UpdateRequest set = *BuildUpdateRequest(setArgs);
  const std::string message = Times(3000, "Access is denied. ");
  for (const UpdateRequest& request : {remove, set}) {
    for (const RefusalCause cause :
         {RefusalCause::Registry, RefusalCause::LockFailed, RefusalCause::PathNotText,
          RefusalCause::LockTimedOut, RefusalCause::LockUnsafe}) {
      // Access denied adds most to the lock's line: who may take it.
      const std::uint32_t error = cause == RefusalCause::LockFailed ? 5 : 0xFFFFFFFF;
      const std::string line =
          RefusalLine(request, {cause, error, 0xFFFFFFFF, Times(300, kTa)}, message);
      EXPECT_LE(line.size(), kMostLineBytes);
      EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    }
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
    EXPECT_EQ(refusal.type, cause == RefusalCause::PathNotText ? stored.type : 0U);
  }
}

}  // namespace
