// Settings made first thing at start, so that a fault asks nobody: callers
// are often deployment tools with nobody at the screen, and a box or a
// report dialog there would hold the run until somebody closes it.
#pragma once

// After this, a crash ends the process at once with the exception's code as
// its exit code, without the system's error dialog or a debugger; the C
// runtime writes its messages (an abort's, say) to standard error, never to
// a box; and the system shows no box for a missing drive or file.
void AskNobodyOnFault() noexcept;
