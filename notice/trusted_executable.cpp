#include "notice/trusted_executable.h"

#include <algorithm>

#include "base/account.h"
#include "text/ascii_case.h"

namespace {

constexpr std::uint32_t kWriteData = 0x0002;  // FILE_WRITE_DATA; on a folder FILE_ADD_FILE
constexpr std::uint32_t kAppendData = 0x0004;
constexpr std::uint32_t kDeleteChild = 0x0040;
// With FILE_WRITE_DATA, what setting a reparse point takes: the path would
// lead elsewhere when the child is started.
constexpr std::uint32_t kWriteAttributes = 0x0100;
constexpr std::uint32_t kChangesFile =
    kChangesAnything | kWriteData | kAppendData | kWriteAttributes;
// A file added beside the executable may be loaded as a DLL of its. Adding
// a folder (which a drive's root grants Authenticated Users) is no such
// thing.
constexpr std::uint32_t kChangesFolder = kChangesAnything | kWriteData | kDeleteChild;

bool OnlyTrustedMay(const ObjectSecurity& object, std::uint32_t rights) {
  return OnlyTheseMay(object, rights, {kLocalSystemSid, kAdministratorsSid, kTrustedInstallerSid});
}

}  // namespace

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
