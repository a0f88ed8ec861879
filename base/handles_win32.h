// Ownership of what the platform hands out: a handle closed with
// CloseHandle, memory freed with LocalFree, each when it goes out of scope.
#pragma once

#include <windows.h>

#include <memory>

struct HandleCloser {
  void operator()(HANDLE handle) const noexcept {
    if (handle && handle != INVALID_HANDLE_VALUE)
      CloseHandle(handle);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct LocalFreer {
  void operator()(void* memory) const noexcept { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;
