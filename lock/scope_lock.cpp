#include "lock/scope_lock.h"

#include "base/account.h"
#include "text/ascii_case.h"

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

// Whether the scope's lock folder is the one in SYSTEM's profile.
bool InSystemProfile(bool systemScope, std::string_view accountSid) {
  return systemScope || accountSid == kLocalSystemSid;
}

std::string Security(bool systemScope, std::string_view accountSid, std::string_view flags,
                     bool inSystemProfile) {
  const std::string holder = inSystemProfile ? "BA" : std::string(accountSid);
  const std::string grant = "(A;" + std::string(flags) + ";GA;;;";
  return "O:" + OwnerOf(systemScope, accountSid) + "D:P" + grant + holder + ")" + grant + "SY)" +
         kScopeLockLabel;
}

// Whether text begins with prefix, ignoring ASCII case; then it is taken off.
bool TakePrefix(std::string_view& text, std::string_view prefix) {
  if (!EqualIgnoringAsciiCase(text.substr(0, prefix.size()), prefix))
    return false;
  text.remove_prefix(prefix.size());
  return true;
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

std::optional<std::string> ProfileFolder(std::string_view stored, std::string_view windowsFolder) {
  std::string folder;
  for (std::string_view rest = stored; !rest.empty();) {
    if (rest.front() != '%') {
      folder.push_back(rest.front());
      rest.remove_prefix(1);
    } else if (TakePrefix(rest, "%SystemRoot%")) {
      folder.append(windowsFolder);
    } else if (TakePrefix(rest, "%SystemDrive%") && windowsFolder.size() > 2 &&
               windowsFolder[1] == ':') {
      folder.append(windowsFolder.substr(0, 2));
    } else {
      return std::nullopt;  // a variable of the caller's environment
    }
  }
  const bool onDrive = folder.size() > 2 && folder[1] == ':' && folder[2] == '\\';
  const bool onShare = folder.rfind("\\\\", 0) == 0;
  if (!onDrive && !onShare)
    return std::nullopt;
  while (folder.size() > 3 && folder.back() == '\\')
    folder.pop_back();
  return folder;
}

LockHome ScopeLockHome(bool systemScope, std::string_view systemFolder,
                       std::string_view accountProfile) {
  LockHome home;
  home.base = systemScope ? systemFolder : accountProfile;
  home.folder = home.base + (systemScope ? R"(\config\systemprofile)" : "") + R"(\AppData\Local\)" +
                kScopeLockFolder;
  return home;
}

bool IsLockFolderAt(std::string_view finalPath, std::string_view parentFinalPath) {
  const std::string expected = std::string(parentFinalPath) + "\\" + kScopeLockFolder;
  return !parentFinalPath.empty() && EqualIgnoringAsciiCase(finalPath, expected);
}

std::string ScopeLockSecurity(bool systemScope, std::string_view accountSid) {
  return Security(systemScope, accountSid, "", systemScope);
}

std::string ScopeLockFolderSecurity(bool systemScope, std::string_view accountSid) {
  return Security(systemScope, accountSid, "OICI", InSystemProfile(systemScope, accountSid));
}

bool LockFolderIsTheHolders(const ObjectSecurity& folder, bool systemScope,
                            std::string_view accountSid, bool platformReportsLabels) {
  return OnlyTheseMay(folder, kChangesFolder, FileHolders(systemScope, accountSid)) &&
         LabelShutsLowerIntegrityOut(folder.label, platformReportsLabels);
}

bool LockFileIsTheHolders(const ObjectSecurity& file, bool systemScope, std::string_view accountSid,
                          bool platformReportsLabels) {
  return OnlyTheseMay(file, kOpensFile, FileHolders(systemScope, accountSid)) &&
         LabelShutsLowerIntegrityOut(file.label, platformReportsLabels);
}

bool SharedLockIsTheHolders(const ObjectSecurity& mutex, bool systemScope,
                            std::string_view accountSid, bool platformReportsLabels) {
  return OnlyTheseMay(mutex, kOpensMutex, ScopeLockHolders(systemScope, accountSid)) &&
         LabelShutsLowerIntegrityOut(mutex.label, platformReportsLabels);
}
