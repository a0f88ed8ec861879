#include "cmdline/usage_box.h"

bool SomebodyCanAnswer(const DesktopState& desktop) {
  if (!desktop.session || *desktop.session == 0 || !desktop.stationVisible)
    return false;
  return !desktop.inputDesktop.empty() && desktop.inputDesktop == desktop.threadDesktop;
}
