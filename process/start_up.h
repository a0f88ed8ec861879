// The settings made first thing at start, before anything else runs.
#pragma once

#include "process/exit_status.h"

// DLLs that system DLLs load later (for the usage box, say) come from the
// system folder only, never from beside Morlex.exe. And a fault asks
// nobody, since callers are often deployment tools with nobody at the
// screen, and a box or a report dialog there would hold the run until
// somebody closes it: after this, a crash ends the process at once with the
// exception's code as its exit code, and an abort with kAbortExitCode,
// without the system's error dialog, a fault report or a debugger; the C
// runtime writes its messages to standard error, never to a box; and the
// system shows no box for a missing drive or file.
void MakeStartUpSettings() noexcept;
