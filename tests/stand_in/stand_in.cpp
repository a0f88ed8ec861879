#include "tests/stand_in/stand_in.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "base/account.h"
#include "base/system_message.h"
#include "lock/scope_lock.h"
#include "notice/change_notice.h"
#include "pathlist/path_edit.h"
#include "process/standard_error.h"
#include "store/registry_store.h"
#include "text/ascii_case.h"
#include "text/wtf8.h"

namespace {

constexpr StoreError kFileNotFound = 2;
constexpr StoreError kAccessDenied = 5;
constexpr StoreError kInvalidParameter = 87;

std::size_t IndexOf(const EnvLocation& location) {
  return location.root == RegistryRoot::LocalMachine ? 1 : 0;
}

StandInScope& ScopeOf(const EnvLocation& location) {
  return TheStandIn().scopes[IndexOf(location)];
}

// Counts a store call; throws where the stand-in was told to fail.
void CountStoreCall() {
  StandIn& standIn = TheStandIn();
  ++standIn.calls;
  if (standIn.failingCall == 0 || standIn.calls < standIn.failingCall)
    return;
  if (standIn.failure == Failure::Unexpected)
    throw std::logic_error("the stand-in failed as it was told");
  throw std::bad_alloc();
}

// Path may be touched only under the lock of its own scope, and not under
// the other scope's.
void NoteAccess(const EnvLocation& location, const std::string& name) {
  StandIn& standIn = TheStandIn();
  const std::size_t scope = IndexOf(location);
  if (IsPathName(name) && (!standIn.lockHeld[scope] || standIn.lockHeld[1 - scope]))
    standIn.pathOutsideItsLock = true;
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
  CountStoreCall();
  NoteAccess(location, name);
  const StandInScope& scope = ScopeOf(location);
  StoredString result;
  if (scope.key == KeyState::Unreadable) {
    result.error = kAccessDenied;
    return result;
  }
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
  CountStoreCall();
  NoteAccess(location, name);
  StandInScope& scope = ScopeOf(location);
  if (scope.key == KeyState::Missing)
    return kFileNotFound;
  if (scope.key == KeyState::ReadOnly)
    return kAccessDenied;
  const std::optional<std::string> bytes = RegistryDataFor(type, data);
  if (!bytes)
    return kInvalidParameter;
  scope.values[FoldedName(name)] = {type, *bytes};
  return 0;
}

StoreError CheckKeyRights(const EnvLocation& location, KeyRights rights) {
  const KeyState key = ScopeOf(location).key;
  const bool refused = (key == KeyState::Unreadable && rights != KeyRights::SetValues) ||
                       (key == KeyState::ReadOnly && rights != KeyRights::Read);
  return refused ? kAccessDenied : 0;
}

StoreError DeleteRegistryValue(const EnvLocation& location, const std::string& name) {
  CountStoreCall();
  StandInScope& scope = ScopeOf(location);
  const auto found = scope.values.find(FoldedName(name));
  if (scope.key == KeyState::Missing || found == scope.values.end())
    return 0;  // not there to begin with
  if (scope.key == KeyState::ReadOnly)
    return kAccessDenied;
  scope.values.erase(found);
  return 0;
}

void AnnounceEnvironmentChange(NoticeReach reach) noexcept {
  StandIn& standIn = TheStandIn();
  ++standIn.notices;
  if (reach == NoticeReach::OtherSessionsToo)
    ++standIn.relayedNotices;
  if (standIn.lockHeld[0] || standIn.lockHeld[1])
    standIn.noticeUnderLock = true;
}

std::string AccountSid() noexcept {
  try {
    return TheStandIn().accountSid;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

// The stand-in's lock is the flag it sets.
struct ScopeLockHolds {
  bool* held;
};

void ReleaseScopeLock::operator()(ScopeLockHolds* holds) const noexcept {
  *holds->held = false;
  delete holds;
}

ScopeLock TakeScopeLock(bool systemScope) {
  StandIn& standIn = TheStandIn();
  const std::size_t scope = systemScope ? 1 : 0;
  ScopeLock lock;
  lock.name = standIn.lockName.empty() ? ScopeLockFileName(systemScope) : standIn.lockName;
  switch (standIn.scopes[scope].lock) {
    case LockState::Free:
      lock.holds.reset(new ScopeLockHolds{&standIn.lockHeld[scope]});
      standIn.lockHeld[scope] = true;
      ++standIn.locksTaken;
      break;
    case LockState::HeldByAnother:
      break;  // the wait ran out
    case LockState::NotTheHolders:
      lock.unsafe = true;
      break;
    case LockState::Refused:
      lock.error = kAccessDenied;
      break;
  }
  return lock;
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
