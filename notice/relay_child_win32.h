// A child of the relay, started as the user of another session.
#pragma once

#include <windows.h>

#include <string_view>

// Starts the executable as the token's user, on that user's desktop
// (winsta0\default), with RelayCommandLine, the user's own environment made
// by RelayEnvironment (none made whole: no child), no handle inherited and
// no busy cursor, asking to leave the caller's job when breakaway (see
// BreakawayFor). Its process handle, which the
// caller closes; null when the token's user is not one MayRelayAs allows, or
// when it cannot be started. The relay's call, and its tests'.
HANDLE StartRelayChild(HANDLE userToken, std::string_view executable, bool breakaway) noexcept;
