// Checks the argument vector and turns it into one update request.
#pragma once

#include <optional>
#include <string>

#include "cmdline/split_command_tail.h"
#include "update/request.h"

// Nothing when the command line must be answered with the usage text: no
// tokens, an unknown switch, a third plain token, no name, both /a and /r,
// /a or /r with a name other than Path, or Path without a value.
std::optional<UpdateRequest> BuildUpdateRequest(const ArgumentVector& args);

// Whether the run only sends the change notice and ends with 0, as a child
// of the relay does: only with no tokens at all and the relay's marker, the
// value of its variable in the environment (nothing when it is not set).
// Every other command line means what it means without the marker.
bool OnlyAnnounces(const ArgumentVector& args, const std::optional<std::string>& relayMarker);
