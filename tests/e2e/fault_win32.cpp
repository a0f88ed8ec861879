// morlex_fault.exe abort|terminate|fault: makes Morlex's start-up settings,
// then aborts, ends through std::terminate, or writes through a null
// pointer, so that a test can see that nothing asks anybody.
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <exception>

#include "cmdline/unattended.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR tail, int /*show*/) {
  AskNobodyOnFault();
  if (std::wcscmp(tail, L"abort") == 0)
    std::abort();
  if (std::wcscmp(tail, L"terminate") == 0)
    std::terminate();
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
