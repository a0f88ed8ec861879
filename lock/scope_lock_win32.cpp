#include <windows.h>
// sddl.h and shlobj.h need what windows.h declares.
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/account.h"
#include "base/deadline.h"
#include "base/handles_win32.h"
#include "base/system_library_win32.h"
#include "lock/scope_lock.h"
#include "security/object_security_win32.h"
#include "text/wide_text.h"

struct ScopeLockHolds {
  Handle folder;  // kept open, without sharing its deletion, so that it stays where it is
  Handle file;    // its first byte locked
  Handle mutex;   // the shared mutex, when it was waited for and had; else null
};

void ReleaseScopeLock::operator()(ScopeLockHolds* holds) const noexcept {
  if (holds->mutex)
    ReleaseMutex(holds->mutex.get());
  OVERLAPPED first = {};
  UnlockFileEx(holds->file.get(), 0, 1, 0, &first);
  delete holds;
}

namespace {

// The longest pause between two tries for the lock file.
constexpr DWORD kMostPollMs = 50;

// A security descriptor made from SDDL; null when it cannot be made.
LocalMemory SecurityFrom(const std::string& sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(
      WideFromWtf8(sddl).value_or(std::wstring()).c_str(), SDDL_REVISION_1, &sd, nullptr);
  return LocalMemory(sd);
}

// The account's local application data, as the shell knows it.
std::optional<std::wstring> LocalAppData() {
  static const HMODULE shell = SystemLibrary(L"shell32.dll");
  static const HMODULE ole = SystemLibrary(L"ole32.dll");
  auto* known = ProcAddress<decltype(SHGetKnownFolderPath)>(shell, "SHGetKnownFolderPath");
  auto* release = ProcAddress<decltype(CoTaskMemFree)>(ole, "CoTaskMemFree");
  PWSTR path = nullptr;
  if (!known || !release || known(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &path) != S_OK)
    return std::nullopt;
  std::wstring found(path);
  release(path);
  return found;
}

// Where the lock file lives: the account's own local application data for
// the user scope; SYSTEM's, in its profile under the system folder, which
// only Administrators and SYSTEM may write, for the system scope.
std::optional<std::wstring> LockFolder(bool systemScope) {
  std::optional<std::wstring> base = systemScope ? SystemFolder() : LocalAppData();
  if (!base)
    return std::nullopt;
  if (systemScope)
    *base += L"\\config\\systemprofile\\AppData\\Local";
  return *base + L"\\" + *WideFromWtf8(kScopeLockFolder);
}

// Makes the folder with the holders' security when it is missing, and the
// folders above it that are missing with their own; false, with the
// system's code in error, when it cannot be made.
bool MakeFolder(const std::wstring& folder, const std::string& sddl, std::uint32_t& error) {
  std::vector<std::wstring> missing = {folder};
  for (std::size_t above = folder.find_last_of(L'\\'); above != std::wstring::npos && above > 2;
       above = folder.find_last_of(L'\\', above - 1)) {
    if (GetFileAttributesW(folder.substr(0, above).c_str()) != INVALID_FILE_ATTRIBUTES)
      break;
    missing.push_back(folder.substr(0, above));
  }
  const LocalMemory sd = SecurityFrom(sddl);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd.get(), FALSE};
  std::reverse(missing.begin(), missing.end());  // from the top down
  for (const std::wstring& made : missing) {
    const bool last = made == folder;
    if (!CreateDirectoryW(made.c_str(), last && sd ? &attributes : nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      error = GetLastError();
      return false;
    }
  }
  return true;
}

// Opens the lock folder, or the lock file (made with the security in sddl
// when it is missing), so that nobody may delete or rename it while it is
// open; null, with the system's code in error, when it cannot be opened.
Handle Open(const std::wstring& path, const std::string& sddl, std::uint32_t& error) {
  const bool folder = sddl.empty();
  const LocalMemory sd = folder ? LocalMemory() : SecurityFrom(sddl);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd.get(), FALSE};
  const DWORD access = READ_CONTROL | (folder ? 0 : GENERIC_READ | GENERIC_WRITE);
  HANDLE opened = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              folder ? nullptr : &attributes, folder ? OPEN_EXISTING : OPEN_ALWAYS,
                              folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return {};
  }
  return Handle(opened);
}

// Tries for the lock on the file's first byte until deadline; false, with
// the system's code in error when trying failed otherwise, when it was not
// had.
bool LockFirstByte(HANDLE file, ULONGLONG deadline, std::uint32_t& error) {
  for (DWORD pause = 1;; pause = std::min(pause * 2, kMostPollMs)) {
    OVERLAPPED first = {};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &first))
      return true;
    if (GetLastError() != ERROR_LOCK_VIOLATION) {
      error = GetLastError();
      return false;
    }
    const DWORD left = MsUntil(deadline, GetTickCount64());
    if (left == 0)
      return false;
    Sleep(std::min(pause, left));
  }
}

// The mutex under the shared name, made with the holders' security or
// opened; null when it is to be passed over: it is not a mutex, cannot be
// opened, or somebody else may own or open it.
Handle SharedLock(const std::string& name, bool systemScope, const std::string& account) {
  const std::wstring wideName = WideFromWtf8(name).value_or(std::wstring());
  const LocalMemory sd = SecurityFrom(ScopeLockSecurity(systemScope, account));
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd.get(), FALSE};
  HANDLE mutex = sd ? CreateMutexW(&attributes, FALSE, wideName.c_str()) : nullptr;
  if (!mutex)
    mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL, FALSE, wideName.c_str());
  Handle shared(mutex);
  const std::optional<ObjectSecurity> security =
      shared ? SecurityOf(shared.get(), SE_KERNEL_OBJECT) : std::nullopt;
  if (!security || !SharedLockIsTheHolders(*security, systemScope, account))
    return {};
  return shared;
}

}  // namespace

ScopeLock TakeScopeLock(bool systemScope) {
  ScopeLock lock;
  const ULONGLONG deadline = GetTickCount64() + kScopeLockWaitMs;
  const std::string account = AccountSid();
  const std::optional<std::wstring> folder = LockFolder(systemScope);
  if (account.empty() || !folder) {
    lock.error = GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND;
    return lock;
  }
  const std::wstring file = *folder + L"\\" + *WideFromWtf8(ScopeLockFileName(systemScope));
  lock.name = Wtf8FromWide(file);

  // The lock file, in a folder that must be the holders' alone: what
  // anybody else could make or open there would be no lock.
  auto holds = std::make_unique<ScopeLockHolds>();
  const std::string folderSddl = ScopeLockFolderSecurity(systemScope, account);
  if (!MakeFolder(*folder, folderSddl, lock.error))
    return lock;
  holds->folder = Open(*folder, "", lock.error);
  if (holds->folder)
    holds->file = Open(file, ScopeLockSecurity(systemScope, account), lock.error);
  if (!holds->file)
    return lock;
  const std::optional<ObjectSecurity> folderSecurity =
      SecurityOf(holds->folder.get(), SE_FILE_OBJECT);
  const std::optional<ObjectSecurity> fileSecurity = SecurityOf(holds->file.get(), SE_FILE_OBJECT);
  if (!folderSecurity || !fileSecurity ||
      !LockFolderIsTheHolders(*folderSecurity, systemScope, account) ||
      !LockFileIsTheHolders(*fileSecurity, systemScope, account)) {
    lock.unsafe = true;
    return lock;
  }
  if (!LockFirstByte(holds->file.get(), deadline, lock.error))
    return lock;

  // The shared lock, for the other tools that take part, within the same
  // deadline; passed over when it is not the holders' alone.
  const std::string shared = ScopeLockName(systemScope, account);
  holds->mutex = SharedLock(shared, systemScope, account);
  if (holds->mutex) {
    const DWORD wait = WaitForSingleObject(holds->mutex.get(), MsUntil(deadline, GetTickCount64()));
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
      lock.error = wait == WAIT_FAILED ? GetLastError() : 0;
      lock.name = shared;
      holds->mutex.reset();  // not had, so not released
      ReleaseScopeLock()(holds.release());
      return lock;
    }
  }
  lock.holds.reset(holds.release());
  return lock;
}
