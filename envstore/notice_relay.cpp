#include "envstore/notice_relay.h"

#include <algorithm>

#include "envstore/account.h"
#include "text/ascii_case.h"

namespace {

// Rights on an object, as an ACE's mask holds them.
constexpr std::uint32_t kWriteData = 0x0002;  // FILE_WRITE_DATA
constexpr std::uint32_t kAppendData = 0x0004;
constexpr std::uint32_t kDeleteChild = 0x0040;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint32_t kWriteDac = 0x00040000;
constexpr std::uint32_t kWriteOwner = 0x00080000;
constexpr std::uint32_t kMaximumAllowed = 0x02000000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;

constexpr std::uint32_t kChangesAnything =
    kDelete | kWriteDac | kWriteOwner | kMaximumAllowed | kGenericAll | kGenericWrite;
constexpr std::uint32_t kChangesFile = kChangesAnything | kWriteData | kAppendData;
constexpr std::uint32_t kChangesFolder = kChangesAnything | kDeleteChild;

constexpr std::string_view kOwnerRightsSid = "S-1-3-4";
constexpr std::string_view kLocalServiceSid = "S-1-5-19";
constexpr std::string_view kNetworkServiceSid = "S-1-5-20";

bool IsTrusted(std::string_view sid) {
  return sid == kLocalSystemSid || sid == kAdministratorsSid || sid == kTrustedInstallerSid;
}

// Whether only trusted SIDs own the object or are granted any of these
// rights on it. OWNER RIGHTS stands for the owner.
bool OnlyTrustedMay(const ObjectSecurity& object, std::uint32_t rights) {
  if (!IsTrusted(object.owner) || !object.dacl)
    return false;
  return std::none_of(object.dacl->begin(), object.dacl->end(), [&](const Ace& ace) {
    if (ace.kind == AceKind::Other)
      return true;
    if (ace.kind == AceKind::Deny || ace.inheritOnly || (ace.mask & rights) == 0)
      return false;
    return !IsTrusted(ace.sid) && ace.sid != kOwnerRightsSid;
  });
}

std::string_view NameOf(std::string_view variable) {
  // A name may begin with "=" ("=C:=C:\"), so the first "=" after it ends it.
  const std::size_t end = variable.find('=', 1);
  return variable.substr(0, end);
}

bool ByName(std::string_view a, std::string_view b) {
  const std::string_view x = NameOf(a);
  const std::string_view y = NameOf(b);
  return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char c, char d) {
    return static_cast<unsigned char>(AsciiUpper(c)) < static_cast<unsigned char>(AsciiUpper(d));
  });
}

}  // namespace

bool RelaysNotice(std::string_view accountSid, bool systemScope, int exitCode) {
  return accountSid == kLocalSystemSid && systemScope && exitCode == 0;
}

std::vector<std::uint32_t> SessionsToRelayTo(const std::vector<SessionInfo>& sessions,
                                             std::uint32_t ownSession) {
  std::vector<std::uint32_t> chosen;
  for (const SessionInfo& session : sessions) {
    if (chosen.size() == kMostRelaySessions)
      break;
    const bool hasShell =
        session.state == SessionState::Active || session.state == SessionState::Disconnected;
    if (hasShell && session.hasUser && session.id != ownSession && session.id != 0)
      chosen.push_back(session.id);
  }
  return chosen;
}

bool MayRelayAs(std::string_view userSid) {
  return !userSid.empty() && userSid != kLocalSystemSid && userSid != kLocalServiceSid &&
         userSid != kNetworkServiceSid;
}

bool OnlyTrustedMayReplace(const ObjectSecurity& file, const std::vector<ObjectSecurity>& folders) {
  return !folders.empty() && OnlyTrustedMay(file, kChangesFile) &&
         std::all_of(folders.begin(), folders.end(), [](const ObjectSecurity& folder) {
           return OnlyTrustedMay(folder, kChangesFolder);
         });
}

std::optional<std::string> LocalDrivePath(std::string_view finalPath) {
  constexpr std::string_view kPrefix = R"(\\?\)";
  if (finalPath.substr(0, kPrefix.size()) != kPrefix)
    return std::nullopt;
  finalPath.remove_prefix(kPrefix.size());
  const bool drive = finalPath.size() >= 3 && AsciiUpper(finalPath[0]) >= 'A' &&
                     AsciiUpper(finalPath[0]) <= 'Z' && finalPath[1] == ':' && finalPath[2] == '\\';
  if (!drive)
    return std::nullopt;
  return std::string(finalPath);
}

std::vector<std::string> FoldersAbove(std::string_view path) {
  std::vector<std::string> folders;
  std::size_t end = path.find_last_of('\\');
  while (end != std::string_view::npos && end > 2) {
    folders.emplace_back(path.substr(0, end));
    end = path.find_last_of('\\', end - 1);
  }
  if (end == 2)
    folders.emplace_back(path.substr(0, 3));  // the drive's root, "C:\"
  return folders;
}

std::string RelayCommandLine(std::string_view executable) {
  std::string line(1, '"');
  line.append(executable).push_back('"');
  return line;
}

std::vector<std::string> RelayEnvironment(std::vector<std::string> userVariables) {
  const std::string marker = std::string(kRelayMarkerName) + "=" + kRelayMarkerValue;
  std::erase_if(userVariables, [&](const std::string& variable) {
    return EqualIgnoringAsciiCase(NameOf(variable), kRelayMarkerName);
  });
  userVariables.push_back(marker);
  std::stable_sort(userVariables.begin(), userVariables.end(), ByName);
  return userVariables;
}
