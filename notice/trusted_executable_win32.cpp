#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/handles_win32.h"
#include "base/own_path_win32.h"
#include "notice/trusted_executable.h"
#include "security/object_security_win32.h"
#include "text/wide_text.h"

namespace {

// Opens a file or a folder only to read its security.
Handle OpenToRead(const std::wstring& path, bool folder) {
  HANDLE handle = CreateFileW(path.c_str(), READ_CONTROL,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
  return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

std::optional<ObjectSecurity> FileSecurityOf(const Handle& opened) {
  if (!opened)
    return std::nullopt;
  return SecurityOf(opened.get(), SE_FILE_OBJECT);
}

}  // namespace

std::optional<std::string> TrustedExecutable() {
  const std::optional<std::wstring> own = OwnExecutablePath();
  if (!own)
    return std::nullopt;
  const Handle file = OpenToRead(*own, false);
  const std::optional<ObjectSecurity> fileSecurity = FileSecurityOf(file);
  if (!fileSecurity)
    return std::nullopt;
  std::wstring final(32768, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(file.get(), final.data(), static_cast<DWORD>(final.size()),
                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= final.size())
    return std::nullopt;
  final.resize(length);
  std::optional<std::string> path = LocalDrivePath(Wtf8FromWide(final));
  if (!path)
    return std::nullopt;
  std::vector<ObjectSecurity> folders;
  for (const std::string& folder : FoldersAbove(*path)) {
    std::optional<ObjectSecurity> security =
        FileSecurityOf(OpenToRead(WideFromWtf8(folder).value_or(std::wstring()), true));
    if (!security)
      return std::nullopt;
    folders.push_back(*security);
  }
  if (!OnlyTrustedMayReplace(*fileSecurity, folders))
    return std::nullopt;
  return path;
}
