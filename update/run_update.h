// The update itself, from a checked request to the exit code: the scope's
// key, every write of Path under the scope's lock, the write or delete, the
// line that says why nothing changed, and the notice after every accepted
// command. The store, the lock, standard error and the notice are reached
// through their own declarations, so that the flow runs against the
// registry in Morlex.exe and against a stand-in in the tests.
#pragma once

#include "process/exit_status.h"
#include "update/request.h"

// kExitDone, kExitOutOfMemory, kExitNothingChanged or kExitBusy.
int RunUpdate(const UpdateRequest& request) noexcept;
