// The update itself, from a checked request to the exit code: the scope's
// key, every write of Path under the scope's lock, the write or delete, the
// line that says why nothing changed, and the notice after every accepted
// command. The store, the lock, standard error and the notice are reached
// through their own declarations, so that the flow runs against the
// registry in Morlex.exe and against a stand-in in the tests.
#pragma once

#include "update/request.h"

inline constexpr int kExitDone = 0;
inline constexpr int kExitUsage = 1;
// Memory ran out before anything was written; nothing was announced.
inline constexpr int kExitOutOfMemory = 2;
// Nothing was changed: the registry refused, the stored list may not be
// rewritten, or the scope's lock could not be had. The notice went out.
inline constexpr int kExitNothingChanged = 3;

// kExitDone, kExitOutOfMemory or kExitNothingChanged.
int RunUpdate(const UpdateRequest& request) noexcept;
