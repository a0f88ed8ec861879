// Checks the argument vector and turns it into one update request.
#pragma once

#include <optional>

#include "cmdline/split_command_tail.h"
#include "update/request.h"

// Nothing when the command line must be answered with the usage text: no
// tokens, an unknown switch, a third plain token, no name, both /a and /r,
// /a or /r with a name other than Path, or Path without a value.
std::optional<UpdateRequest> BuildUpdateRequest(const ArgumentVector& args);
