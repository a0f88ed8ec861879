#include "lock/scope_lock.h"

namespace {

constexpr std::string_view kShared = "Global\\";
constexpr std::string_view kSession = "Local\\";

}  // namespace

std::string ScopeLockName(bool systemScope, std::string_view accountSid) {
  if (systemScope)
    return kSystemScopeLockName;
  return kUserScopeLockPrefix + std::string(accountSid);
}

std::string SessionLockName(std::string_view sharedName) {
  if (sharedName.substr(0, kShared.size()) == kShared)
    sharedName.remove_prefix(kShared.size());
  return std::string(kSession) + std::string(sharedName);
}

std::string ScopeLockSecurity(bool systemScope, std::string_view accountSid) {
  if (systemScope) {
    const char* owner = accountSid == kLocalSystemSid ? "SY" : "BA";
    return "O:" + std::string(owner) + "D:P(A;;GA;;;BA)(A;;GA;;;SY)";
  }
  const std::string account(accountSid);
  return "O:" + account + "D:P(A;;GA;;;" + account + ")(A;;GA;;;SY)";
}

bool OwnerMayHoldScopeLock(bool systemScope, std::string_view accountSid,
                           std::string_view ownerSid) {
  if (ownerSid.empty() || ownerSid == kAdministratorsSid || ownerSid == kLocalSystemSid)
    return true;
  return !systemScope && ownerSid == accountSid;
}

std::string PrivateNamespaceName(bool systemScope, std::string_view accountSid) {
  return ScopeLockName(systemScope, accountSid).substr(kShared.size());
}

std::string PrivateLockBoundarySid(bool systemScope, std::string_view accountSid) {
  return systemScope ? kAdministratorsSid : std::string(accountSid);
}

std::vector<ScopeLockKind> ScopeLocksToTake(const ScopeLockFacts& facts) {
  if (facts.privateLock) {
    if (facts.sharedRightful)
      return {ScopeLockKind::Private, ScopeLockKind::Shared};
    return {ScopeLockKind::Private};
  }
  if (facts.sharedRightful)
    return {ScopeLockKind::Shared};
  if (facts.sessionZero)
    return {};
  return {ScopeLockKind::Session};
}
