// Unattended use: nothing waits where nobody is, and a fault asks nobody.

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "tests/e2e/harness.h"
#include "text/wide_text.h"
#include "update/unattended.h"

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
      {Cmd(L" /x MORLEX_E2E v"), false, kVar, set, set, 1, nullptr, {true, true}},
      {Cmd(L" /x MORLEX_E2E v"), false, kVar, set, set, 1, nullptr, {true, false}},
      // A pipe that holds almost nothing, read only after the end.
      {Cmd(L" /x MORLEX_E2E v"),
       false,
       kVar,
       set,
       set,
       1,
       nullptr,
       {.hiddenStation = true, .pipeSize = 1, .readAfterEnd = true}},
      // A standard error made for overlapped I/O, read only after the end.
      {Cmd(L" /x MORLEX_E2E v"),
       false,
       kVar,
       set,
       set,
       1,
       nullptr,
       {.hiddenStation = true, .readAfterEnd = true, .overlappedPipe = true}},
      // On a desktop of the visible station that is not the input desktop.
      {Cmd(L" /x MORLEX_E2E v"), false, kVar, set, set, 1, nullptr, {.otherDesktop = true}},
      // Where nobody sees the desktop, an accepted command works as anywhere.
      {Cmd(L" MORLEX_E2E unseen"), false, kVar, old, ExpandSz(L"unseen"), 0, nullptr, {true, true}},
      {Cmd(L" MORLEX_E2E elsewhere"),
       false,
       kVar,
       old,
       ExpandSz(L"elsewhere"),
       0,
       nullptr,
       {.otherDesktop = true}},
      // A name the registry refuses, too long for a pipe of the default size
      // that is read only after the end.
      {Cmd(L" " + std::wstring(20000, L'N') + L" v"),
       false,
       std::wstring(20000, L'N'),
       kAbsent,
       kAbsent,
       3,
       nullptr,
       {.pipeSize = 0, .readAfterEnd = true}},
      {Cmd(L" MORLEX_E2E hello"),
       false,
       kVar,
       old,
       old,
       3,
       kReadOnly,
       {.pipeSize = 1, .readAfterEnd = true}},
      // A standard error made for overlapped I/O, read as the run goes and
      // only after its end.
      {Cmd(L" MORLEX_E2E hello"), false, kVar, old, old, 3, kReadOnly, {.overlappedPipe = true}},
      {Cmd(L" MORLEX_E2E hello"),
       false,
       kVar,
       old,
       old,
       3,
       kReadOnly,
       {.pipeSize = 1, .readAfterEnd = true, .overlappedPipe = true}},
      {Cmd(L" /a Path " + std::wstring(30000, L'x')),
       false,
       L"Path",
       multi,
       multi,
       3,
       nullptr,
       {.pipeSize = 0, .readAfterEnd = true}},
      // A child of the relay, started by the relay's own call: it tells the
      // windows of its desktop once, writes nothing, shows no box, says
      // nothing and ends with 0.
      {Cmd(L""), false, kVar, old, old, 0, nullptr, {.errorPipe = false, .byRelay = true}},
      {Cmd(L""), false, L"Path", multi, multi, 0, nullptr, {.relayMarker = true}},
      // The marker means nothing to any other command line.
      {Cmd(L" MORLEX_E2E new"),
       false,
       kVar,
       old,
       ExpandSz(L"new"),
       0,
       nullptr,
       {.relayMarker = true}},
      {Cmd(L" MORLEX_E2E"), false, kVar, old, kAbsent, 0, nullptr, {.relayMarker = true}},
      {Cmd(L" /x"), false, kVar, old, old, 1, nullptr, {.relayMarker = true}},
      {Cmd(L" /x"),
       false,
       kVar,
       old,
       old,
       1,
       nullptr,
       {.hiddenStation = true, .relayMarker = true}},
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
