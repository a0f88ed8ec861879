#include <windows.h>

#include <string>
#include <string_view>

#include "envstore/scope_lock.h"

ScopeLock::ScopeLock(bool systemScope) {
  const std::string_view ascii = ScopeLockName(systemScope);
  const std::wstring name(ascii.begin(), ascii.end());
  mutex = CreateMutexW(nullptr, FALSE, name.c_str());
  if (!mutex)
    mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
  if (!mutex) {
    error = GetLastError();
    return;
  }
  const DWORD wait = WaitForSingleObject(mutex, kScopeLockWaitMs);
  held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
  if (wait == WAIT_FAILED)
    error = GetLastError();
}

ScopeLock::~ScopeLock() {
  if (held)
    ReleaseMutex(mutex);
  if (mutex)
    CloseHandle(mutex);
}
