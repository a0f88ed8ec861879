// Feeds arbitrary lists and entries through the path list operations, and
// asserts what must hold for any of them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "pathlist/path_list.h"
#include "tests/entries.h"
#include "text/ascii_case.h"

namespace {

void Require(bool holds) {
  if (!holds)
    std::abort();
}

}  // namespace

// The input is the list, a NUL byte, then the entry.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string_view list = input.substr(0, nul);
  const std::string_view entry = nul == std::string_view::npos ? "" : input.substr(nul + 1);
  const bool plainEntry = !entry.empty() && entry.find(';') == std::string_view::npos;

  const bool contains = PathListContains(list, entry);
  const std::vector<std::string_view> entries = EntriesOf(list);

  const std::string removed = PathListRemove(list, entry);
  Require(removed.size() <= list.size());
  std::vector<std::string_view> kept;
  std::copy_if(entries.begin(), entries.end(), std::back_inserter(kept),
               [entry](std::string_view e) { return !EqualIgnoringAsciiCase(e, entry); });
  Require(EntriesOf(removed) == kept);  // every other entry, in order
  Require(removed.empty() || (removed.front() != ';' && removed.back() != ';'));
  Require(removed.find(";;") == std::string::npos);
  if (plainEntry) {
    Require(!PathListContains(removed, entry));
    Require(contains == (kept.size() < entries.size()));
  }

  const std::string appended = PathListAppend(list, entry);
  Require(appended.compare(0, list.size(), list) == 0);
  Require(appended.size() <= list.size() + 1 + entry.size());
  if (plainEntry)
    Require(PathListContains(appended, entry));

  // The value as a list, as /a and /r read one that holds ";": after /a,
  // the entries that were there, in order, then each of its entries that
  // was not, once; after /r, every entry that is none of its, in order.
  const std::vector<std::string_view> given = EntriesOf(entry);
  const auto in = [](const std::vector<std::string_view>& es, std::string_view e) {
    return std::any_of(es.begin(), es.end(), [e](auto x) { return EqualIgnoringAsciiCase(x, e); });
  };
  std::vector<std::string_view> added = entries;
  for (const std::string_view e : given) {
    if (!in(added, e))
      added.push_back(e);
  }
  const std::string appendedAll = PathListAppendAll(list, entry);
  Require(EntriesOf(appendedAll) == added);
  std::vector<std::string_view> others;
  std::copy_if(entries.begin(), entries.end(), std::back_inserter(others),
               [&](std::string_view e) { return !in(given, e); });
  const std::string removedAll = PathListRemoveAll(list, entry);
  Require(EntriesOf(removedAll) == others);
  return 0;
}
