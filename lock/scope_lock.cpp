#include "lock/scope_lock.h"

#include "base/account.h"

namespace {

// Rights on a folder, a file and a mutex, as an ACE's mask holds them.
constexpr std::uint32_t kReadData = 0x0001;      // FILE_READ_DATA
constexpr std::uint32_t kAddFile = 0x0002;       // FILE_ADD_FILE, FILE_WRITE_DATA
constexpr std::uint32_t kAddSubfolder = 0x0004;  // FILE_ADD_SUBDIRECTORY, FILE_APPEND_DATA
constexpr std::uint32_t kDeleteChild = 0x0040;   // FILE_DELETE_CHILD
constexpr std::uint32_t kWriteAttributes = 0x0100;
constexpr std::uint32_t kMutexModifyState = 0x0001;
constexpr std::uint32_t kSynchronize = 0x00100000;
constexpr std::uint32_t kGenericExecute = 0x20000000;
constexpr std::uint32_t kGenericRead = 0x80000000;

constexpr std::uint32_t kChangesFolder =
    kChangesAnything | kAddFile | kAddSubfolder | kDeleteChild | kWriteAttributes;
constexpr std::uint32_t kOpensFile =
    kChangesAnything | kReadData | kAddFile | kAddSubfolder | kWriteAttributes | kGenericRead;
constexpr std::uint32_t kOpensMutex =
    kChangesAnything | kMutexModifyState | kSynchronize | kGenericExecute;

// The owner's SID as SDDL writes it, and who is granted all.
std::string OwnerOf(bool systemScope, std::string_view accountSid) {
  if (!systemScope)
    return std::string(accountSid);
  return accountSid == kLocalSystemSid ? "SY" : "BA";
}

std::string Security(bool systemScope, std::string_view accountSid, std::string_view flags) {
  const std::string holder = systemScope ? "BA" : std::string(accountSid);
  const std::string grant = "(A;" + std::string(flags) + ";GA;;;";
  return "O:" + OwnerOf(systemScope, accountSid) + "D:P" + grant + holder + ")" + grant + "SY)";
}

// Who may own and open the lock folder and file: the holders, and the
// account that runs.
std::vector<std::string_view> FileHolders(bool systemScope, std::string_view accountSid) {
  std::vector<std::string_view> holders = ScopeLockHolders(systemScope, accountSid);
  holders.push_back(accountSid);
  return holders;
}

}  // namespace

std::string ScopeLockName(bool systemScope, std::string_view accountSid) {
  if (systemScope)
    return kSystemScopeLockName;
  return kUserScopeLockPrefix + std::string(accountSid);
}

std::string ScopeLockFileName(bool systemScope) {
  return systemScope ? "Environment.System.lock" : "Environment.User.lock";
}

std::vector<std::string_view> ScopeLockHolders(bool systemScope, std::string_view accountSid) {
  if (systemScope)
    return {kAdministratorsSid, kLocalSystemSid};
  return {accountSid, kAdministratorsSid, kLocalSystemSid};
}

std::string ScopeLockSecurity(bool systemScope, std::string_view accountSid) {
  return Security(systemScope, accountSid, "");
}

std::string ScopeLockFolderSecurity(bool systemScope, std::string_view accountSid) {
  return Security(systemScope, accountSid, "OICI");
}

bool LockFolderIsTheHolders(const ObjectSecurity& folder, bool systemScope,
                            std::string_view accountSid) {
  return OnlyTheseMay(folder, kChangesFolder, FileHolders(systemScope, accountSid));
}

bool LockFileIsTheHolders(const ObjectSecurity& file, bool systemScope,
                          std::string_view accountSid) {
  return OnlyTheseMay(file, kOpensFile, FileHolders(systemScope, accountSid));
}

bool SharedLockIsTheHolders(const ObjectSecurity& mutex, bool systemScope,
                            std::string_view accountSid) {
  return OnlyTheseMay(mutex, kOpensMutex, ScopeLockHolders(systemScope, accountSid));
}
