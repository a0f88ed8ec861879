// The relay: a run as SYSTEM starts itself as the user of each other
// session, on that user's desktop, to send the notice there. The calls of
// the sessions are not in a DLL that the system always loads from its own
// folder, so it is loaded from there by full path.
#include <windows.h>
// wtsapi32.h needs what windows.h declares.
#include <wtsapi32.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/deadline.h"
#include "base/handles_win32.h"
#include "base/system_library_win32.h"
#include "notice/notice_relay.h"
#include "notice/relay_child_win32.h"
#include "notice/trusted_executable.h"
#include "text/wide_text.h"

namespace {

HMODULE Wtsapi() {
  static const HMODULE library = SystemLibrary(L"wtsapi32.dll");
  return library;
}

// The sessions as the platform lists them, with whether anybody is logged
// on there; none when they cannot be listed.
std::vector<SessionInfo> ListSessions() {
  auto* enumerate = ProcAddress<decltype(WTSEnumerateSessionsW)>(Wtsapi(), "WTSEnumerateSessionsW");
  auto* query =
      ProcAddress<decltype(WTSQuerySessionInformationW)>(Wtsapi(), "WTSQuerySessionInformationW");
  auto* release = ProcAddress<decltype(WTSFreeMemory)>(Wtsapi(), "WTSFreeMemory");
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

// What the job this process runs in allows its children.
JobFacts ThisJob() {
  JobFacts job;
  BOOL inJob = FALSE;
  JOBOBJECT_BASIC_LIMIT_INFORMATION limits = {};
  job.known = IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) &&
              (!inJob || QueryInformationJobObject(nullptr, JobObjectBasicLimitInformation, &limits,
                                                   sizeof limits, nullptr));
  job.inJob = inJob != FALSE;
  job.breakawayOk = (limits.LimitFlags & JOB_OBJECT_LIMIT_BREAKAWAY_OK) != 0;
  job.silentBreakawayOk = (limits.LimitFlags & JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK) != 0;
  return job;
}

}  // namespace

void RelayNoticeToOtherSessions(std::uint64_t deadline) noexcept {
  try {
    DWORD own = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &own))
      return;
    const std::vector<std::uint32_t> sessions = SessionsToRelayTo(ListSessions(), own);
    auto* queryToken = ProcAddress<decltype(WTSQueryUserToken)>(Wtsapi(), "WTSQueryUserToken");
    const std::optional<bool> breakaway = BreakawayFor(ThisJob());
    if (sessions.empty() || !queryToken || !breakaway)
      return;
    const std::optional<std::string> executable = TrustedExecutable();
    if (!executable)
      return;
    std::vector<Handle> children;
    std::vector<HANDLE> waited;
    StartWhileTimeLeft(sessions, deadline, GetTickCount64, [&](std::uint32_t session) {
      HANDLE token = nullptr;
      if (!queryToken(session, &token))
        return false;  // nobody there after all (ERROR_NO_TOKEN), or not allowed
      const Handle ownedToken(token);
      Handle child(StartRelayChild(token, *executable, *breakaway));
      if (!child)
        return false;
      waited.push_back(child.get());
      children.push_back(std::move(child));
      return true;
    });
    if (!waited.empty())
      WaitForMultipleObjects(static_cast<DWORD>(waited.size()), waited.data(), TRUE,
                             MsUntil(deadline, GetTickCount64()));
  } catch (...) {
    // Nothing more is relayed; the run's own notice has gone out, and its
    // exit code and write stand.
  }
}

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
