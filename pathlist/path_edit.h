// The value that /a or /r stores: the stored Path list with the request's
// value added as one entry, or with every equal entry taken out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/registry_data.h"

// Whether name is Path, the list that /a and /r edit, in any case.
bool IsPathName(std::string_view name);

enum class PathEdit { Add, Remove };

struct PathListUpdate {
  std::optional<std::string> newList;  // what to write back; nothing: write nothing
  bool alreadyDone = false;            // the stored list is as asked already
};

// Writes nothing when the stored list could not be read or may not be
// rewritten, or when Remove meets a Path that is not stored. Add on a Path
// that is not stored gives the value alone. An unchanged list is given back
// as it is, to be written again.
PathListUpdate UpdatePathList(PathEdit edit, const std::string& value,
                              const StoredString& storedList);
