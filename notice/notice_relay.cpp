#include "notice/notice_relay.h"

#include <algorithm>

#include "base/account.h"
#include "text/ascii_case.h"

namespace {

constexpr std::string_view kLocalServiceSid = "S-1-5-19";
constexpr std::string_view kNetworkServiceSid = "S-1-5-20";

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

std::optional<bool> BreakawayFor(const JobFacts& job) {
  if (!job.known)
    return true;
  if (!job.inJob || job.silentBreakawayOk)
    return false;
  if (job.breakawayOk)
    return true;
  return std::nullopt;
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
