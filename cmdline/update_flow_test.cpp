#include "cmdline/update_flow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "envstore/envstore.h"
#include "tests/stand_in/stand_in.h"

namespace {

struct FlowCase {
  std::vector<std::string> tokens;
  StandInScope user;  // the user scope before the run
  int exitCode;
  std::optional<StoredValue> after;  // the named value in the user scope afterwards
  int failingCall = 0;
};

const StoredValue kOld = TextValue("old", kRegSz);
const StoredValue kList = TextValue("C:\\A;C:\\B", kRegExpandSz);
const StoredValue kMulti = {7, std::string("A\0\0\0\0\0", 6)};

StandInScope With(const std::string& name, const StoredValue& value,
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
// notice after every accepted command but one that ran out of memory.
TEST(RunUpdate, WritesWhatWasAskedOrSaysWhyNot) {
  const FlowCase cases[] = {
      {{"V", "new"}, With("V", kOld), kExitDone, TextValue("new", kRegExpandSz)},
      {{"V"}, With("V", kOld), kExitDone, std::nullopt},
      {{"V"}, With("V", kOld, KeyState::ReadOnly), kExitNothingChanged, kOld},
      {{"V", "new"}, MissingKey(), kExitNothingChanged, std::nullopt},
      {{"V"}, With("W", kOld, KeyState::ReadOnly), kExitDone, std::nullopt},
      {{"/a", "PATH", "c:\\b"}, With("PATH", kList, KeyState::ReadOnly), kExitDone, kList},
      {{"/a", "Path", "C:\\C"},
       With("PATH", kList),
       kExitDone,
       TextValue("C:\\A;C:\\B;C:\\C", kRegExpandSz)},
      {{"/r", "Path", "C:\\A"}, With("PATH", kList), kExitDone, TextValue("C:\\B", kRegExpandSz)},
      {{"/a", "Path", "C:\\C"},
       With("PATH", kList, KeyState::ReadOnly),
       kExitNothingChanged,
       kList},
      {{"/a", "Path", "C:\\C"}, With("PATH", kMulti), kExitNothingChanged, kMulti},
      {{"/a", "Path", "C:\\C"},
       With("PATH", kList, KeyState::Present, LockState::HeldByAnother),
       kExitNothingChanged,
       kList},
      {{"Path", "C:\\C"},
       With("PATH", kList, KeyState::Present, LockState::OtherKind),
       kExitNothingChanged,
       kList},
      // Memory runs out at the read, or at the write: nothing is written.
      {{"/a", "Path", "C:\\C"}, With("PATH", kList), kExitOutOfMemory, kList, 1},
      {{"/a", "Path", "C:\\C"}, With("PATH", kList), kExitOutOfMemory, kList, 2},
  };
  for (const FlowCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.tokens));
    StandIn& standIn = TheStandIn();
    standIn = StandIn{};
    standIn.scopes[0] = c.user;
    standIn.failingCall = c.failingCall;
    ArgumentVector args;
    args.tokens = c.tokens;
    const UpdateRequest request = *BuildUpdateRequest(args);
    EXPECT_EQ(RunUpdate(request), c.exitCode);

    const auto& values = standIn.scopes[0].values;
    const auto found = values.find(FoldedName(*request.name));
    EXPECT_EQ(found == values.end() ? std::nullopt : std::optional(found->second), c.after);
    EXPECT_EQ(standIn.notices, c.exitCode == kExitOutOfMemory ? 0 : 1);
    EXPECT_FALSE(standIn.pathWrittenUnlocked);
    EXPECT_FALSE(standIn.noticeUnderLock);
    const std::string said = standIn.standardError;
    if (c.exitCode == kExitDone)
      EXPECT_EQ(said, "");
    else if (c.exitCode == kExitOutOfMemory)
      EXPECT_EQ(said, "Morlex: memory ran out; nothing was changed.\r\n");
    else
      EXPECT_EQ(said.rfind("Morlex: cannot ", 0), 0U) << said;
  }
}

}  // namespace
