// Where the usage text goes: a box only where somebody can answer it now,
// since a box nobody sees waits for ever.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the platform says of the desktop a run would show its box on.
struct DesktopState {
  std::optional<std::uint32_t> session;  // the process's session; nothing when unknown
  bool stationVisible = true;            // the window station is visible (or cannot be told)
  std::string inputDesktop;              // the name of the desktop that takes input; empty
                                         // when it may not be opened or named
  std::string threadDesktop;             // the name of this thread's desktop
};

// Whether somebody can answer a box now: never in session 0, which services
// have to themselves and nobody has seen since Windows Vista, even where its
// station is visible; otherwise when the station is visible and this
// thread's desktop is the input desktop (not so on another desktop, or while
// the workstation is locked). An unknown session counts as nobody.
bool SomebodyCanAnswer(const DesktopState& desktop);

// The platform's half: the usage box where SomebodyCanAnswer says somebody
// can, on this process's desktop, until it is closed; otherwise, or when it
// cannot be shown, the usage text on standard error. kExitUsage, the run's
// exit code.
int ShowUsage();
