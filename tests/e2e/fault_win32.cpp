// morlex_fault.exe abort|terminate|fault|lock: makes Morlex's start-up
// settings, then aborts, ends through std::terminate, or writes through a
// null pointer (after taking the user scope's lock, with lock), so that a
// test can see that nothing asks anybody and that nothing stays held.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <exception>

#include "lock/scope_lock.h"
#include "process/start_up.h"

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR tail, int /*show*/) {
  MakeStartUpSettings();
  if (std::wcscmp(tail, L"abort") == 0)
    std::abort();
  if (std::wcscmp(tail, L"terminate") == 0)
    std::terminate();
  static ScopeLock held;
  if (std::wcscmp(tail, L"lock") == 0 && !(held = TakeScopeLock(false)).holds)
    return 1;
  volatile int* nowhere = nullptr;
  // The fault under test.
  // cppcheck-suppress nullPointer
  *nowhere = 1;  // NOLINT(clang-analyzer-core.NullDereference)
  return 0;
}
