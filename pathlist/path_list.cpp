#include "pathlist/path_list.h"

#include <numeric>
#include <unordered_set>

#include "text/ascii_case.h"

namespace {

// Calls visit(entry) for each entry of list, in order, until it returns false.
template <typename Visit>
void ForEachEntry(std::string_view list, Visit visit) {
  std::size_t pos = 0;
  while (pos < list.size()) {
    const std::size_t start = list.find_first_not_of(';', pos);
    if (start == std::string_view::npos)
      return;
    std::size_t stop = list.find(';', start);
    if (stop == std::string_view::npos)
      stop = list.size();
    if (!visit(list.substr(start, stop - start)))
      return;
    pos = stop;
  }
}

// Entries as a set, ASCII case ignored; they point into their list.
struct FoldedHash {
  std::size_t operator()(std::string_view entry) const noexcept {
    // FNV-1a over the upper-case bytes.
    return std::accumulate(entry.begin(), entry.end(), std::size_t{14695981039346656037ULL},
                           [](std::size_t hash, char c) {
                             return (hash ^ static_cast<unsigned char>(AsciiUpper(c))) *
                                    1099511628211ULL;
                           });
  }
};
struct FoldedEqual {
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    return EqualIgnoringAsciiCase(a, b);
  }
};
using EntrySet = std::unordered_set<std::string_view, FoldedHash, FoldedEqual>;

EntrySet EntriesIn(std::string_view list) {
  EntrySet entries;
  ForEachEntry(list, [&](std::string_view e) {
    entries.insert(e);
    return true;
  });
  return entries;
}

}  // namespace

bool PathListContains(std::string_view list, std::string_view entry) {
  bool hasEntries = false;
  bool found = false;
  ForEachEntry(list, [&](std::string_view e) {
    hasEntries = true;
    found = EqualIgnoringAsciiCase(e, entry);
    return !found;
  });
  return hasEntries ? found : list == entry;
}

std::string PathListAppend(std::string_view list, std::string_view entry) {
  std::string joined;
  joined.reserve(list.size() + entry.size() + 1);
  joined.append(list);
  if (!list.empty() && list.back() != ';')
    joined.push_back(';');
  joined.append(entry);
  return joined;
}

std::string PathListRemove(std::string_view list, std::string_view entry) {
  std::string kept;
  kept.reserve(list.size());
  ForEachEntry(list, [&](std::string_view e) {
    if (!EqualIgnoringAsciiCase(e, entry)) {
      if (!kept.empty())
        kept.push_back(';');
      kept.append(e);
    }
    return true;
  });
  return kept;
}

std::string PathListAppendAll(std::string_view list, std::string_view entries) {
  EntrySet present = EntriesIn(list);
  std::string joined(list);
  ForEachEntry(entries, [&](std::string_view e) {
    if (present.insert(e).second) {
      if (!joined.empty() && joined.back() != ';')
        joined.push_back(';');
      joined.append(e);
    }
    return true;
  });
  return joined;
}

std::string PathListRemoveAll(std::string_view list, std::string_view entries) {
  const EntrySet removed = EntriesIn(entries);
  std::string kept;
  kept.reserve(list.size());
  bool any = false;
  ForEachEntry(list, [&](std::string_view e) {
    if (removed.contains(e)) {
      any = true;
    } else {
      if (!kept.empty())
        kept.push_back(';');
      kept.append(e);
    }
    return true;
  });
  return any ? kept : std::string(list);
}
