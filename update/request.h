// What one run is asked to do: the checked command line, as the update
// carries it out.
#pragma once

#include <string>

struct UpdateRequest {
  bool systemScope = false;
  bool addEntry = false;
  bool removeEntry = false;
  const std::string* name = nullptr;   // points into the argument vector; null when absent
  const std::string* value = nullptr;  // likewise
};
