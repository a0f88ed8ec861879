// Runs the whole update, from the command tail to the exit code, against the
// in-memory stand-in of the store, the lock, standard error and the notice,
// from a starting store the input chooses; asserts what each exit code
// promises.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "cmdline/refusal.h"
#include "cmdline/split_command_tail.h"
#include "cmdline/update_flow.h"
#include "cmdline/update_request.h"
#include "envstore/envstore.h"
#include "fuzz/entries.h"
#include "pathlist/path_list.h"
#include "tests/stand_in/stand_in.h"
#include "text/ascii_case.h"
#include "text/wtf8.h"

namespace {

// Names the line of a broken promise.
void Require(bool holds, int line = __builtin_LINE()) {
  if (holds)
    return;
  std::fprintf(stderr, "update_flow_fuzz.cpp:%d: a promise is broken\n", line);
  std::abort();
}

// Short text from pieces that make lists, switches and names likely.
std::string SomeText(FuzzedDataProvider& in) {
  static const char* const kPieces[] = {
      "C:\\A", "c:\\a", "C:\\B", ";",  ";;",           "Path",
      "PATH",  "V",     "/s",    "/a", "/r",           "/x",
      " ",     "\"",    "\t",    "x",  "\xE7\x94\xB0", "\xF0\x9D\x84\x9E",
      "%P%",   "\\",
  };
  std::string text;
  const int pieces = in.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < pieces; ++i)
    text += in.PickValueInArray(kPieces);
  return text;
}

StoredValue SomeValue(FuzzedDataProvider& in) {
  if (in.ConsumeBool())
    return TextValue(SomeText(in), in.ConsumeBool() ? kRegSz : kRegExpandSz);
  StoredValue raw;
  raw.type = in.PickValueInArray({kRegSz, kRegExpandSz, kRegDword, 3u, 7u});
  raw.bytes = in.ConsumeRandomLengthString(16);
  return raw;
}

std::optional<std::string> TextOf(const std::optional<StoredValue>& value) {
  if (!value)
    return std::nullopt;
  return TextFromRegistryData(value->type, value->bytes);
}

// What exit code 0 promises of the named value, given what it was.
void RequireDone(const UpdateRequest& request, const std::optional<StoredValue>& before,
                 const std::optional<StoredValue>& after) {
  const std::string& value = request.value ? *request.value : std::string();
  if (!request.addEntry && !request.removeEntry) {
    Require(request.value ? after == TextValue(value, kRegExpandSz) : !after);
    return;
  }
  const std::optional<std::string> old = TextOf(before);
  const std::optional<std::string> now = TextOf(after);
  if (request.removeEntry && !before) {
    Require(!after);
    return;
  }
  Require(old.has_value() == before.has_value() && now.has_value());
  if (request.addEntry) {
    // Every earlier unit stays in front, and the entry is there.
    Require(now->compare(0, old.value_or("").size(), old.value_or("")) == 0);
    const bool plain = !value.empty() && value.find(';') == std::string::npos;
    Require(plain ? PathListContains(*now, value)
                  : now->size() >= value.size() &&
                        now->compare(now->size() - value.size(), value.size(), value) == 0);
    return;
  }
  const std::vector<std::string_view> entries = EntriesOf(*old);
  std::vector<std::string_view> kept;
  std::copy_if(entries.begin(), entries.end(), std::back_inserter(kept),
               [&value](std::string_view entry) { return !EqualIgnoringAsciiCase(entry, value); });
  Require(EntriesOf(*now) == kept);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  StandIn& standIn = TheStandIn();
  standIn = StandIn{};
  for (StandInScope& scope : standIn.scopes) {
    scope.key = in.PickValueInArray(
        {KeyState::Present, KeyState::Present, KeyState::Missing, KeyState::ReadOnly});
    scope.lock = in.PickValueInArray(
        {LockState::Free, LockState::Free, LockState::HeldByAnother, LockState::OtherKind});
    for (const char* name : {"PATH", "V"}) {
      if (in.ConsumeBool() && scope.key != KeyState::Missing)
        scope.values[name] = SomeValue(in);
    }
  }
  standIn.failingCall = in.ConsumeIntegralInRange(0, 3);
  // The tail comes from UTF-16 units, as on the platform, or from pieces.
  std::string tail = SomeText(in);
  if (in.ConsumeBool()) {
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
      units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                       static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    tail = Wtf8FromUtf16(units);
  }

  const StandIn before = standIn;
  const ArgumentVector args = SplitCommandTail(tail, std::nullopt);
  const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
  const int exitCode = request ? RunUpdate(*request) : kExitUsage;

  Require(!standIn.lockHeld && !standIn.pathWrittenUnlocked && !standIn.noticeUnderLock);
  const bool unchanged = standIn.scopes == before.scopes;
  const std::string& said = standIn.standardError;
  switch (exitCode) {
    case kExitUsage:
      Require(unchanged && standIn.locksTaken == 0 && standIn.notices == 0 && said.empty());
      return 0;
    case kExitOutOfMemory:
      Require(unchanged && standIn.notices == 0 && said == kOutOfMemoryLine);
      return 0;
    case kExitNothingChanged:
      Require(unchanged && standIn.notices == 1);
      Require(said.rfind("Morlex: ", 0) == 0 && said.size() <= kMostLineBytes);
      Require(said.find('\n') == said.size() - 1 && said.find('\r') == said.size() - 2);
      return 0;
    case kExitDone:
      break;
    default:
      Require(false);
  }
  Require(said.empty() && standIn.notices == 1);
  // Only the named value in the request's scope may have changed.
  const int changed = request->systemScope ? 1 : 0;
  Require(standIn.scopes[1 - changed] == before.scopes[1 - changed]);
  StandInScope afterScope = standIn.scopes[changed];
  StandInScope beforeScope = before.scopes[changed];
  const std::string name = FoldedName(*request->name);
  const auto valueIn = [&name](const StandInScope& scope) -> std::optional<StoredValue> {
    const auto found = scope.values.find(name);
    return found == scope.values.end() ? std::nullopt : std::optional(found->second);
  };
  RequireDone(*request, valueIn(beforeScope), valueIn(afterScope));
  afterScope.values.erase(name);
  beforeScope.values.erase(name);
  Require(afterScope == beforeScope);
  return 0;
}
