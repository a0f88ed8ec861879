// morlex_fault.exe abort|terminate|fault: makes Morlex's start-up settings,
// then aborts, ends through std::terminate, or writes through a null
// pointer, so that a test can see that nothing asks anybody.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <exception>

#include "process/start_up.h"

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR tail, int /*show*/) {
  MakeStartUpSettings();
  if (std::wcscmp(tail, L"abort") == 0)
    std::abort();
  if (std::wcscmp(tail, L"terminate") == 0)
    std::terminate();
  volatile int* nowhere = nullptr;
  // The fault under test.
  // cppcheck-suppress nullPointer
  *nowhere = 1;  // NOLINT(clang-analyzer-core.NullDereference)
  return 0;
}
