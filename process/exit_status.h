// How a run ends, as its exit code tells the caller.
#pragma once

inline constexpr int kExitDone = 0;
// The command line was rejected; the usage was shown, nothing was written.
inline constexpr int kExitUsage = 1;
// Memory ran out before anything was written; nothing was announced.
inline constexpr int kExitOutOfMemory = 2;
// Nothing was changed: the registry refused, the stored list may not be
// rewritten, the scope's lock could not be had or is unsafe, or an
// unexpected error came before any write. The same command will be refused
// again. The notice went out.
inline constexpr int kExitNothingChanged = 3;
// Nothing was changed because the scope's lock was busy for the whole wait:
// the same command may simply be tried again. The notice went out.
inline constexpr int kExitBusy = 4;

// A run that aborted (std::abort, std::terminate, an invalid parameter to
// the runtime): the code Windows gives a fail-fast, STATUS_STACK_BUFFER_OVERRUN.
// It is none of the codes above, so an abort after a write never reads as
// "nothing was changed".
inline constexpr unsigned long kAbortExitCode = 0xC0000409;
