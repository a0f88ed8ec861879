// Standard error, for a caller that hands Morlex one (a deployment tool's
// pipe, "2> file"): a windowed program has none otherwise.
#pragma once

#include <string_view>

// Writes WTF-8 text there: with the console's wide call when it is a console,
// otherwise as UTF-8, also to a handle opened for overlapped I/O. Does nothing
// when there is no standard error; a write that fails, or memory that runs
// out, is ignored. The writes of a run wait for their reader at most 2 s in
// all; after that, what is left is not written and the run goes on.
void WriteToStandardError(std::string_view text) noexcept;
