// A named mutex per scope, held while one run reads or writes Path, so that
// runs side by side lose no update. Other tools that change the same
// variables may take part by holding the same mutex.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/account.h"

// The user scope's lock names the account, so that every session of one
// account shares it and no other account does; the system scope's lock is
// one for the machine.
inline constexpr char kUserScopeLockPrefix[] = "Global\\Morlex.Environment.User.";
inline constexpr char kSystemScopeLockName[] = "Global\\Morlex.Environment.System";

// How long a run waits for another holder before it gives up.
inline constexpr unsigned long kScopeLockWaitMs = 10000;

// The scope's lock in the namespace that every session shares. accountSid is
// the account's SID as written ("S-1-5-21-...").
std::string ScopeLockName(bool systemScope, std::string_view accountSid);

// The same name in the session's own namespace ("Local\..."): taken instead
// when the shared one is squatted.
std::string SessionLockName(std::string_view sharedName);

// The lock no other account can make: a mutex in a private namespace whose
// boundary holds the one SID that may hold the lock (Administrators for the
// system scope, the account for the user's). Only a process inside the
// boundary can make the namespace, and its security lets only those make or
// open anything in it, so nobody else can squat it, in session 0 either.
inline constexpr char kPrivateLockBoundary[] = "Morlex.Environment";
inline constexpr char kPrivateLockMutex[] = "Lock";
std::string PrivateNamespaceName(bool systemScope, std::string_view accountSid);
std::string PrivateLockBoundarySid(bool systemScope, std::string_view accountSid);

// Which locks a run takes, always in this order, each waited for until one
// deadline: the private lock wherever it can be had, then the shared one
// when its owner may hold it, so that runs on either are serialised with
// each other and with other tools that take the shared one. Without the
// private lock (the platform has no private namespaces, or the run is not
// inside the boundary), a squatted shared name gives way to the session's
// own name, except in session 0, where the session's name is the shared
// one: there nothing is taken and the run is refused.
enum class ScopeLockKind { Private, Shared, Session };
struct ScopeLockFacts {
  bool privateLock = false;     // the private lock could be made or opened
  bool sharedRightful = false;  // a mutex under the shared name whose owner may hold it
  bool sessionZero = false;     // the run is in session 0
};
std::vector<ScopeLockKind> ScopeLocksToTake(const ScopeLockFacts& facts);

// The security a run gives the lock it makes, in SDDL: the user lock owned
// by the account and open to it and SYSTEM; the system lock owned by
// Administrators (SYSTEM when SYSTEM runs) and open to both.
std::string ScopeLockSecurity(bool systemScope, std::string_view accountSid);

// Whether a lock owned by ownerSid may be waited for: the account,
// Administrators or SYSTEM for the user lock, Administrators or SYSTEM for
// the system lock. Any other owner squats it. An object without an owner
// (ownerSid empty) is not squatted.
bool OwnerMayHoldScopeLock(bool systemScope, std::string_view accountSid,
                           std::string_view ownerSid);

// Takes the scope's locks as ScopeLocksToTake says, waiting at most
// kScopeLockWaitMs in all; a mutex left behind by a holder that ended counts
// as taken. held is false when the wait ended without them (error 0), or
// when a lock could not be had at all (error holds the system's code; 6,
// ERROR_INVALID_HANDLE, when the name belongs to an object of another kind):
// then Path may be neither read nor written. Released when it goes out of
// scope, the shared or session lock first.
struct ScopeLock {
  void* mutex = nullptr;  // the shared or the session's mutex
  bool held = false;
  std::uint32_t error = 0;
  std::string name;  // the lock's name, as waited for
  void* privateNamespace = nullptr;
  void* privateMutex = nullptr;
  bool privateHeld = false;

  explicit ScopeLock(bool systemScope);
  ~ScopeLock();
  ScopeLock(const ScopeLock&) = delete;
  ScopeLock& operator=(const ScopeLock&) = delete;
};
