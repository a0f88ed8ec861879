#include "update/messages.h"

#include <algorithm>
#include <initializer_list>

#include "lock/scope_lock.h"
#include "store/registry_store.h"

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;

// A line shows at most this many bytes of a name and of a value, and at
// most kMostReasonBytes of the lock's name (a path that holds the account's
// folder) and of the system's message, so that the whole line stays within
// kMostLineBytes.
constexpr std::size_t kMostShownBytes = 240;
constexpr std::size_t kMostReasonBytes = 120;
constexpr std::string_view kCut = "...";

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; }

// Whether a character of WTF-8 text may begin at this byte: any byte but a
// continuation byte. A surrogate pair is one character there.
bool StartsCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

// Text too long to show whole: its beginning and its end with "..." between,
// cut between characters, at most `most` bytes in all.
std::string Shortened(std::string_view text, std::size_t most) {
  if (text.size() <= most)
    return std::string(text);
  const std::size_t half = (most - kCut.size()) / 2;
  std::size_t head = half;
  while (head > 0 && !StartsCharacter(text[head]))
    --head;
  std::size_t tail = text.size() - half;
  while (tail < text.size() && !StartsCharacter(text[tail]))
    ++tail;
  std::string shown(text.substr(0, head));
  shown.append(kCut);
  shown.append(text.substr(tail));
  return shown;
}

// A name, a value or a lock as given, in quotes, shortened when it is long;
// a control character would break the line, so each one shows as "?".
std::string Quoted(std::string_view text, std::size_t most = kMostShownBytes) {
  std::string quoted(1, '"');
  quoted.append(Shortened(text, most));
  quoted.push_back('"');
  std::replace_if(quoted.begin(), quoted.end(), IsControl, '?');
  return quoted;
}

void Append(std::string& line, std::initializer_list<std::string_view> parts) {
  for (const std::string_view part : parts)
    line.append(part);
}

// "error N", then the system's message on the same line.
std::string SystemReason(std::uint32_t error, std::string_view message) {
  std::string tidy;
  for (const char c : Shortened(message, kMostReasonBytes)) {
    const char shown = IsControl(c) ? ' ' : c;
    if (shown != ' ' || (!tidy.empty() && tidy.back() != ' '))
      tidy.push_back(shown);
  }
  while (!tidy.empty() && tidy.back() == ' ')
    tidy.pop_back();
  std::string reason = "error " + std::to_string(error);
  if (!tidy.empty())
    Append(reason, {": ", tidy});
  return reason;
}

void AppendWhatWasAsked(std::string& line, const UpdateRequest& request) {
  const std::string name = Quoted(request.name);
  if (request.addEntry)
    Append(line, {"add ", Quoted(*request.value), " to ", name});
  else if (request.removeEntry)
    Append(line, {"remove ", Quoted(*request.value), " from ", name});
  else
    Append(line, {request.value ? "set " : "delete ", name});
}

void AppendWhy(std::string& line, const Refusal& refusal, bool systemScope,
               std::string_view systemMessage) {
  const std::string lock = Quoted(refusal.lock, kMostReasonBytes);
  const std::string waited = std::to_string(kScopeLockWaitMs / 1000);
  const std::string system = SystemReason(refusal.error, systemMessage);
  switch (refusal.cause) {
    case RefusalCause::Registry:
      if (refusal.error == kErrorFileNotFound)
        Append(line, {"the key does not exist, ", system});
      else
        Append(line, {"the registry refused with ", system});
      return;
    case RefusalCause::PathNotText:
      Append(line, {"the stored value is ", RegistryTypeName(refusal.type),
                    ", not text, and is left as it is"});
      return;
    case RefusalCause::PathAfterNul:
      Append(line, {"the stored value holds data after a NUL, which a rewrite would lose, and is "
                    "left as it is"});
      return;
    case RefusalCause::PathHalfUnit:
      Append(line, {"the stored value ends in half a UTF-16 unit, which a rewrite would lose, and "
                    "is left as it is"});
      return;
    case RefusalCause::LockTimedOut:
      Append(line,
             {"another run held the lock ", lock, " for more than ", waited, " s; try again"});
      return;
    case RefusalCause::LockInUse:
      Append(line,
             {"another program kept the lock ", lock, " open for more than ", waited, " s, ",
              std::string_view(system).substr(0, system.find_last_not_of('.') + 1), "; try again"});
      return;
    case RefusalCause::LockFailed:
      Append(line, {"the lock ", lock, " cannot be had, ", system});
      if (systemScope && refusal.error == kErrorAccessDenied)
        Append(line, {line.back() == '.' ? " " : ". ",
                      "Only administrators and SYSTEM may take the system's lock."});
      return;
    case RefusalCause::LockUnsafe:
      Append(line,
             {"the lock ", lock,
              " or its folder may be opened or changed by another account, so it is no lock"});
      return;
  }
}

}  // namespace

bool IsBusy(const Refusal& refusal) {
  return refusal.cause == RefusalCause::LockTimedOut || refusal.cause == RefusalCause::LockInUse;
}

Refusal RefusalOfRead(const StoredString& stored) {
  switch (stored.status) {
    case ReadStatus::NotText:
      return {RefusalCause::PathNotText, 0, stored.type};
    case ReadStatus::TextAfterNul:
      return {RefusalCause::PathAfterNul};
    case ReadStatus::HalfUnit:
      return {RefusalCause::PathHalfUnit};
    case ReadStatus::Found:
    case ReadStatus::Absent:
    case ReadStatus::Failed:
      break;
  }
  return {RefusalCause::Registry, stored.error};
}

std::string RefusalLine(const UpdateRequest& request, const Refusal& refusal,
                        std::string_view systemMessage) {
  std::string line = "Morlex: cannot ";
  AppendWhatWasAsked(line, request);
  Append(line, {" in the ", request.systemScope ? "system" : "user", " environment (",
                KeyNameOf(LocationForScope(request.systemScope)), "): "});
  AppendWhy(line, refusal, request.systemScope, systemMessage);
  Append(line, {line.back() == '.' ? "" : ".", "\r\n"});
  return line;
}
