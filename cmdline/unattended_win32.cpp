#include <windows.h>

#include <cstdlib>

#include "cmdline/unattended.h"

namespace {

// The last filter a crash meets: the process ends with the exception's code.
LONG WINAPI EndWithTheExceptionCode(EXCEPTION_POINTERS* /*exception*/) {
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void AskNobodyOnFault() noexcept {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  _set_error_mode(_OUT_TO_STDERR);
#ifdef _MSC_VER
  // No abort message box, and no fault report either.
  _set_abort_behavior(0, _WRITE_ABORT_MSG | _CALL_REPORTFAULT);
#endif
  SetUnhandledExceptionFilter(EndWithTheExceptionCode);
}
