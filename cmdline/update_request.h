// Checks the argument vector and turns it into one update request.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cmdline/split_command_tail.h"

struct UpdateRequest {
  bool systemScope = false;
  bool addEntry = false;
  bool removeEntry = false;
  const std::string* name = nullptr;   // points into the argument vector; null when absent
  const std::string* value = nullptr;  // likewise
};

// Nothing when the command line must be answered with the usage text: no
// tokens, an unknown switch, a third plain token, no name, both /a and /r,
// /a or /r with a name other than Path, or Path without a value.
std::optional<UpdateRequest> BuildUpdateRequest(const ArgumentVector& args);

// Whether name is Path, the list that /a and /r edit, in any case.
bool IsPathName(std::string_view name);
