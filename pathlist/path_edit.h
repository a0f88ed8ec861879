// The value that /a or /r stores: the stored Path list with the request's
// value added, or with every equal entry taken out. A value that holds ";"
// is a list of entries by the same rule as the stored one: /a adds each of
// them that is not there yet, /r takes out every entry equal to any of
// them, and one with no entry at all (";") changes nothing. A value without
// ";" is one entry, the empty one too.
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
// that is not stored gives the value's entries alone (nothing to write when
// it has none). An unchanged list is given back as it is, to be written
// again.
PathListUpdate UpdatePathList(PathEdit edit, const std::string& value,
                              const StoredString& storedList);
