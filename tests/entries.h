// The entries of a path list, as the tests check them: maximal runs of
// bytes other than ";".
#pragma once

#include <string_view>
#include <vector>

inline std::vector<std::string_view> EntriesOf(std::string_view list) {
  std::vector<std::string_view> entries;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == ';') {
      if (i > start)
        entries.push_back(list.substr(start, i - start));
      start = i + 1;
    }
  }
  return entries;
}
