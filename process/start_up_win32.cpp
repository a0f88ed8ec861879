#include <crtdbg.h>
#include <windows.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <initializer_list>

#include "base/system_library_win32.h"
#include "process/start_up.h"

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

#if defined(_UCRT) || defined(_MSC_VER)
// An invalid parameter to the runtime would otherwise end the run with a
// fail-fast, which no handler sees and which goes to Windows Error
// Reporting; here it is an abort like any other.
void OnInvalidParameter(const wchar_t* /*expression*/, const wchar_t* /*function*/,
                        const wchar_t* /*file*/, unsigned int /*line*/, uintptr_t /*reserved*/) {
  EndAborted();
}
#endif

// The runtime's own checks: a Debug build's assertions and reports go to
// standard error instead of a dialog; an invalid parameter aborts.
void QuietRuntimeChecks() {
#ifdef _DEBUG
  for (const int kind : {_CRT_WARN, _CRT_ERROR, _CRT_ASSERT}) {
    _CrtSetReportMode(kind, _CRTDBG_MODE_FILE);
    _CrtSetReportFile(kind, _CRTDBG_FILE_STDERR);
  }
#endif
#if defined(_UCRT) || defined(_MSC_VER)
  _set_invalid_parameter_handler(OnInvalidParameter);
#endif
}

// The system folder only, for DLLs loaded later. The call is looked up,
// since Windows 7 has it only with an update.
void LoadDllsFromSystemDirectoryOnly() {
  auto* setDirectories = ProcAddress<BOOL WINAPI(DWORD)>(GetModuleHandleW(L"kernel32.dll"),
                                                         "SetDefaultDllDirectories");
  if (setDirectories)
    setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void AskNobodyOnFault() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  _set_error_mode(_OUT_TO_STDERR);
  QuietRuntimeAbort();
  QuietRuntimeChecks();
  // An abort ends with a code of its own, whichever runtime raised it, and
  // std::terminate does not stop to describe the exception first.
  static_cast<void>(std::signal(SIGABRT, OnAbortSignal));
  std::set_terminate(EndAborted);
  SetUnhandledExceptionFilter(EndWithTheExceptionCode);
}

}  // namespace

void MakeStartUpSettings() noexcept {
  AskNobodyOnFault();
  LoadDllsFromSystemDirectoryOnly();
}
