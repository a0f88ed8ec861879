// A path list: entries separated by ";". An entry is a maximal run of bytes
// other than ";", so runs of ";" separate like one and ";" at either end
// separates nothing. Entries compare ignoring ASCII case and otherwise byte
// for byte: nothing is trimmed, normalised or expanded. Each operation reads
// its inputs once and runs in time linear in their length.
#pragma once

#include <string>
#include <string_view>

// Whether entry is an entry of list. A list without entries contains only
// its own bytes.
bool PathListContains(std::string_view list, std::string_view entry);

// list with entry added at the end, its case kept; a ";" goes between them
// unless list is empty or already ends with one.
std::string PathListAppend(std::string_view list, std::string_view entry);

// list without any entry equal to entry. Kept entries keep their bytes and
// order, a run of ";" between them becomes one, and no ";" is left at
// either end.
std::string PathListRemove(std::string_view list, std::string_view entry);
