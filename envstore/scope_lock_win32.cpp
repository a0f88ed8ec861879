#include <windows.h>

#include "envstore/scope_lock.h"

ScopeLock::ScopeLock(bool systemScope) {
  mutex = CreateMutexW(nullptr, FALSE, ScopeLockName(systemScope));
  if (!mutex)
    mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, ScopeLockName(systemScope));
  if (!mutex)
    return;
  const DWORD wait = WaitForSingleObject(mutex, kScopeLockWaitMs);
  held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

ScopeLock::~ScopeLock() {
  if (held)
    ReleaseMutex(mutex);
  if (mutex)
    CloseHandle(mutex);
}
