// The notice for the people logged on. Window messages never cross
// desktops, so a run as SYSTEM (a deployment agent's, in session 0) tells
// only its own desktop. After a change of the system environment it starts
// itself as the user of each other session, on that user's desktop, only to
// send the notice there. These are its rules; the platform's half, at the
// end, carries them out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The most sessions one run starts a child in.
inline constexpr std::size_t kMostRelaySessions = 64;

// What marks a child of the relay: this variable, with the value "1", in its
// environment. It means something only to a run with no tokens at all.
inline constexpr char kRelayMarkerName[] = "MORLEX_RELAYED_NOTICE";
inline constexpr char kRelayMarkerValue[] = "1";

// Whether a run that ended with exitCode hands its notice on to the other
// sessions: only SYSTEM's, only for the system scope, only when it is done.
// SYSTEM's own variables are nobody's environment.
bool RelaysNotice(std::string_view accountSid, bool systemScope, int exitCode);

// A session as the platform lists it; the states are the platform's, in its
// order.
enum class SessionState {
  Active,
  Connected,
  ConnectQuery,
  Shadow,
  Disconnected,
  Idle,
  Listen,
  Reset,
  Down,
  Init
};
struct SessionInfo {
  std::uint32_t id = 0;
  SessionState state = SessionState::Active;
  bool hasUser = false;  // somebody is logged on there
};

// The sessions a child is started in, in the order listed: each other than
// ownSession and session 0 (the services'), with a user, active or
// disconnected (a locked or disconnected desktop still has its shell); at
// most kMostRelaySessions.
std::vector<std::uint32_t> SessionsToRelayTo(const std::vector<SessionInfo>& sessions,
                                             std::uint32_t ownSession);

// Whether a child may run with a token of this user: never SYSTEM's, nor a
// service account's, on a user's desktop.
bool MayRelayAs(std::string_view userSid);

// What the platform says of the job this process runs in, if any.
struct JobFacts {
  bool known = true;  // false: it could not be asked
  bool inJob = false;
  bool breakawayOk = false;        // a child may leave it when it asks to
  bool silentBreakawayOk = false;  // every child leaves it
};

// How a child is started out of the caller's job, since all the processes
// of a job run in one session: true, asking to leave it; false, as it is
// (no job, or one that every child leaves); nothing when the job keeps its
// children, and no child is started. A job that cannot be asked is asked to
// let the child go, which costs nothing when it refuses.
std::optional<bool> BreakawayFor(const JobFacts& job);

// Starts a child in each session in turn with start(session), which says
// whether it started one, while now() is before deadline: the time is
// looked at before each session, so no child is started after it. How many
// were started.
template <typename Now, typename Start>
std::size_t StartWhileTimeLeft(const std::vector<std::uint32_t>& sessions, std::uint64_t deadline,
                               Now now, Start start) {
  std::size_t started = 0;
  for (const std::uint32_t session : sessions) {
    if (now() >= deadline)
      break;
    if (start(session))
      ++started;
  }
  return started;
}

// The command line a child is started with: the executable's path, quoted,
// and no tokens.
std::string RelayCommandLine(std::string_view executable);

// The environment a child is started with: the user's own variables
// ("NAME=value"), without any of the marker's name, and the marker, in the
// order by name, ignoring ASCII case, that the platform expects.
std::vector<std::string> RelayEnvironment(std::vector<std::string> userVariables);

// The platform's half: beside a run's own notice, as SYSTEM, starts a child
// in each session chosen above, while the notice's deadline (the platform's
// tick count, in ms) has not passed, when its own executable passes
// TrustedExecutable's check and its job lets the child go; then waits for
// them at most until deadline. A child that cannot be started is passed
// over without a word; nothing here changes the run's exit code or writes.
void RelayNoticeToOtherSessions(std::uint64_t deadline) noexcept;

// The relay's marker in this process's environment; nothing when it is not
// set. What OnlyAnnounces is given.
std::optional<std::string> ThisProcessRelayMarker();
