// A named mutex per scope, held while one run reads or writes Path, so that
// runs side by side lose no update. Other tools that change the same
// variables may take part by holding the same mutex.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "envstore/account.h"

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

// Waits for the scope's mutex, at most kScopeLockWaitMs; a mutex left behind
// by a holder that ended counts as taken. A shared lock that cannot be
// opened, or whose owner may not hold it, is passed over for the session's
// own, at once. held is false when the wait ended without it (error 0), or
// when the mutex could not be had at all (error holds the system's code; 6,
// ERROR_INVALID_HANDLE, when the name belongs to an object of another kind):
// then Path may be neither read nor written. Released when it goes out of
// scope.
struct ScopeLock {
  void* mutex = nullptr;
  bool held = false;
  std::uint32_t error = 0;
  std::string name;  // the lock's name, as waited for

  explicit ScopeLock(bool systemScope);
  ~ScopeLock();
  ScopeLock(const ScopeLock&) = delete;
  ScopeLock& operator=(const ScopeLock&) = delete;
};
