// The relay: a run as SYSTEM starts itself as the user of each other
// session, on that user's desktop, to send the notice there. The calls of
// the sessions and the user's environment come from DLLs that are not among
// the ones the system always loads from its own folder, so they are loaded
// from the system folder by full path: a DLL of the same name beside
// Morlex.exe is never loaded, least of all as SYSTEM.

#include <windows.h>
// aclapi.h, userenv.h and wtsapi32.h need what windows.h declares.
#include <aclapi.h>
#include <userenv.h>
#include <wtsapi32.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "envstore/account.h"
#include "envstore/deadline.h"
#include "envstore/notice_relay.h"
#include "text/wide_text.h"

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE)
      CloseHandle(handle);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// A DLL from the system folder only; it stays loaded until the process ends.
HMODULE SystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH)
    return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <typename Function>
Function* Find(HMODULE library, const char* name) {
  if (!library)
    return nullptr;
  return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

HMODULE Wtsapi() {
  static const HMODULE library = SystemLibrary(L"wtsapi32.dll");
  return library;
}

HMODULE Userenv() {
  static const HMODULE library = SystemLibrary(L"userenv.dll");
  return library;
}

// A file's or a folder's owner and DACL; nothing when they cannot be read.
std::optional<ObjectSecurity> SecurityOf(HANDLE object) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(object, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &dacl, nullptr, &sd) != ERROR_SUCCESS)
    return std::nullopt;
  const std::unique_ptr<void, decltype(&LocalFree)> owned(sd, LocalFree);
  ObjectSecurity security;
  security.owner = SidText(owner);
  if (!dacl)
    return security;  // a null DACL
  std::vector<Ace> aces;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* found = nullptr;
    if (!GetAce(dacl, i, &found))
      return std::nullopt;
    const auto* header = static_cast<const ACE_HEADER*>(found);
    // The allowed and denied kinds, plain or with a condition, share this
    // layout: the header, the mask, the SID.
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(found);
    Ace read;
    read.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    switch (header->AceType) {
      case ACCESS_ALLOWED_ACE_TYPE:
      case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        read.kind = AceKind::Allow;
        break;
      case ACCESS_DENIED_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        read.kind = AceKind::Deny;
        break;
      default:
        read.kind = AceKind::Other;
        break;
    }
    if (read.kind != AceKind::Other) {
      read.mask = ace->Mask;
      read.sid = SidText(const_cast<DWORD*>(&ace->SidStart));
    }
    aces.push_back(read);
  }
  security.dacl = aces;
  return security;
}

// Opens a file or a folder only to read its security.
Handle OpenToRead(const std::wstring& path, bool folder) {
  HANDLE handle = CreateFileW(path.c_str(), READ_CONTROL,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
  return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

std::optional<std::wstring> OwnPath() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size())
    return std::nullopt;
  path.resize(length);
  return path;
}

// Morlex's own executable, by its final path on a local drive, when nobody
// but SYSTEM, Administrators or TrustedInstaller may replace or rename it:
// a copy that an ordinary user may replace would run that user's code as
// every other user logged on. Nothing otherwise.
std::optional<std::string> TrustedExecutable() {
  const std::optional<std::wstring> own = OwnPath();
  if (!own)
    return std::nullopt;
  const Handle file = OpenToRead(*own, false);
  if (!file)
    return std::nullopt;
  std::wstring final(32768, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(file.get(), final.data(), static_cast<DWORD>(final.size()),
                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length == 0 || length >= final.size())
    return std::nullopt;
  final.resize(length);
  std::optional<std::string> path = LocalDrivePath(Wtf8FromWide(final));
  const std::optional<ObjectSecurity> fileSecurity = SecurityOf(file.get());
  if (!path || !fileSecurity)
    return std::nullopt;
  std::vector<ObjectSecurity> folders;
  for (const std::string& folder : FoldersAbove(*path)) {
    const Handle opened = OpenToRead(WideFromWtf8(folder).value_or(std::wstring()), true);
    std::optional<ObjectSecurity> security = opened ? SecurityOf(opened.get()) : std::nullopt;
    if (!security)
      return std::nullopt;
    folders.push_back(*security);
  }
  if (!OnlyTrustedMayReplace(*fileSecurity, folders))
    return std::nullopt;
  return path;
}

// The sessions as the platform lists them, with whether anybody is logged
// on there; none when they cannot be listed.
std::vector<SessionInfo> ListSessions() {
  auto* enumerate = Find<decltype(WTSEnumerateSessionsW)>(Wtsapi(), "WTSEnumerateSessionsW");
  auto* query =
      Find<decltype(WTSQuerySessionInformationW)>(Wtsapi(), "WTSQuerySessionInformationW");
  auto* release = Find<decltype(WTSFreeMemory)>(Wtsapi(), "WTSFreeMemory");
  WTS_SESSION_INFOW* listed = nullptr;
  DWORD count = 0;
  if (!enumerate || !query || !release ||
      !enumerate(WTS_CURRENT_SERVER_HANDLE, 0, 1, &listed, &count))
    return {};
  const std::unique_ptr<WTS_SESSION_INFOW, decltype(release)> owned(listed, release);
  std::vector<SessionInfo> sessions;
  for (DWORD i = 0; i < count; ++i) {
    SessionInfo session;
    session.id = listed[i].SessionId;
    session.state = static_cast<SessionState>(listed[i].State);
    wchar_t* user = nullptr;
    DWORD bytes = 0;
    if (query(WTS_CURRENT_SERVER_HANDLE, session.id, WTSUserName, &user, &bytes)) {
      session.hasUser = user && user[0] != L'\0';
      release(user);
    }
    sessions.push_back(session);
  }
  return sessions;
}

// The user's own environment, as the platform makes it for the token, with
// the marker; nothing when it cannot be made: a child never runs with
// SYSTEM's variables.
std::optional<std::wstring> EnvironmentFor(HANDLE token) {
  auto* create = Find<decltype(CreateEnvironmentBlock)>(Userenv(), "CreateEnvironmentBlock");
  auto* destroy = Find<decltype(DestroyEnvironmentBlock)>(Userenv(), "DestroyEnvironmentBlock");
  void* made = nullptr;
  if (!create || !destroy || !create(&made, token, FALSE))
    return std::nullopt;
  const std::unique_ptr<void, decltype(destroy)> owned(made, destroy);
  std::vector<std::string> variables;
  for (const auto* variable = static_cast<const wchar_t*>(made); *variable != L'\0';) {
    const std::wstring_view text(variable);
    variables.push_back(Wtf8FromWide(text));
    variable += text.size() + 1;
  }
  std::wstring block;
  const std::vector<std::string> relayed = RelayEnvironment(std::move(variables));
  for (const std::string& variable : relayed) {
    block += WideFromWtf8(variable).value_or(std::wstring());
    block += L'\0';
  }
  block += L'\0';
  return block;
}

}  // namespace

void* StartRelayChild(void* userToken, std::string_view executable) noexcept {
  try {
    if (!MayRelayAs(TokenUserSid(userToken)))
      return nullptr;
    std::optional<std::wstring> environment = EnvironmentFor(userToken);
    const std::optional<std::wstring> application = WideFromWtf8(executable);
    std::optional<std::wstring> commandLine = WideFromWtf8(RelayCommandLine(executable));
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (!environment || !application || !commandLine || length == 0 || length >= MAX_PATH)
      return nullptr;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring desktop = L"winsta0\\default";
    startup.lpDesktop = desktop.data();
    PROCESS_INFORMATION process = {};
    // Out of the caller's job where it allows that, since a deployment
    // agent's job may end its processes with it; inside it where not.
    const auto start = [&](DWORD breakaway) {
      return CreateProcessAsUserW(userToken, application->c_str(), commandLine->data(), nullptr,
                                  nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT | breakaway,
                                  environment->data(), folder, &startup, &process) != FALSE;
    };
    if (!start(CREATE_BREAKAWAY_FROM_JOB) && !start(0))
      return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
  } catch (...) {
    return nullptr;  // no failure here may end the run that relays
  }
}

void RelayNoticeToOtherSessions(std::uint64_t deadline) noexcept {
  try {
    DWORD own = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &own))
      return;
    const std::vector<std::uint32_t> sessions = SessionsToRelayTo(ListSessions(), own);
    auto* queryToken = Find<decltype(WTSQueryUserToken)>(Wtsapi(), "WTSQueryUserToken");
    if (sessions.empty() || !queryToken)
      return;
    const std::optional<std::string> executable = TrustedExecutable();
    if (!executable)
      return;
    std::vector<Handle> children;
    std::vector<HANDLE> waited;
    for (const std::uint32_t session : sessions) {
      HANDLE token = nullptr;
      if (!queryToken(session, &token))
        continue;  // nobody there after all (ERROR_NO_TOKEN), or not allowed
      const Handle ownedToken(token);
      Handle child(StartRelayChild(token, *executable));
      if (!child)
        continue;
      waited.push_back(child.get());
      children.push_back(std::move(child));
    }
    if (!waited.empty())
      WaitForMultipleObjects(static_cast<DWORD>(waited.size()), waited.data(), TRUE,
                             MsUntil(deadline, GetTickCount64()));
  } catch (...) {
    // Nothing more is relayed; the run's own notice has gone out, and its
    // exit code and write stand.
  }
}

// The relay's marker in this process's environment; nothing when it is not
// set.
std::optional<std::string> ThisProcessRelayMarker() {
  const std::wstring name = *WideFromWtf8(kRelayMarkerName);
  const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0)
    return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), size);
  if (length == 0 || length >= size)
    return std::nullopt;
  value.resize(length);
  return Wtf8FromWide(value);
}
