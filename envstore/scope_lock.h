// A named mutex per scope, held while one run reads a list, changes it and
// writes it back, so that runs side by side lose no update. Other tools that
// change the same variables may take part by holding the same mutex.
#pragma once

inline constexpr char kUserScopeLockName[] = "Local\\Morlex.Environment.User";
inline constexpr char kSystemScopeLockName[] = "Global\\Morlex.Environment.System";

// How long a run waits for another holder before it goes on without the lock.
inline constexpr unsigned long kScopeLockWaitMs = 10000;

inline const char* ScopeLockName(bool systemScope) {
  return systemScope ? kSystemScopeLockName : kUserScopeLockName;
}

// Waits for the scope's mutex, at most kScopeLockWaitMs; a mutex left behind
// by a holder that ended counts as taken. Released when it goes out of scope.
struct ScopeLock {
  void* mutex = nullptr;
  bool held = false;

  explicit ScopeLock(bool systemScope);
  ~ScopeLock();
  ScopeLock(const ScopeLock&) = delete;
  ScopeLock& operator=(const ScopeLock&) = delete;
};
