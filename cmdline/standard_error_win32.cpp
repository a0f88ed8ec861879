#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

#include "cmdline/standard_error.h"
#include "text/wide_text.h"
#include "text/wtf8.h"

namespace {

// All writes of a run together wait at most this long. A caller may read its
// pipe only after Morlex has ended, or hand it a pipe that holds almost
// nothing, and a console in selection mode holds its writer too: the run then
// goes on without them, as it would without standard error.
constexpr ULONGLONG kMostWaitMs = 2000;
constexpr SIZE_T kWriterStack = SIZE_T{64} * 1024;

// When the waiting ends; 0 before the first write.
ULONGLONG g_deadline = 0;
// An earlier write still waits for its reader: later ones are not begun, so
// that no text can come out of order.
bool g_stuck = false;

// Text on its way to standard error, owned by the thread that writes it.
struct PendingWrite {
  HANDLE handle = nullptr;
  bool console = false;
  std::string bytes;   // UTF-8, for a pipe or a file
  std::wstring units;  // UTF-16, for a console
};

// Writes every byte, or stops at the first write that fails.
void WriteAll(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 16));
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0)
      return;
    bytes.remove_prefix(written);
  }
}

void WriteAllToConsole(HANDLE handle, std::wstring_view units) {
  while (!units.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(units.size(), 1 << 14));
    DWORD written = 0;
    if (!WriteConsoleW(handle, units.data(), chunk, &written, nullptr) || written == 0)
      return;
    units.remove_prefix(written);
  }
}

DWORD WINAPI WritePending(LPVOID param) {
  const std::unique_ptr<PendingWrite> pending(static_cast<PendingWrite*>(param));
  if (pending->console)
    WriteAllToConsole(pending->handle, pending->units);
  else
    WriteAll(pending->handle, pending->bytes);
  return 0;
}

}  // namespace

void WriteToStandardError(std::string_view text) noexcept {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  if (!handle || handle == INVALID_HANDLE_VALUE || g_stuck)
    return;
  try {
    auto pending = std::make_unique<PendingWrite>();
    pending->handle = handle;
    DWORD mode = 0;
    pending->console = GetConsoleMode(handle, &mode) != FALSE;
    if (pending->console) {
      std::optional<std::wstring> units = WideFromWtf8(text);
      if (!units)
        return;
      pending->units = std::move(*units);
    } else {
      pending->bytes = Utf8FromWtf8(text);
    }
    const ULONGLONG now = GetTickCount64();
    if (g_deadline == 0)
      g_deadline = now + kMostWaitMs;
    if (now >= g_deadline) {
      g_stuck = true;
      return;
    }
    // The write has a thread of its own, so that the run stops waiting for it
    // when the time is up; the process ends while it is blocked.
    HANDLE writer = CreateThread(nullptr, kWriterStack, WritePending, pending.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!writer)
      return;
    static_cast<void>(pending.release());  // the thread owns it now
    if (WaitForSingleObject(writer, static_cast<DWORD>(g_deadline - now)) != WAIT_OBJECT_0)
      g_stuck = true;
    CloseHandle(writer);
  } catch (const std::bad_alloc&) {
    // Nothing more can be said.
  }
}

std::string SystemMessage(std::uint32_t error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(buffer, LocalFree);
  if (length == 0 || !buffer)
    return {};
  return Wtf8FromWide(std::wstring_view(buffer, length));
}
