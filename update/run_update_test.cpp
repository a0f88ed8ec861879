#include "update/run_update.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/account.h"
#include "cmdline/check_request.h"
#include "store/registry_data.h"
#include "tests/stand_in/stand_in.h"
#include "update/messages.h"

namespace {

struct FlowCase {
  std::vector<std::string> tokens;
  StandInScope scope;  // the request's scope before the run
  int exitCode;
  std::optional<StoredValue> after;  // the named value in that scope afterwards
  int failingCall = 0;
  Failure failure = Failure::OutOfMemory;
  std::string account = kStandInAccountSid;
  bool relayed = false;                  // the notice was handed on to the other sessions
  std::string says = "Morlex: cannot ";  // what the line on standard error holds
};

const StoredValue kOld = TextValue("old", kRegSz);
const StoredValue kList = TextValue("C:\\A;C:\\B", kRegExpandSz);
const StoredValue kMulti = {7, std::string("A\0\0\0\0\0", 6)};

StandInScope Holding(const std::string& name, const StoredValue& value,
                     KeyState key = KeyState::Present, LockState lock = LockState::Free) {
  StandInScope scope;
  scope.values[name] = value;
  scope.key = key;
  scope.lock = lock;
  return scope;
}

// A missing key holds no values.
StandInScope MissingKey() {
  StandInScope scope;
  scope.key = KeyState::Missing;
  return scope;
}

// Each run: its exit code, the value afterwards, what it said, and the
// notice after every accepted command but one that ran out of memory. The
// other scope starts alike, with its lock free, and must end as it began;
// Path is read and written only under its own scope's lock.
TEST(RunUpdate, WritesWhatWasAskedOrSaysWhyNot) {
  const FlowCase cases[] = {
      {{"V", "new"}, Holding("V", kOld), kExitDone, TextValue("new", kRegExpandSz)},
      {{"/s", "V", "new"}, Holding("V", kOld), kExitDone, TextValue("new", kRegExpandSz)},
      {{"V"}, Holding("V", kOld), kExitDone, std::nullopt},
      {{"V"}, Holding("V", kOld, KeyState::ReadOnly), kExitNothingChanged, kOld},
      {{"V", "new"}, MissingKey(), kExitNothingChanged, std::nullopt},
      {{"V"}, Holding("W", kOld, KeyState::ReadOnly), kExitDone, std::nullopt},
      {{"/a", "PATH", "c:\\b"}, Holding("PATH", kList, KeyState::ReadOnly), kExitDone, kList},
      {{"/a", "Path", "C:\\C"},
       Holding("PATH", kList),
       kExitDone,
       TextValue("C:\\A;C:\\B;C:\\C", kRegExpandSz)},
      {{"/s", "/a", "Path", "C:\\C"},
       Holding("PATH", kList),
       kExitDone,
       TextValue("C:\\A;C:\\B;C:\\C", kRegExpandSz)},
      {{"/r", "Path", "C:\\A"},
       Holding("PATH", kList),
       kExitDone,
       TextValue("C:\\B", kRegExpandSz)},
      {{"/r", "/s", "Path", "C:\\A"},
       Holding("PATH", kList),
       kExitDone,
       TextValue("C:\\B", kRegExpandSz)},
      {{"/s", "Path", "C:\\C"},
       Holding("PATH", kList),
       kExitDone,
       TextValue("C:\\C", kRegExpandSz)},
      {{"/a", "Path", "C:\\C"},
       Holding("PATH", kList, KeyState::ReadOnly),
       kExitNothingChanged,
       kList},
      {{"/a", "Path", "C:\\C"}, Holding("PATH", kMulti), kExitNothingChanged, kMulti},
      // A list that cannot be read is not taken for an empty one.
      {{"/a", "Path", "C:\\C"},
       Holding("PATH", kList, KeyState::Unreadable),
       kExitNothingChanged,
       kList},
      {{"/s", "/r", "Path", "C:\\A"},
       Holding("PATH", kList, KeyState::Unreadable),
       kExitNothingChanged,
       kList},
      {{"/a", "Path", "C:\\C"},
       Holding("PATH", kList, KeyState::Present, LockState::HeldByAnother),
       kExitBusy,
       kList},
      {{"/s", "/a", "Path", "C:\\C"},
       Holding("PATH", kList, KeyState::Present, LockState::HeldByAnother),
       kExitBusy,
       kList},
      {{"Path", "C:\\C"},
       Holding("PATH", kList, KeyState::Present, LockState::NotTheHolders),
       kExitNothingChanged,
       kList},
      // The key's refusal comes before the lock's: it is the true reason.
      {.tokens = {"/s", "/a", "Path", "C:\\C"},
       .scope = Holding("PATH", kList, KeyState::ReadOnly, LockState::Refused),
       .exitCode = kExitNothingChanged,
       .after = kList,
       .says = "the registry refused with error 5"},
      {.tokens = {"/s", "/r", "Path", "C:\\A"},
       .scope = Holding("PATH", kList, KeyState::Present, LockState::Refused),
       .exitCode = kExitNothingChanged,
       .after = kList,
       .says = "Only administrators and SYSTEM may take the system's lock."},
      // Memory runs out at the read, or at the write: nothing is written.
      {{"/a", "Path", "C:\\C"}, Holding("PATH", kList), kExitOutOfMemory, kList, 1},
      {{"/a", "Path", "C:\\C"}, Holding("PATH", kList), kExitOutOfMemory, kList, 2},
      {{"/s", "/r", "Path", "C:\\A"}, Holding("PATH", kList), kExitOutOfMemory, kList, 2},
      // An error of any other kind, before the write.
      {{"/a", "Path", "C:\\C"},
       Holding("PATH", kList),
       kExitNothingChanged,
       kList,
       1,
       Failure::Unexpected},
      // As SYSTEM (a deployment agent), a done change of the system scope
      // is handed on to the people logged on; nothing else is.
      {.tokens = {"/s", "V", "new"},
       .scope = Holding("V", kOld),
       .exitCode = kExitDone,
       .after = TextValue("new", kRegExpandSz),
       .account = kLocalSystemSid,
       .relayed = true},
      {.tokens = {"/s", "/a", "Path", "c:\\a"},
       .scope = Holding("PATH", kList, KeyState::ReadOnly),
       .exitCode = kExitDone,
       .after = kList,
       .account = kLocalSystemSid,
       .relayed = true},
      {.tokens = {"V", "new"},
       .scope = Holding("V", kOld),
       .exitCode = kExitDone,
       .after = TextValue("new", kRegExpandSz),
       .account = kLocalSystemSid},
      {.tokens = {"/s", "V", "new"},
       .scope = Holding("V", kOld, KeyState::ReadOnly),
       .exitCode = kExitNothingChanged,
       .after = kOld,
       .account = kLocalSystemSid},
      {.tokens = {"/s", "/a", "Path", "C:\\C"},
       .scope = Holding("PATH", kList),
       .exitCode = kExitOutOfMemory,
       .after = kList,
       .failingCall = 1,
       .account = kLocalSystemSid},
      {.tokens = {"/s", "/r", "Path", "C:\\A"},
       .scope = Holding("PATH", kList),
       .exitCode = kExitNothingChanged,
       .after = kList,
       .failingCall = 1,
       .failure = Failure::Unexpected,
       .account = kLocalSystemSid},
  };
  for (const FlowCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.tokens));
    ArgumentVector args;
    args.tokens = c.tokens;
    const UpdateRequest request = *BuildUpdateRequest(args);
    const std::size_t scope = request.systemScope ? 1 : 0;
    StandIn& standIn = TheStandIn();
    standIn = StandIn{};
    standIn.scopes[scope] = c.scope;
    StandInScope& other = standIn.scopes[1 - scope];
    other = c.scope;
    other.lock = LockState::Free;
    const StandInScope otherBefore = other;
    standIn.failingCall = c.failingCall;
    standIn.failure = c.failure;
    standIn.accountSid = c.account;
    EXPECT_EQ(RunUpdate(request), c.exitCode);

    const auto& values = standIn.scopes[scope].values;
    const auto found = values.find(FoldedName(request.name));
    EXPECT_EQ(found == values.end() ? std::nullopt : std::optional(found->second), c.after);
    EXPECT_EQ(other, otherBefore);
    EXPECT_EQ(standIn.notices, c.exitCode == kExitOutOfMemory ? 0 : 1);
    EXPECT_EQ(standIn.relayedNotices, c.relayed ? 1 : 0);
    EXPECT_FALSE(standIn.pathOutsideItsLock);
    EXPECT_FALSE(standIn.noticeUnderLock);
    const std::string said = standIn.standardError;
    if (c.exitCode == kExitDone)
      EXPECT_EQ(said, "");
    else if (c.exitCode == kExitOutOfMemory)
      EXPECT_EQ(said, kOutOfMemoryLine);
    else if (c.failure == Failure::Unexpected)
      EXPECT_EQ(said, kUnexpectedErrorLine);
    else
      EXPECT_TRUE(said.rfind("Morlex: cannot ", 0) == 0 && said.find(c.says) != std::string::npos)
          << said;
  }
}

}  // namespace
