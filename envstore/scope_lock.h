// A named mutex per scope, held while one run reads a list, changes it and
// writes it back, so that runs side by side lose no update. Other tools that
// change the same variables may take part by holding the same mutex.
#pragma once

inline constexpr wchar_t kUserScopeLockName[] = L"Local\\Morlex.Environment.User";
inline constexpr wchar_t kSystemScopeLockName[] = L"Global\\Morlex.Environment.System";

// How long a run waits for another holder before it gives up.
inline constexpr unsigned long kScopeLockWaitMs = 10000;

inline const wchar_t* ScopeLockName(bool systemScope) {
  return systemScope ? kSystemScopeLockName : kUserScopeLockName;
}

// Waits for the scope's mutex, at most kScopeLockWaitMs; a mutex left behind
// by a holder that ended counts as taken. held is false when the wait ended
// without it, or when the name belongs to an object of another kind: then
// the list may not be changed. Released when it goes out of scope.
struct ScopeLock {
  void* mutex = nullptr;
  bool held = false;

  explicit ScopeLock(bool systemScope);
  ~ScopeLock();
  ScopeLock(const ScopeLock&) = delete;
  ScopeLock& operator=(const ScopeLock&) = delete;
};
