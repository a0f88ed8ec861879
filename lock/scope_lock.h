// The scope's lock, held while one run reads or writes Path, so that runs
// side by side lose no update. It is two locks, taken in this order and
// released in the other:
// - the lock file: an exclusive lock on the first byte of a file in a folder
//   that only those who may hold the lock may write (the account's own local
//   application data for the user scope, SYSTEM's for the system's, found
//   from the account and never from the caller's environment). Nobody else,
//   nor a process of the account's below medium integrity, can make, open
//   or hold it, and the system frees it when the process that holds it
//   ends, so it serialises every run of the scope whoever does what with any
//   name;
// - the shared lock: a named mutex that other tools changing the same
//   variables take part by. It is waited for only when nobody else may own
//   it or open it to wait, since anybody may make a mutex under the name;
//   otherwise it is passed over, at once and silently.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "security/object_security.h"

// The shared lock's name: the account's for the user scope, in the
// namespace every session shares, and one for the machine.
inline constexpr char kUserScopeLockPrefix[] = "Global\\Morlex.Environment.User.";
inline constexpr char kSystemScopeLockName[] = "Global\\Morlex.Environment.System";
std::string ScopeLockName(bool systemScope, std::string_view accountSid);

// The lock file: this name in the folder kScopeLockFolder, in the account's
// local application data (the user scope) or SYSTEM's (the system scope).
inline constexpr char kScopeLockFolder[] = "Morlex";
std::string ScopeLockFileName(bool systemScope);

// A profile folder as the profile list stores it (ProfileImagePath), with
// %SystemRoot% and %SystemDrive% taken from the Windows folder as the
// system gives it; nothing when it names any other variable, which would
// come from the caller's environment, or is not a full path.
std::optional<std::string> ProfileFolder(std::string_view stored, std::string_view windowsFolder);

// Where a scope's lock lives: the lock folder, profile\\AppData\\Local\\Morlex
// in SYSTEM's profile (in the system folder) for the system scope and in
// the account's (as ProfileFolder gives it) for the user scope, and the
// folder it is made below: the account's profile, or the system folder,
// which must exist. What is missing below it is made (a new Wine prefix
// has no SYSTEM's profile; Windows always has), nothing above. SYSTEM's
// user scope has its lock in the system scope's folder.
struct LockHome {
  std::string base;
  std::string folder;
};
LockHome ScopeLockHome(bool systemScope, std::string_view systemFolder,
                       std::string_view accountProfile);

// Whether the lock folder, as the platform names it once opened (its final
// path), is the one that was asked for, inside what its parent's final path
// names: no link in its place or above it within the profile.
bool IsLockFolderAt(std::string_view finalPath, std::string_view parentFinalPath);

// How long a run waits for the holders, both locks together, before it
// gives up.
inline constexpr unsigned long kScopeLockWaitMs = 10000;

// Who may hold the scope's lock: the account, Administrators and SYSTEM for
// the user scope; Administrators and SYSTEM for the system's.
std::vector<std::string_view> ScopeLockHolders(bool systemScope, std::string_view accountSid);

// The security a run gives what it makes, in SDDL: owned by the account
// (the user scope) or by Administrators (SYSTEM when SYSTEM runs), open to
// it and to SYSTEM, and labelled medium, refusing reading, writing and
// waiting to lower integrity (kScopeLockLabel). The lock folder in SYSTEM's
// profile holds both the system scope's lock and SYSTEM's own user scope's,
// so it is open to Administrators and SYSTEM whichever made it.
inline constexpr char kScopeLockLabel[] = "S:(ML;;NWNRNX;;;ME)";
std::string ScopeLockSecurity(bool systemScope, std::string_view accountSid);
std::string ScopeLockFolderSecurity(bool systemScope, std::string_view accountSid);

// Whether the lock folder, and the lock file in it, are the holders' alone:
// owned by one of them or by the account that runs, nobody else granted
// adding to the folder or deleting from it, opening the file to read or
// write, deleting or renaming either, or changing their security, and
// lower integrity shut out (LabelShutsLowerIntegrityOut). The account counts
// in the system scope too: only Administrators and SYSTEM may make anything
// in SYSTEM's profile, and a run that may not write the system key is
// refused before it gets here. (Wine makes every file the account's.)
bool LockFolderIsTheHolders(const ObjectSecurity& folder, bool systemScope,
                            std::string_view accountSid, bool platformReportsLabels);
bool LockFileIsTheHolders(const ObjectSecurity& file, bool systemScope, std::string_view accountSid,
                          bool platformReportsLabels);

// Whether the mutex under the shared name may be waited for: owned by one of
// the holders, nobody else granted opening it to wait or to release it
// (SYNCHRONIZE, MUTEX_MODIFY_STATE, generic or full rights) or changing its
// security, and lower integrity shut out. A null DACL, or no owner, fails.
bool SharedLockIsTheHolders(const ObjectSecurity& mutex, bool systemScope,
                            std::string_view accountSid, bool platformReportsLabels);

// What the platform holds while the lock is held: the lock file and the
// shared mutex. Released, the mutex first, when the ScopeLock goes.
struct ScopeLockHolds;
struct ReleaseScopeLock {
  void operator()(ScopeLockHolds* holds) const noexcept;
};

// holds is null when the lock was not had: the wait ended first (error 0;
// also for a folder or file that another program kept open without sharing
// it, error ERROR_SHARING_VIOLATION), the lock could not be had at all
// (error holds the system's code), or the lock folder or file is not the
// holders' alone, or not where it was asked for (unsafe). Then Path may be
// neither read nor written. name is the lock that was had last, or that
// stopped the run.
struct ScopeLock {
  std::unique_ptr<ScopeLockHolds, ReleaseScopeLock> holds;
  std::uint32_t error = 0;
  bool unsafe = false;
  std::string name;
};

// Takes the scope's locks, waiting at most kScopeLockWaitMs in all. The
// platform's half.
ScopeLock TakeScopeLock(bool systemScope);
