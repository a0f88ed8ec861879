// Unattended use: nothing waits where nobody is, and a fault asks nobody.

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "process/start_up.h"
#include "tests/e2e/harness.h"
#include "text/wide_text.h"

namespace {

using namespace std::string_literals;

// Nobody waits where nobody is: no box on a window station nobody sees or on
// a desktop that is not the input desktop, and nothing held by a pipe read
// only after the end, too small for what Morlex says, or made for overlapped
// I/O; an accepted command works there as anywhere.
TEST(MorlexUnattended, NobodyWaits) {
  const std::optional<RawValue> set = Sz(L"keep");
  const std::optional<RawValue> old = Sz(L"old");
  const std::optional<RawValue> multi = RawValue{REG_MULTI_SZ, Bytes(L"C:\\A\0C:\\B\0\0"s)};
  RunRows({
      // On a window station nobody sees: no box, and at once.
      {.line = Cmd(L" /x MORLEX_E2E v"),
       .name = kVar,
       .before = set,
       .after = set,
       .exitCode = 1,
       .start = {.hiddenStation = true}},
      {.line = Cmd(L" /x MORLEX_E2E v"),
       .name = kVar,
       .before = set,
       .after = set,
       .exitCode = 1,
       .start = {.hiddenStation = true, .errorPipe = false}},
      // A pipe that holds almost nothing, read only after the end.
      {.line = Cmd(L" /x MORLEX_E2E v"),
       .name = kVar,
       .before = set,
       .after = set,
       .exitCode = 1,
       .start = {.hiddenStation = true, .pipeSize = 1, .readAfterEnd = true}},
      // A standard error made for overlapped I/O, read only after the end.
      {.line = Cmd(L" /x MORLEX_E2E v"),
       .name = kVar,
       .before = set,
       .after = set,
       .exitCode = 1,
       .start = {.hiddenStation = true, .readAfterEnd = true, .overlappedPipe = true}},
      // On a desktop of the visible station that is not the input desktop.
      {.line = Cmd(L" /x MORLEX_E2E v"),
       .name = kVar,
       .before = set,
       .after = set,
       .exitCode = 1,
       .start = {.otherDesktop = true}},
      // Where nobody sees the desktop, an accepted command works as anywhere.
      {.line = Cmd(L" MORLEX_E2E unseen"),
       .name = kVar,
       .before = old,
       .after = ExpandSz(L"unseen"),
       .start = {.hiddenStation = true}},
      {.line = Cmd(L" MORLEX_E2E elsewhere"),
       .name = kVar,
       .before = old,
       .after = ExpandSz(L"elsewhere"),
       .start = {.otherDesktop = true}},
      // A name the registry refuses, too long for a pipe of the default size
      // that is read only after the end.
      {.line = Cmd(L" " + std::wstring(20000, L'N') + L" v"),
       .name = std::wstring(20000, L'N'),
       .before = kAbsent,
       .after = kAbsent,
       .exitCode = 3,
       .start = {.pipeSize = 0, .readAfterEnd = true}},
      {.line = Cmd(L" MORLEX_E2E hello"),
       .name = kVar,
       .before = old,
       .after = old,
       .exitCode = 3,
       .dacl = kReadOnly,
       .start = {.pipeSize = 1, .readAfterEnd = true}},
      // A standard error made for overlapped I/O, read as the run goes and
      // only after its end.
      {.line = Cmd(L" MORLEX_E2E hello"),
       .name = kVar,
       .before = old,
       .after = old,
       .exitCode = 3,
       .dacl = kReadOnly,
       .start = {.overlappedPipe = true}},
      {.line = Cmd(L" MORLEX_E2E hello"),
       .name = kVar,
       .before = old,
       .after = old,
       .exitCode = 3,
       .dacl = kReadOnly,
       .start = {.pipeSize = 1, .readAfterEnd = true, .overlappedPipe = true}},
      {.line = Cmd(L" /a Path " + std::wstring(30000, L'x')),
       .name = L"Path",
       .before = multi,
       .after = multi,
       .exitCode = 3,
       .start = {.pipeSize = 0, .readAfterEnd = true}},
      // A child of the relay, started by the relay's own call: it tells the
      // windows of its desktop once, writes nothing, shows no box, says
      // nothing and ends with 0.
      {.line = Cmd(L""),
       .name = kVar,
       .before = old,
       .after = old,
       .start = {.errorPipe = false, .byRelay = true}},
      {.line = Cmd(L""),
       .name = L"Path",
       .before = multi,
       .after = multi,
       .start = {.relayMarker = true}},
      // The marker means nothing to any other command line.
      {.line = Cmd(L" MORLEX_E2E new"),
       .name = kVar,
       .before = old,
       .after = ExpandSz(L"new"),
       .start = {.relayMarker = true}},
      {.line = Cmd(L" MORLEX_E2E"),
       .name = kVar,
       .before = old,
       .after = kAbsent,
       .start = {.relayMarker = true}},
      {.line = Cmd(L" /x"),
       .name = kVar,
       .before = old,
       .after = old,
       .exitCode = 1,
       .start = {.relayMarker = true}},
      {.line = Cmd(L" /x"),
       .name = kVar,
       .before = old,
       .after = old,
       .exitCode = 1,
       .start = {.hiddenStation = true, .relayMarker = true}},
  });
}

// A crash or an abort after the start-up settings asks nobody: the process
// ends at once, with no box and no crash dialog, and a failing exit code.
TEST(MorlexStartUp, AFaultAsksNobody) {
  // A pipe that holds one byte, read only after the end: the runtime's own
  // message, if any, may not hold the run.
  const Start unread = {.pipeSize = 1, .readAfterEnd = true, .program = L"morlex_fault.exe"};
  const struct {
    const wchar_t* fault;
    DWORD exitCode;
    Start start;
  } rows[] = {
      {L"abort", kAbortExitCode, {.program = L"morlex_fault.exe"}},
      {L"terminate", kAbortExitCode, {.program = L"morlex_fault.exe"}},
      {L"fault", 0xC0000005, {.program = L"morlex_fault.exe"}},
      {L"abort", kAbortExitCode, unread},
      {L"terminate", kAbortExitCode, unread},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Wtf8FromWide(row.fault) + (row.start.readAfterEnd ? ", unread pipe" : ""));
    const RunResult run =
        RunMorlexProcess(L"morlex_fault.exe " + std::wstring(row.fault), row.start);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(run.boxes.size(), 0U);
    EXPECT_LT(run.ms, 5000U);
  }
}

}  // namespace
