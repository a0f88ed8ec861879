// The change notice with slow receivers beside responsive ones.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/e2e/harness.h"
#include "tests/e2e/receivers.h"

namespace {

// A run waits about as long as the slowest thread, not as long as all of
// them together, and never much past the notice's 5 s however many slow
// windows a thread owns; windows of responsive threads beside them are told
// once before the end. Where everything fits in the time, each slow window
// is told once too. The bounds are wide: Wine sometimes lets a send wait for
// a handler that has begun.
TEST(MorlexNotice, SlowReceiversAreWaitedForSideBySide) {
  const struct {
    ReceiverShape slow;
    ULONGLONG mostMs;
    bool allTold;
  } rows[] = {
      {{4, 1, 1500}, 3000, true},             // 6 s one after another
      {{1, 2, 1000}, kRunTimeoutMs, true},    // one thread's windows in turn, neither cut short
      {{3, 1, 6000}, 7500, false},            // past the 5 s timeout: about one timeout, not three
      {{1, 5, 2000}, 7500, false},            // one thread's windows: one timeout, not two
      {{2, 3, 8000, true}, 7500, false},      // a slow first window holds up its thread's others
      {{2, 2, 0, false, 8000}, 7500, false},  // threads that pump nothing
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.slow.threads) + " threads x " +
                 std::to_string(row.slow.windowsPerThread) + " windows, " +
                 std::to_string(row.slow.delayMs) + " ms, busy " + std::to_string(row.slow.busyMs) +
                 " ms");
    const SavedValue guard(false, kVar);
    const Receivers responsive({3, 2, 0});
    const Receivers receivers(row.slow);
    ASSERT_EQ(receivers.threads.size(), static_cast<std::size_t>(row.slow.threads));
    const RunResult run = RunMorlex(Cmd(L" MORLEX_E2E v"), 0);
    EXPECT_LT(run.ms, row.mostMs);
    for (const auto& thread : responsive.threads) {
      for (const auto& window : thread->windows)
        EXPECT_EQ(window->notices, 1);
    }
    if (row.allTold) {
      EXPECT_EQ(receivers.Told(), receivers.Windows());
    }
  }
}

}  // namespace
