#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <exception>

#include "update/unattended.h"

namespace {

// The last filter a crash meets: the process ends with the exception's code.
LONG WINAPI EndWithTheExceptionCode(EXCEPTION_POINTERS* /*exception*/) {
  return EXCEPTION_EXECUTE_HANDLER;
}

// Ends the process here and now: no exit handlers, no message, no report.
[[noreturn]] void EndAborted() noexcept {
  TerminateProcess(GetCurrentProcess(), kAbortExitCode);
  std::_Exit(static_cast<int>(kAbortExitCode));
}

void OnAbortSignal(int /*signal*/) { EndAborted(); }

// What the C runtime does on an abort besides raising SIGABRT. The UCRT (of
// Visual Studio, and of MinGW-w64 built for it) writes a message and hands
// the abort to Windows Error Reporting unless told not to; the older
// msvcrt.dll takes no such setting, and its message, written before the
// signal, goes to standard error like the rest of its messages.
void QuietRuntimeAbort() {
#if defined(_UCRT) || defined(_MSC_VER)
  _set_abort_behavior(0, _WRITE_ABORT_MSG | _CALL_REPORTFAULT);
#endif
}

}  // namespace

void AskNobodyOnFault() noexcept {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  _set_error_mode(_OUT_TO_STDERR);
  QuietRuntimeAbort();
  // An abort ends with a code of its own, whichever runtime raised it, and
  // std::terminate does not stop to describe the exception first.
  static_cast<void>(std::signal(SIGABRT, OnAbortSignal));
  std::set_terminate(EndAborted);
  SetUnhandledExceptionFilter(EndWithTheExceptionCode);
}
