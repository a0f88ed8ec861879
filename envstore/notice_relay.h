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

inline constexpr char kTrustedInstallerSid[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

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

// An object's owner and DACL, as the platform reads them.
enum class AceKind { Allow, Deny, Other };
struct Ace {
  AceKind kind = AceKind::Allow;
  std::uint32_t mask = 0;
  std::string sid;
  bool inheritOnly = false;  // grants nothing on the object itself
};
struct ObjectSecurity {
  std::string owner;  // empty: none, or unreadable
  // Nothing: a null DACL, which grants everything to everyone.
  std::optional<std::vector<Ace>> dacl;
};

// Whether nobody but SYSTEM, Administrators or TrustedInstaller may replace
// or rename the executable: on the file, no other SID is owner or is granted
// writing, deleting, or a change of DACL or owner; on every folder above it
// (folders, from the nearest to the root; none: nothing to check, which
// counts as replaceable), no other SID is owner or is granted deleting it or
// what it holds, or a change of its DACL or owner. An ACE of a kind that is
// not read counts as granting everything.
bool OnlyTrustedMayReplace(const ObjectSecurity& file, const std::vector<ObjectSecurity>& folders);

// A final path as the platform gives it ("\\?\C:\..."), as a path on a local
// drive ("C:\..."); nothing for any other kind (a share, a device).
std::optional<std::string> LocalDrivePath(std::string_view finalPath);

// The folders above a path on a local drive, from the nearest to the
// drive's root: "C:\A\M.exe" gives "C:\A" and "C:\".
std::vector<std::string> FoldersAbove(std::string_view path);

// The command line a child is started with: the executable's path, quoted,
// and no tokens.
std::string RelayCommandLine(std::string_view executable);

// The environment a child is started with: the user's own variables
// ("NAME=value"), without any of the marker's name, and the marker, in the
// order by name, ignoring ASCII case, that the platform expects.
std::vector<std::string> RelayEnvironment(std::vector<std::string> userVariables);

// The platform's half: after a run as SYSTEM has sent its own notice,
// starts a child in each session chosen above, when its own executable
// passes the check above, and waits for them at most until deadline (the
// platform's tick count, in ms). A child that cannot be started is passed
// over without a word; nothing here changes the run's exit code or writes.
void RelayNoticeToOtherSessions(std::uint64_t deadline) noexcept;

// The relay's marker in this process's environment; nothing when it is not
// set. What OnlyAnnounces is given.
std::optional<std::string> ThisProcessRelayMarker();

// Starts the executable as a child of the relay, as the token's user and on
// that user's desktop: with RelayCommandLine, the user's own environment
// made by RelayEnvironment, and no handle inherited. Its process handle,
// which the caller closes; null when the token's user is not one MayRelayAs
// allows, or when it cannot be started. The relay's call, and its tests'.
void* StartRelayChild(void* userToken, std::string_view executable) noexcept;
