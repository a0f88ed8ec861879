// A named mutex per scope, held while one run writes Path (or reads a list,
// changes it and writes it back), so that runs side by side lose no update.
// Other tools that change the same variables may take part by holding the
// same mutex.
#pragma once

#include <cstdint>

inline constexpr char kUserScopeLockName[] = "Local\\Morlex.Environment.User";
inline constexpr char kSystemScopeLockName[] = "Global\\Morlex.Environment.System";

// How long a run waits for another holder before it gives up.
inline constexpr unsigned long kScopeLockWaitMs = 10000;

inline const char* ScopeLockName(bool systemScope) {
  return systemScope ? kSystemScopeLockName : kUserScopeLockName;
}

// Waits for the scope's mutex, at most kScopeLockWaitMs; a mutex left behind
// by a holder that ended counts as taken. held is false when the wait ended
// without it (error 0), or when the mutex could not be had at all (error
// holds the system's code; 6, ERROR_INVALID_HANDLE, when the name belongs to
// an object of another kind): then Path may not be written. Released when it
// goes out of scope.
struct ScopeLock {
  void* mutex = nullptr;
  bool held = false;
  std::uint32_t error = 0;

  explicit ScopeLock(bool systemScope);
  ~ScopeLock();
  ScopeLock(const ScopeLock&) = delete;
  ScopeLock& operator=(const ScopeLock&) = delete;
};
