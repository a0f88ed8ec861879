// What one run is asked to do: the checked command line, as the update
// carries it out.
#pragma once

#include <optional>
#include <string>

struct UpdateRequest {
  bool systemScope = false;
  bool addEntry = false;
  bool removeEntry = false;
  std::string name;
  std::optional<std::string> value;  // nothing: delete the variable
};
