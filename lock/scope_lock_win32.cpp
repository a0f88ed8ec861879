#include <windows.h>
// sddl.h needs what windows.h declares.
#include <sddl.h>

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

// The longest pause between two tries for the lock file, or for a folder or
// file that another program holds open without sharing it.
constexpr DWORD kMostPollMs = 50;

// A security descriptor made from SDDL; null when it cannot be made.
LocalMemory SecurityFrom(const std::string& sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(
      WideFromWtf8(sddl).value_or(std::wstring()).c_str(), SDDL_REVISION_1, &sd, nullptr);
  return LocalMemory(sd);
}

// The account's profile folder as the profile list holds it for its SID,
// expanded without the environment; nothing, with the system's code in
// error, when it cannot be had.
std::optional<std::wstring> AccountProfile(const std::string& account, std::uint32_t& error) {
  const std::wstring key = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" +
                           WideFromWtf8(account).value_or(std::wstring());
  constexpr DWORD kUnexpanded = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  DWORD size = 0;
  LSTATUS status = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"ProfileImagePath", kUnexpanded,
                                nullptr, nullptr, &size);
  std::wstring stored(size / sizeof(wchar_t) + 1, L'\0');
  if (status == ERROR_SUCCESS) {
    size = static_cast<DWORD>(stored.size() * sizeof(wchar_t));
    status = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"ProfileImagePath", kUnexpanded,
                          nullptr, stored.data(), &size);
  }
  wchar_t windows[MAX_PATH];
  const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  if (status != ERROR_SUCCESS || length == 0 || length >= MAX_PATH) {
    error = status != ERROR_SUCCESS ? static_cast<std::uint32_t>(status) : GetLastError();
    return std::nullopt;
  }
  stored.resize(stored.find(L'\0'));
  const std::optional<std::string> folder =
      ProfileFolder(Wtf8FromWide(stored), Wtf8FromWide(std::wstring(windows, length)));
  if (!folder) {
    error = ERROR_BAD_PATHNAME;
    return std::nullopt;
  }
  return WideFromWtf8(*folder);
}

// Where the scope's lock lives; nothing, with the system's code in error,
// when it cannot be found.
std::optional<LockHome> Home(bool systemScope, const std::string& account, std::uint32_t& error) {
  const std::optional<std::wstring> system = SystemFolder();
  const std::optional<std::wstring> profile =
      systemScope ? std::optional(std::wstring()) : AccountProfile(account, error);
  if (!system || !profile) {
    if (!system)
      error = ERROR_PATH_NOT_FOUND;
    return std::nullopt;
  }
  return ScopeLockHome(systemScope, Wtf8FromWide(*system), Wtf8FromWide(*profile));
}

// Makes the lock folder with the holders' security when it is missing, and
// the folders between it and its base that are missing with their own;
// never the base or anything above it. False, with the system's code in
// error, when it cannot be made.
bool MakeFolder(const LockHome& home, const std::string& sddl, std::uint32_t& error) {
  const std::wstring base = *WideFromWtf8(home.base);
  const std::wstring folder = *WideFromWtf8(home.folder);
  const DWORD attributes = GetFileAttributesW(base.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  const LocalMemory sd = SecurityFrom(sddl);
  SECURITY_ATTRIBUTES security = {sizeof security, sd.get(), FALSE};
  for (std::size_t end = folder.find(L'\\', base.size() + 1);; end = folder.find(L'\\', end + 1)) {
    const bool last = end == std::wstring::npos;
    const std::wstring made = last ? folder : folder.substr(0, end);
    if (!CreateDirectoryW(made.c_str(), last && sd ? &security : nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      error = GetLastError();
      return false;
    }
    if (last)
      return true;
  }
}

// Opens the lock folder itself, never what a link in its place points to,
// or the lock file (made with the security in sddl when it is missing), so
// that nobody may delete or rename it while it is open; tries again while
// another program holds it open without sharing it, until deadline. Null,
// with the system's code in error, when it cannot be opened.
Handle Open(const std::wstring& path, const std::string& sddl, ULONGLONG deadline,
            std::uint32_t& error) {
  const bool folder = sddl.empty();
  const LocalMemory sd = folder ? LocalMemory() : SecurityFrom(sddl);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd.get(), FALSE};
  const DWORD access = READ_CONTROL | (folder ? 0 : GENERIC_READ | GENERIC_WRITE);
  const DWORD flags =
      folder ? FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL;
  for (DWORD pause = 1;; pause = std::min(pause * 2, kMostPollMs)) {
    HANDLE opened = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                folder ? nullptr : &attributes,
                                folder ? OPEN_EXISTING : OPEN_ALWAYS, flags, nullptr);
    if (opened != INVALID_HANDLE_VALUE)
      return Handle(opened);
    error = GetLastError();
    const DWORD left = MsUntil(deadline, GetTickCount64());
    if (error != ERROR_SHARING_VIOLATION || left == 0)
      return {};
    Sleep(std::min(pause, left));
  }
}

// The final path of what a handle opened, as the platform names it.
std::string FinalPath(HANDLE object) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(object, path.data(), static_cast<DWORD>(path.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0)
      return {};
    if (length < path.size())
      return Wtf8FromWide(path.substr(0, length));
    path.assign(length + 1, L'\0');
  }
}

// Whether the opened folder is a folder of its own where it was asked for:
// no reparse point, and its final path inside its parent's.
bool IsWhereAsked(HANDLE folder, const std::wstring& path) {
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!GetFileInformationByHandle(folder, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return false;
  const Handle parent(CreateFileW(path.substr(0, path.find_last_of(L'\\')).c_str(),
                                  FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return parent.get() != INVALID_HANDLE_VALUE &&
         IsLockFolderAt(FinalPath(folder), FinalPath(parent.get()));
}

// The security of the lock folder or file open as object, labelled first
// when its label does not shut lower integrity out and the run may label
// it; nothing when it cannot be read.
std::optional<ObjectSecurity> LabelledSecurity(HANDLE object, const std::wstring& path,
                                               bool folder) {
  std::optional<ObjectSecurity> security = SecurityOf(object, SE_FILE_OBJECT);
  if (!security || LabelShutsLowerIntegrityOut(security->label, true))
    return security;
  const LocalMemory sd = SecurityFrom(kScopeLockLabel);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL label = nullptr;
  const Handle writable(
      CreateFileW(path.c_str(), WRITE_OWNER | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING,
                  folder ? FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT : 0, nullptr));
  if (sd && GetSecurityDescriptorSacl(sd.get(), &present, &label, &defaulted) && present &&
      writable.get() != INVALID_HANDLE_VALUE &&
      SetSecurityInfo(writable.get(), SE_FILE_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, label) == ERROR_SUCCESS)
    security = SecurityOf(object, SE_FILE_OBJECT);
  return security;
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
// opened, or somebody else, or lower integrity, may own or open it.
Handle SharedLock(const std::string& name, bool systemScope, const std::string& account,
                  bool platformReportsLabels) {
  const std::wstring wideName = WideFromWtf8(name).value_or(std::wstring());
  const LocalMemory sd = SecurityFrom(ScopeLockSecurity(systemScope, account));
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd.get(), FALSE};
  HANDLE mutex = sd ? CreateMutexW(&attributes, FALSE, wideName.c_str()) : nullptr;
  if (!mutex)
    mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL, FALSE, wideName.c_str());
  Handle shared(mutex);
  const std::optional<ObjectSecurity> security =
      shared ? SecurityOf(shared.get(), SE_KERNEL_OBJECT) : std::nullopt;
  if (!security || !SharedLockIsTheHolders(*security, systemScope, account, platformReportsLabels))
    return {};
  return shared;
}

}  // namespace

ScopeLock TakeScopeLock(bool systemScope) {
  ScopeLock lock;
  lock.name = ScopeLockFileName(systemScope);
  const ULONGLONG deadline = GetTickCount64() + kScopeLockWaitMs;
  const std::string account = AccountSid();
  if (account.empty()) {
    lock.error = ERROR_NO_TOKEN;
    return lock;
  }
  const std::optional<LockHome> home = Home(systemScope, account, lock.error);
  if (!home)
    return lock;
  const std::wstring folder = *WideFromWtf8(home->folder);
  const std::wstring file = folder + L"\\" + *WideFromWtf8(ScopeLockFileName(systemScope));
  lock.name = Wtf8FromWide(file);

  // The lock file, in a folder that must be the holders' alone: what
  // anybody else could make or open there would be no lock.
  auto holds = std::make_unique<ScopeLockHolds>();
  if (!MakeFolder(*home, ScopeLockFolderSecurity(systemScope, account), lock.error))
    return lock;
  holds->folder = Open(folder, "", deadline, lock.error);
  if (holds->folder && !IsWhereAsked(holds->folder.get(), folder)) {
    lock.unsafe = true;
    return lock;
  }
  if (holds->folder)
    holds->file = Open(file, ScopeLockSecurity(systemScope, account), deadline, lock.error);
  if (!holds->file)
    return lock;
  const std::optional<ObjectSecurity> folderSecurity =
      LabelledSecurity(holds->folder.get(), folder, true);
  const std::optional<ObjectSecurity> fileSecurity =
      LabelledSecurity(holds->file.get(), file, false);
  // Wine reports no labels at all; Windows reports the lock's own.
  const bool reportsLabels =
      (folderSecurity && folderSecurity->label) || (fileSecurity && fileSecurity->label);
  if (!folderSecurity || !fileSecurity ||
      !LockFolderIsTheHolders(*folderSecurity, systemScope, account, reportsLabels) ||
      !LockFileIsTheHolders(*fileSecurity, systemScope, account, reportsLabels)) {
    lock.unsafe = true;
    return lock;
  }
  if (!LockFirstByte(holds->file.get(), deadline, lock.error))
    return lock;

  // The shared lock, for the other tools that take part, within the same
  // deadline; passed over when it is not the holders' alone.
  const std::string shared = ScopeLockName(systemScope, account);
  holds->mutex = SharedLock(shared, systemScope, account, reportsLabels);
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
