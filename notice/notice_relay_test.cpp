#include "notice/notice_relay.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/account.h"
#include "cmdline/command_tail.h"
#include "cmdline/split_command_tail.h"
#include "notice/trusted_executable.h"

namespace {

constexpr char kUser[] = "S-1-5-21-1-2-3-1001";

TEST(NoticeRelay, IsMadeOnlyForADoneSystemChangeAsSystem) {
  const struct {
    std::string account;
    bool systemScope;
    int exitCode;
    bool relays;
  } rows[] = {
      {kLocalSystemSid, true, 0, true},
      {kLocalSystemSid, false, 0, false},
      {kLocalSystemSid, true, 3, false},
      {kLocalSystemSid, true, 2, false},
      {kLocalSystemSid, true, 1, false},
      {kAdministratorsSid, true, 0, false},
      {kUser, true, 0, false},
      {"S-1-5-19", true, 0, false},
      {"", true, 0, false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(RelaysNotice(row.account, row.systemScope, row.exitCode), row.relays)
        << row.account << " " << row.systemScope << " " << row.exitCode;
}

TEST(NoticeRelay, ReachesEveryOtherSessionWithAUser) {
  using S = SessionState;
  std::vector<SessionInfo> many;
  for (std::uint32_t id = 2; id < 2 + kMostRelaySessions + 5; ++id)
    many.push_back({id, S::Active, true});
  std::vector<std::uint32_t> first64;
  for (std::uint32_t id = 2; id < 2 + kMostRelaySessions; ++id)
    first64.push_back(id);
  const struct {
    std::vector<SessionInfo> sessions;
    std::uint32_t own;
    std::vector<std::uint32_t> chosen;
  } rows[] = {
      {{}, 0, {}},
      // Session 0 is the services', where nobody logs on; the run's own is
      // told already.
      {{{0, S::Disconnected, false}, {1, S::Active, true}}, 0, {1}},
      {{{0, S::Disconnected, true}, {1, S::Active, true}, {2, S::Active, true}}, 1, {2}},
      // Locked or disconnected desktops still have their shell.
      {{{1, S::Active, true}, {2, S::Disconnected, true}, {3, S::Disconnected, false}}, 0, {1, 2}},
      {{{65536, S::Listen, false},
        {2, S::Connected, true},
        {3, S::ConnectQuery, true},
        {4, S::Shadow, true},
        {5, S::Idle, true},
        {6, S::Reset, true},
        {7, S::Down, true},
        {8, S::Init, true},
        {9, S::Active, false}},
       0,
       {}},
      {many, 0, first64},
      {many, 3,
       [&] {
         std::vector<std::uint32_t> chosen = first64;
         chosen.erase(chosen.begin() + 1);
         chosen.push_back(2 + kMostRelaySessions);
         return chosen;
       }()},
  };
  for (const auto& row : rows)
    EXPECT_EQ(SessionsToRelayTo(row.sessions, row.own), row.chosen)
        << row.sessions.size() << " sessions, own " << row.own;

  for (const char* sid : {kLocalSystemSid, "S-1-5-19", "S-1-5-20", ""})
    EXPECT_FALSE(MayRelayAs(sid)) << sid;
  for (const char* sid : {kUser, kAdministratorsSid})
    EXPECT_TRUE(MayRelayAs(sid)) << sid;
}

// The relay stays within the notice's bound: each start takes a second
// here, and none begins once the deadline has passed. A job that keeps its
// children gets none.
TEST(NoticeRelay, StartsNoChildAfterTheDeadlineNorInsideAJobThatKeepsIt) {
  const std::pair<std::uint64_t, std::size_t> rows[] = {{0, 0}, {1, 1}, {2500, 3}, {9000, 4}};
  for (const auto& [deadline, started] : rows) {
    std::uint64_t clock = 0;
    EXPECT_EQ(StartWhileTimeLeft(
                  {1, 2, 3, 4}, deadline, [&] { return clock; },
                  [&](std::uint32_t) { return (clock += 1000) > 0; }),
              started)
        << deadline;
  }
  EXPECT_EQ(BreakawayFor({.inJob = false}), false);
  EXPECT_EQ(BreakawayFor({.inJob = true, .silentBreakawayOk = true}), false);
  EXPECT_EQ(BreakawayFor({.inJob = true, .breakawayOk = true}), true);
  EXPECT_EQ(BreakawayFor({.inJob = true}), std::nullopt);
  EXPECT_EQ(BreakawayFor({.known = false}), true);
}

TEST(NoticeRelay, StartsItsChildWithNoTokensAndTheMarker) {
  const struct {
    std::string finalPath;
    std::optional<std::string> local;
    std::vector<std::string> folders;
  } paths[] = {
      {"\\\\?\\C:\\Program Files\\Tool\\Morlex.exe",
       "C:\\Program Files\\Tool\\Morlex.exe",
       {"C:\\Program Files\\Tool", "C:\\Program Files", "C:\\"}},
      {"\\\\?\\d:\\Morlex.exe", "d:\\Morlex.exe", {"d:\\"}},
      {"\\\\?\\UNC\\server\\share\\Morlex.exe", std::nullopt, {}},
      {"\\\\?\\Volume{0}\\Morlex.exe", std::nullopt, {}},
      {"C:\\Morlex.exe", std::nullopt, {}},
      {"\\\\?\\C:", std::nullopt, {}},
  };
  for (const auto& row : paths) {
    EXPECT_EQ(LocalDrivePath(row.finalPath), row.local) << row.finalPath;
    if (!row.local)
      continue;
    EXPECT_EQ(FoldersAbove(*row.local), row.folders) << row.finalPath;
    // The child's command line holds its own path and nothing else.
    const std::string line = RelayCommandLine(*row.local);
    EXPECT_TRUE(SplitCommandTail(CommandTailOf(line)).tokens.empty()) << line;
  }

  const struct {
    std::vector<std::string> user;
    std::vector<std::string> started;
  } environments[] = {
      {{}, {"MORLEX_RELAYED_NOTICE=1"}},
      {{"=C:=C:\\", "ALLUSERSPROFILE=C:\\ProgramData", "Path=C:\\A", "windir=C:\\Windows"},
       {"=C:=C:\\", "ALLUSERSPROFILE=C:\\ProgramData", "MORLEX_RELAYED_NOTICE=1", "Path=C:\\A",
        "windir=C:\\Windows"}},
      // The user's own variable of that name, whatever its case, gives way.
      {{"morlex_relayed_notice=0", "Morlex_Relayed_Notice=", "TEMP=C:\\T"},
       {"MORLEX_RELAYED_NOTICE=1", "TEMP=C:\\T"}},
      {{"windir=C:\\Windows", "Path=C:\\A"},
       {"MORLEX_RELAYED_NOTICE=1", "Path=C:\\A", "windir=C:\\Windows"}},
  };
  for (const auto& row : environments)
    EXPECT_EQ(RelayEnvironment(row.user), row.started) << ::testing::PrintToString(row.user);
}

}  // namespace
