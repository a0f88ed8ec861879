#include <windows.h>
// aclapi.h and sddl.h need what windows.h declares.
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/account_win32.h"
#include "base/deadline.h"
#include "lock/scope_lock.h"
#include "text/wide_text.h"

namespace {

// Memory the platform hands out with LocalAlloc.
using LocalMemory = std::unique_ptr<void, decltype(&LocalFree)>;

// A security descriptor made from SDDL; null when it cannot be made.
LocalMemory SecurityFrom(const std::string& sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(
      WideFromWtf8(sddl).value_or(std::wstring()).c_str(), SDDL_REVISION_1, &sd, nullptr);
  return {sd, LocalFree};
}

// The owner of an object as written; empty when it has none (Wine keeps no
// owner for an object made without a security descriptor); nothing when the
// owner may not be read.
std::optional<std::string> OwnerOf(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, &sd) != ERROR_SUCCESS)
    return std::nullopt;
  const LocalMemory owned(sd, LocalFree);
  if (!owner)
    return std::string();
  std::string text = SidText(owner);
  if (text.empty())
    return std::nullopt;
  return text;
}

// Makes the mutex with the security in sddl, or opens the one there. With
// anyOwner, a mutex whose owner this account may not set is made with the
// account's default security instead. Null, with the system's code in
// error, when it can be neither made nor opened.
HANDLE MakeOrOpen(const std::string& name, const std::string& sddl, bool anyOwner,
                  std::uint32_t& error) {
  const std::wstring wideName = WideFromWtf8(name).value_or(std::wstring());
  const LocalMemory sd = SecurityFrom(sddl);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd.get(), FALSE};
  HANDLE mutex = CreateMutexW(sd ? &attributes : nullptr, FALSE, wideName.c_str());
  if (!mutex && anyOwner && GetLastError() == ERROR_INVALID_OWNER)
    mutex = CreateMutexW(nullptr, FALSE, wideName.c_str());
  if (!mutex)
    mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL, FALSE, wideName.c_str());
  if (!mutex)
    error = GetLastError();
  return mutex;
}

// Waits for a mutex until deadline; false, with the system's code in error
// when the wait itself failed, when it was not had.
bool Take(HANDLE mutex, ULONGLONG deadline, std::uint32_t& error) {
  const DWORD wait = WaitForSingleObject(mutex, MsUntil(deadline, GetTickCount64()));
  if (wait == WAIT_FAILED)
    error = GetLastError();
  return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

// The scope's private namespace, made, or opened when it is there already
// (and made again when it went away between the two); null where the
// platform has none, or the run is not inside its boundary.
HANDLE MakeOrOpenPrivateNamespace(bool systemScope, const std::string& account,
                                  const std::string& sddl) {
  HANDLE boundary = CreateBoundaryDescriptorW(
      WideFromWtf8(kPrivateLockBoundary).value_or(std::wstring()).c_str(), 0);
  if (!boundary)
    return nullptr;
  PSID sid = nullptr;
  const bool added =
      ConvertStringSidToSidW(WideFromWtf8(PrivateLockBoundarySid(systemScope, account))
                                 .value_or(std::wstring())
                                 .c_str(),
                             &sid) &&
      AddSIDToBoundaryDescriptor(&boundary, sid);
  const LocalMemory ownedSid(sid, LocalFree);
  HANDLE made = nullptr;
  if (added) {
    const LocalMemory sd = SecurityFrom(sddl);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd.get(), FALSE};
    const std::wstring alias =
        WideFromWtf8(PrivateNamespaceName(systemScope, account)).value_or(std::wstring());
    for (int attempt = 0; sd && !made && attempt < 3; ++attempt) {
      made = CreatePrivateNamespaceW(&attributes, boundary, alias.c_str());
      if (made || GetLastError() != ERROR_ALREADY_EXISTS)
        break;
      made = OpenPrivateNamespaceW(boundary, alias.c_str());
    }
  }
  DeleteBoundaryDescriptor(boundary);
  return made;
}

}  // namespace

ScopeLock::ScopeLock(bool systemScope) {
  const std::string account = AccountSid();
  name = ScopeLockName(systemScope, account);
  if (account.empty()) {
    error = GetLastError() ? GetLastError() : ERROR_INVALID_SID;
    return;
  }
  const ULONGLONG deadline = GetTickCount64() + kScopeLockWaitMs;
  const std::string sddl = ScopeLockSecurity(systemScope, account);
  ScopeLockFacts facts;

  // The private lock: nobody outside its boundary can make it or anything
  // in its namespace, so it needs no check of its owner.
  std::string privateName;
  privateNamespace = MakeOrOpenPrivateNamespace(systemScope, account, sddl);
  if (privateNamespace) {
    privateName = PrivateNamespaceName(systemScope, account) + "\\" + kPrivateLockMutex;
    std::uint32_t unused = 0;
    privateMutex = MakeOrOpen(privateName, sddl, false, unused);
  }
  facts.privateLock = privateMutex != nullptr;

  // The shared lock is waited for only when whoever made it may hold it:
  // anybody may make a mutex under that name, hold it for ever or shut it
  // to everyone, and that must cost no edit and no wait.
  std::uint32_t passedOver = 0;
  std::unique_ptr<void, decltype(&CloseHandle)> shared(MakeOrOpen(name, sddl, false, passedOver),
                                                       CloseHandle);
  if (shared) {
    const std::optional<std::string> owner = OwnerOf(shared.get());
    if (!owner || !OwnerMayHoldScopeLock(systemScope, account, *owner)) {
      shared.reset();
      passedOver = ERROR_ACCESS_DENIED;
    }
  }
  facts.sharedRightful = shared != nullptr;
  DWORD session = 0;
  facts.sessionZero = ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0;

  const std::vector<ScopeLockKind> locks = ScopeLocksToTake(facts);
  if (locks.empty())
    error = passedOver;  // session 0's own name is the squatted one
  for (const ScopeLockKind kind : locks) {
    switch (kind) {
      case ScopeLockKind::Private:
        privateHeld = Take(privateMutex, deadline, error);
        if (!privateHeld) {
          name = privateName;
          return;
        }
        break;
      case ScopeLockKind::Shared:
        mutex = shared.release();
        break;
      case ScopeLockKind::Session:
        name = SessionLockName(name);
        mutex = MakeOrOpen(name, sddl, true, error);
        if (!mutex)
          return;
        break;
    }
    if (kind != ScopeLockKind::Private && !Take(mutex, deadline, error))
      return;
  }
  held = !locks.empty();
}

ScopeLock::~ScopeLock() {
  if (held && mutex)
    ReleaseMutex(mutex);
  if (mutex)
    CloseHandle(mutex);
  if (privateHeld)
    ReleaseMutex(privateMutex);
  if (privateMutex)
    CloseHandle(privateMutex);
  if (privateNamespace)
    ClosePrivateNamespace(privateNamespace, 0);
}
