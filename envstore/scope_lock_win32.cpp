#include <windows.h>
// aclapi.h and sddl.h need what windows.h declares.
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "envstore/scope_lock.h"
#include "text/wide_text.h"

namespace {

// The owner of an object as written; empty when it has none (Wine keeps no
// owner for an object made without a security descriptor); nothing when the
// owner may not be read.
std::optional<std::string> OwnerOf(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, &sd) != ERROR_SUCCESS)
    return std::nullopt;
  const std::unique_ptr<void, decltype(&LocalFree)> owned(sd, LocalFree);
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
  PSECURITY_DESCRIPTOR sd = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(
      WideFromWtf8(sddl).value_or(std::wstring()).c_str(), SDDL_REVISION_1, &sd, nullptr);
  const std::unique_ptr<void, decltype(&LocalFree)> owned(sd, LocalFree);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
  HANDLE mutex = CreateMutexW(sd ? &attributes : nullptr, FALSE, wideName.c_str());
  if (!mutex && anyOwner && GetLastError() == ERROR_INVALID_OWNER)
    mutex = CreateMutexW(nullptr, FALSE, wideName.c_str());
  if (!mutex)
    mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL, FALSE, wideName.c_str());
  if (!mutex)
    error = GetLastError();
  return mutex;
}

}  // namespace

ScopeLock::ScopeLock(bool systemScope) {
  const std::string account = AccountSid();
  name = ScopeLockName(systemScope, account);
  if (account.empty()) {
    error = GetLastError() ? GetLastError() : ERROR_INVALID_SID;
    return;
  }
  const std::string sddl = ScopeLockSecurity(systemScope, account);
  // The shared lock is waited for only when whoever made it may hold it:
  // anybody may make a mutex under that name, hold it for ever or shut it
  // to everyone, and that must cost no edit and no wait. Otherwise the
  // session's own lock stands in.
  std::uint32_t passedOver = 0;
  mutex = MakeOrOpen(name, sddl, false, passedOver);
  if (mutex) {
    const std::optional<std::string> owner = OwnerOf(mutex);
    if (!owner || !OwnerMayHoldScopeLock(systemScope, account, *owner)) {
      CloseHandle(mutex);
      mutex = nullptr;
    }
  }
  if (!mutex) {
    name = SessionLockName(name);
    mutex = MakeOrOpen(name, sddl, true, error);
    if (!mutex)
      return;
  }
  const DWORD wait = WaitForSingleObject(mutex, kScopeLockWaitMs);
  held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  if (wait == WAIT_FAILED)
    error = GetLastError();
}

ScopeLock::~ScopeLock() {
  if (held)
    ReleaseMutex(mutex);
  if (mutex)
    CloseHandle(mutex);
}
