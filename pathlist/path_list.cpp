#include "pathlist/path_list.h"

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
