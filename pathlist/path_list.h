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

// The same for several entries, given as a list themselves (what /a and /r
// do with a value that holds ";"): list with each entry of entries appended
// in turn that is neither in list nor earlier in entries; list without any
// entry equal to one of entries, tidied as PathListRemove tidies it, or
// untouched when it holds none of them. Linear in both lengths, whatever
// they hold.
std::string PathListAppendAll(std::string_view list, std::string_view entries);
std::string PathListRemoveAll(std::string_view list, std::string_view entries);
