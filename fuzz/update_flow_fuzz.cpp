// Runs the whole update, from the command tail to the exit code, against the
// in-memory stand-in of the store, the lock, standard error and the notice,
// from a starting store the input chooses; asserts what each exit code
// promises, the exact value a done run leaves, that a run which may finish
// does, that Path is touched only under its own scope's lock, and that the
// notice is handed on to the other sessions only after a done change of the
// system scope made as SYSTEM.

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

#include "base/account.h"
#include "cmdline/check_request.h"
#include "cmdline/split_command_tail.h"
#include "store/registry_data.h"
#include "tests/entries.h"
#include "tests/stand_in/stand_in.h"
#include "text/ascii_case.h"
#include "text/wtf8.h"
#include "update/messages.h"
#include "update/run_update.h"

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

std::optional<StoredValue> ValueIn(const StandInScope& scope, const std::string& name) {
  const auto found = scope.values.find(FoldedName(name));
  return found == scope.values.end() ? std::nullopt : std::optional(found->second);
}

// The list rules, written out plainly: whether value is an entry of list (a
// list without entries holds only its own bytes), and the entries that are
// none of value's (a value read as a list), joined by single ";".
bool HasEntry(const std::string& list, const std::string& value) {
  const std::vector<std::string_view> entries = EntriesOf(list);
  if (entries.empty())
    return list == value;
  return std::any_of(entries.begin(), entries.end(), [&value](std::string_view entry) {
    return EqualIgnoringAsciiCase(entry, value);
  });
}

std::string OtherEntries(const std::string& list, const std::string& value) {
  std::string kept;
  for (const std::string_view entry : EntriesOf(list)) {
    if (HasEntry(value, std::string(entry)))
      continue;
    if (!kept.empty())
      kept += ';';
    kept += entry;
  }
  return kept;
}

// The text a done run leaves in the named value; nothing when it leaves the
// value out.
std::optional<std::string> ExpectedText(const UpdateRequest& request,
                                        const std::optional<StoredValue>& before) {
  if (!request.addEntry && !request.removeEntry)
    return request.value ? std::optional(*request.value) : std::nullopt;
  // A value without ";" is one entry, the empty one too; one with ";" a list.
  const std::string& value = *request.value;
  std::vector<std::string_view> given = EntriesOf(value);
  if (value.find(';') == std::string::npos)
    given = {value};
  const std::optional<std::string> old = before ? TextOf(before) : std::string();
  Require(old.has_value());  // done, so the stored list was text
  std::string list = *old;
  for (const std::string_view entry : given) {
    if (HasEntry(list, std::string(entry)) && request.removeEntry)
      return before ? std::optional(OtherEntries(list, value)) : std::nullopt;
    if (!HasEntry(list, std::string(entry)) && request.addEntry)
      list += (list.empty() || list.back() == ';' ? "" : ";") + std::string(entry);
  }
  return before || (request.addEntry && !given.empty()) ? std::optional(list) : std::nullopt;
}

// A done run left exactly the expected text, as REG_EXPAND_SZ; where the key
// may not be written, only a list that was as asked already.
void RequireDone(const UpdateRequest& request, const StandInScope& before,
                 const StandInScope& after) {
  const std::optional<StoredValue> old = ValueIn(before, request.name);
  const std::optional<StoredValue> now = ValueIn(after, request.name);
  const std::optional<std::string> expected = ExpectedText(request, old);
  if (!expected)
    Require(!now);
  else if (before.key == KeyState::ReadOnly)
    Require(now == old && TextOf(old) == expected);
  else
    Require(now == TextValue(*expected, kRegExpandSz));
  // Nothing else in the scope changed.
  StandInScope rest = after;
  StandInScope restBefore = before;
  rest.values.erase(FoldedName(request.name));
  restBefore.values.erase(FoldedName(request.name));
  Require(rest == restBefore);
}

// Whether nothing stands in the way of the request: its key present and
// writable, its lock free, no failure planted, and a stored list to edit
// that is text.
bool MayFinish(const UpdateRequest& request, const StandIn& before) {
  const StandInScope& scope = before.scopes[request.systemScope ? 1 : 0];
  if (scope.key != KeyState::Present || scope.lock != LockState::Free || before.failingCall != 0)
    return false;
  if (!request.addEntry && !request.removeEntry)
    return true;
  const std::optional<StoredValue> stored = ValueIn(scope, request.name);
  return !stored || TextOf(stored).has_value();
}

// Whether a fresh run on the state the last one left is done and changes
// nothing.
bool DoneAgainAlike(const UpdateRequest& request) {
  StandIn& standIn = TheStandIn();
  StandIn again;
  again.scopes = standIn.scopes;
  standIn = again;
  return RunUpdate(request) == kExitDone && standIn.scopes == again.scopes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  StandIn& standIn = TheStandIn();
  standIn = StandIn{};
  for (StandInScope& scope : standIn.scopes) {
    scope.key = in.PickValueInArray({KeyState::Present, KeyState::Present, KeyState::Missing,
                                     KeyState::ReadOnly, KeyState::Unreadable});
    scope.lock = in.PickValueInArray({LockState::Free, LockState::Free, LockState::HeldByAnother,
                                      LockState::NotTheHolders, LockState::Refused});
    for (const char* name : {"PATH", "V"}) {
      if (in.ConsumeBool() && scope.key != KeyState::Missing)
        scope.values[name] = SomeValue(in);
    }
  }
  standIn.failingCall = in.ConsumeIntegralInRange(0, 3);
  standIn.failure = in.ConsumeBool() ? Failure::OutOfMemory : Failure::Unexpected;
  if (in.ConsumeBool())
    standIn.accountSid = kLocalSystemSid;
  // A lock's name holds the account's folder: text of any length.
  while (in.ConsumeBool() && standIn.lockName.size() < 400)
    standIn.lockName += "C:\\Users\\" + SomeText(in) + std::string(40, 'L');
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

  const ArgumentVector args = SplitCommandTail(tail);
  const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
  if (!request)
    return 0;
  const StandIn before = standIn;
  const int exitCode = RunUpdate(*request);

  Require(!standIn.lockHeld[0] && !standIn.lockHeld[1]);
  Require(!standIn.pathOutsideItsLock && !standIn.noticeUnderLock);
  const bool relays =
      exitCode == kExitDone && request->systemScope && before.accountSid == kLocalSystemSid;
  Require(standIn.relayedNotices == (relays ? 1 : 0));
  const bool unchanged = standIn.scopes == before.scopes;
  const bool failed = before.failingCall > 0 && standIn.calls >= before.failingCall;
  const bool failedUnexpectedly = failed && before.failure == Failure::Unexpected;
  const std::string& said = standIn.standardError;
  Require(exitCode == kExitDone || !MayFinish(*request, before));
  switch (exitCode) {
    case kExitOutOfMemory:
      Require(failed && before.failure == Failure::OutOfMemory);
      Require(unchanged && standIn.notices == 0 && said == kOutOfMemoryLine);
      return 0;
    case kExitBusy:
      // Only a lock held for the whole wait, which another try may get past.
      Require(before.scopes[request->systemScope ? 1 : 0].lock == LockState::HeldByAnother);
      [[fallthrough]];
    case kExitNothingChanged:
      Require(unchanged && standIn.notices == 1);
      Require((said == kUnexpectedErrorLine) == failedUnexpectedly);
      Require(said.rfind("Morlex: ", 0) == 0 && said.size() <= kMostLineBytes);
      Require(said.find('\n') == said.size() - 1 && said.find('\r') == said.size() - 2);
      return 0;
    case kExitDone:
      break;
    default:
      Require(false);
  }
  Require(!failed && said.empty() && standIn.notices == 1);
  const std::size_t changed = request->systemScope ? 1 : 0;
  Require(standIn.scopes[1 - changed] == before.scopes[1 - changed]);
  RequireDone(*request, before.scopes[changed], standIn.scopes[changed]);

  // Done is done: the same /a or /r again changes nothing, whatever its value.
  if (request->removeEntry || request->addEntry)
    Require(DoneAgainAlike(*request));
  return 0;
}
