// morlex_fault.exe abort|fault: makes Morlex's start-up settings, then aborts
// or writes through a null pointer, so that a test can see that nothing asks
// anybody.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "cmdline/unattended.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR tail, int /*show*/) {
  AskNobodyOnFault();
  if (std::wcscmp(tail, L"abort") == 0)
    std::abort();
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
