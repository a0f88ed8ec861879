// Settings made first thing at start, so that a fault asks nobody: callers
// are often deployment tools with nobody at the screen, and a box or a
// report dialog there would hold the run until somebody closes it.
#pragma once

// The exit code of a run that aborted (std::abort, std::terminate): the code
// Windows gives a fail-fast, STATUS_STACK_BUFFER_OVERRUN. It is none of
// Morlex's own codes 0 to 3, so an abort after a write never reads as
// "nothing was changed".
inline constexpr unsigned long kAbortExitCode = 0xC0000409;

// After this, a crash ends the process at once with the exception's code as
// its exit code, and an abort with kAbortExitCode, without the system's
// error dialog, a fault report or a debugger; the C runtime writes its
// messages to standard error, never to a box; and the system shows no box
// for a missing drive or file.
void AskNobodyOnFault() noexcept;
