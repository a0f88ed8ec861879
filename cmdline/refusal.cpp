#include "cmdline/refusal.h"

#include <algorithm>

#include "envstore/scope_lock.h"

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorInvalidHandle = 6;

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; }

// A name or value as typed, in quotes; a control character would break the
// line, so each one shows as "?".
std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.push_back('"');
  quoted.append(text);
  quoted.push_back('"');
  std::replace_if(quoted.begin(), quoted.end(), IsControl, '?');
  return quoted;
}

// "error N", then the system's message on the same line.
std::string SystemReason(std::uint32_t error, std::string_view message) {
  std::string tidy;
  for (const char c : message) {
    const char shown = IsControl(c) ? ' ' : c;
    if (shown != ' ' || (!tidy.empty() && tidy.back() != ' '))
      tidy.push_back(shown);
  }
  while (!tidy.empty() && tidy.back() == ' ')
    tidy.pop_back();
  std::string reason = "error " + std::to_string(error);
  if (!tidy.empty())
    reason += ": " + tidy;
  return reason;
}

std::string WhatWasAsked(const UpdateRequest& request) {
  const std::string name = Quoted(*request.name);
  if (request.addEntry)
    return "add " + Quoted(*request.value) + " to " + name;
  if (request.removeEntry)
    return "remove " + Quoted(*request.value) + " from " + name;
  if (request.value)
    return "set " + name;
  return "delete " + name;
}

std::string Why(const UpdateRequest& request, const Refusal& refusal,
                std::string_view systemMessage) {
  const std::string lock = ScopeLockName(request.systemScope);
  const std::string system = SystemReason(refusal.error, systemMessage);
  switch (refusal.cause) {
    case RefusalCause::Registry:
      if (refusal.error == kErrorFileNotFound)
        return "the key does not exist, " + system;
      return "the registry refused with " + system;
    case RefusalCause::PathNotText:
      return "the stored value is " + RegistryTypeName(refusal.type) +
             ", not text, and is left as it is";
    case RefusalCause::PathAfterNul:
      return "the stored value holds data after a NUL, which a rewrite would lose, and is left "
             "as it is";
    case RefusalCause::PathHalfUnit:
      return "the stored value ends in half a UTF-16 unit, which a rewrite would lose, and is "
             "left as it is";
    case RefusalCause::LockTimedOut:
      return "another run held the lock " + lock + " for more than " +
             std::to_string(kScopeLockWaitMs / 1000) + " s";
    case RefusalCause::LockFailed:
      if (refusal.error == kErrorInvalidHandle)
        return "the name of the lock " + lock + " is taken by an object that is not a mutex";
      return "the lock " + lock + " cannot be had, " + system;
  }
  return {};
}

}  // namespace

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
  const EnvLocation location = LocationForScope(request.systemScope);
  std::string line = "Morlex: cannot " + WhatWasAsked(request) + " in the " +
                     (request.systemScope ? "system" : "user") + " environment (" +
                     KeyNameOf(location) + "): " + Why(request, refusal, systemMessage);
  if (line.back() != '.')
    line.push_back('.');
  return line + "\r\n";
}
