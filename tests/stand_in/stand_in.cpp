#include "tests/stand_in/stand_in.h"

#include <algorithm>
#include <new>

#include "cmdline/standard_error.h"
#include "cmdline/update_request.h"
#include "envstore/envstore.h"
#include "envstore/scope_lock.h"
#include "text/ascii_case.h"
#include "text/wtf8.h"

namespace {

constexpr StoreError kFileNotFound = 2;
constexpr StoreError kAccessDenied = 5;
constexpr std::uint32_t kInvalidHandle = 6;
constexpr StoreError kInvalidParameter = 87;

StandInScope& ScopeOf(const EnvLocation& location) {
  return TheStandIn().scopes[location.root == RegistryRoot::LocalMachine ? 1 : 0];
}

// Counts a store call; throws where the stand-in's memory runs out.
void Call() {
  StandIn& standIn = TheStandIn();
  ++standIn.calls;
  if (standIn.failingCall > 0 && standIn.calls >= standIn.failingCall)
    throw std::bad_alloc();
}

}  // namespace

StandIn& TheStandIn() {
  static StandIn standIn;
  return standIn;
}

std::string FoldedName(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(), AsciiUpper);
  return name;
}

StoredValue TextValue(const std::string& text, std::uint32_t type) {
  return {type, RegistryDataFor(type, text).value_or("")};
}

StoredString ReadRegistryString(const EnvLocation& location, const std::string& name) {
  Call();
  const StandInScope& scope = ScopeOf(location);
  StoredString result;
  const auto found = scope.values.find(FoldedName(name));
  if (scope.key == KeyState::Missing || found == scope.values.end()) {
    result.status = ReadStatus::Absent;
    return result;
  }
  const StoredValue& value = found->second;
  result.type = value.type;
  const std::optional<std::string> text = TextFromRegistryData(value.type, value.bytes);
  result.status = text ? ReadStatus::Found : RegistryDataStatus(value.type, value.bytes);
  result.text = text.value_or("");
  return result;
}

StoreError WriteRegistryValue(const EnvLocation& location, const std::string& name,
                              const std::string& data, std::uint32_t type) {
  Call();
  StandInScope& scope = ScopeOf(location);
  if (scope.key == KeyState::Missing)
    return kFileNotFound;
  if (scope.key == KeyState::ReadOnly)
    return kAccessDenied;
  const std::optional<std::string> bytes = RegistryDataFor(type, data);
  if (!bytes)
    return kInvalidParameter;
  StandIn& standIn = TheStandIn();
  if (IsPathName(name) && !standIn.lockHeld)
    standIn.pathWrittenUnlocked = true;
  scope.values[FoldedName(name)] = {type, *bytes};
  return 0;
}

StoreError DeleteRegistryValue(const EnvLocation& location, const std::string& name) {
  Call();
  StandInScope& scope = ScopeOf(location);
  const auto found = scope.values.find(FoldedName(name));
  if (scope.key == KeyState::Missing || found == scope.values.end())
    return 0;  // not there to begin with
  if (scope.key == KeyState::ReadOnly)
    return kAccessDenied;
  scope.values.erase(found);
  return 0;
}

void AnnounceEnvironmentChange() noexcept {
  StandIn& standIn = TheStandIn();
  ++standIn.notices;
  if (standIn.lockHeld)
    standIn.noticeUnderLock = true;
}

ScopeLock::ScopeLock(bool systemScope) {
  StandIn& standIn = TheStandIn();
  switch (standIn.scopes[systemScope ? 1 : 0].lock) {
    case LockState::Free:
      held = true;
      standIn.lockHeld = true;
      ++standIn.locksTaken;
      return;
    case LockState::HeldByAnother:
      return;  // the wait ran out
    case LockState::OtherKind:
      error = kInvalidHandle;
      return;
  }
}

ScopeLock::~ScopeLock() {
  if (held)
    TheStandIn().lockHeld = false;
}

void WriteToStandardError(std::string_view text) noexcept {
  try {
    TheStandIn().standardError.append(Utf8FromWtf8(text));
  } catch (const std::bad_alloc&) {
    // As on the platform: nothing more can be said.
  }
}

std::string SystemMessage(std::uint32_t error) {
  return error == kAccessDenied ? "Access is denied." : "";
}
