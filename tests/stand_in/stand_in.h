// An in-memory stand-in for the platform behind the update flow: the store,
// the scope lock, standard error and the notice. The native tests and the
// flow's fuzz target link it in place of the *_win32.cpp definitions, set up
// a starting state, run the flow and read back what it did.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

struct StoredValue {
  std::uint32_t type = 0;
  std::string bytes;  // as the registry holds them: UTF-16 units for text
  bool operator==(const StoredValue&) const = default;
};

// Unreadable: every read fails (access denied) while writes and deletes go
// through.
enum class KeyState { Present, Missing, ReadOnly, Unreadable };
// NotTheHolders: the lock folder or file is not the holders' alone.
// Refused: the lock folder may not be opened (access denied).
enum class LockState { Free, HeldByAnother, NotTheHolders, Refused };

struct StandInScope {
  KeyState key = KeyState::Present;
  LockState lock = LockState::Free;
  // By upper-case name: the registry's names ignore case.
  std::map<std::string, StoredValue> values;
  bool operator==(const StandInScope&) const = default;
};

// How the store's operations fail from StandIn::failingCall on.
enum class Failure { OutOfMemory, Unexpected };

// The account the stand-in runs as, unless told otherwise.
inline constexpr char kStandInAccountSid[] = "S-1-5-21-1-2-3-1001";

struct StandIn {
  std::array<StandInScope, 2> scopes;  // user, system
  // The store's operations throw from this call on (counted from 1 across
  // reads, writes and deletes), before they change anything: std::bad_alloc,
  // or for Unexpected an error of another kind. 0: never.
  int failingCall = 0;
  Failure failure = Failure::OutOfMemory;
  std::string accountSid = kStandInAccountSid;
  std::string lockName;  // the lock's name in what a run says; empty: its file's

  // What the flow did.
  int calls = 0;
  int locksTaken = 0;
  std::array<bool, 2> lockHeld = {false, false};  // user, system
  // Path was read or written in a scope without that scope's lock, or with
  // the other scope's lock held.
  bool pathOutsideItsLock = false;
  bool noticeUnderLock = false;
  int notices = 0;
  int relayedNotices = 0;  // notices handed on to the other sessions
  std::string standardError;
};

// The one stand-in the definitions use; reset it before each run.
StandIn& TheStandIn();

// The key a value is kept under: its name with ASCII letters in upper case.
std::string FoldedName(std::string name);

// Text as a REG_SZ or REG_EXPAND_SZ value holds it: its units and a NUL unit.
StoredValue TextValue(const std::string& text, std::uint32_t type);
