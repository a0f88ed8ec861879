#include "cmdline/usage_box.h"

#include <gtest/gtest.h>

namespace {

TEST(SomebodyCanAnswer, OnlyOnTheInputDesktopOfAVisibleStationOutsideSessionZero) {
  const struct {
    DesktopState desktop;
    bool answered;
  } cases[] = {
      {{1, true, "Default", "Default"}, true},
      {{2, true, "Default", "Default"}, true},
      // A service's session, even with a visible station and its input desktop.
      {{0, true, "Default", "Default"}, false},
      {{std::nullopt, true, "Default", "Default"}, false},
      {{1, false, "Default", "Default"}, false},  // a station nobody sees
      {{1, true, "Default", "Other"}, false},     // another desktop
      {{1, true, "", "Default"}, false},          // locked: the input desktop may not be opened
      {{1, true, "", ""}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SomebodyCanAnswer(c.desktop), c.answered)
        << c.desktop.session.value_or(99) << " " << c.desktop.stationVisible << " "
        << c.desktop.inputDesktop << " " << c.desktop.threadDesktop;
}

}  // namespace
