#include <windows.h>
// winternl.h needs what windows.h declares.
#include <winternl.h>

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

#include "base/system_library_win32.h"
#include "process/standard_error.h"
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
// What kind of handle it is, is found out there too: asking a handle opened
// for synchronous I/O waits while another process that shares its file
// object is blocked in a read or a write, so only the writer may ask.
struct PendingWrite {
  HANDLE handle = nullptr;
  std::string bytes;   // UTF-8, for a pipe or a file
  std::wstring units;  // UTF-16, for a console
};

// Whether the handle was opened for overlapped I/O (a pipe some process
// libraries make with FILE_FLAG_OVERLAPPED, say): a write to it needs an
// OVERLAPPED of its own and is done only when that says so. The file
// object's mode tells; a handle whose mode cannot be had is taken as
// synchronous, as nearly all are.
bool OpenedForOverlappedIo(HANDLE handle) {
  using QueryFile = LONG NTAPI(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
  constexpr ULONG kFileModeInformation = 16;
  constexpr ULONG kSynchronousIo = 0x10 | 0x20;  // FILE_SYNCHRONOUS_IO_ALERT, _NONALERT
  auto* query = ProcAddress<QueryFile>(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile");
  if (!query)
    return false;
  IO_STATUS_BLOCK status = {};
  ULONG mode = 0;
  return query(handle, &status, &mode, sizeof mode, kFileModeInformation) >= 0 &&
         (mode & kSynchronousIo) == 0;
}

// One write, done when this returns. An overlapped handle's write has an
// event of its own and is waited for here; it goes to the end of a file,
// and a pipe has no position.
bool WriteOnce(HANDLE handle, bool overlapped, std::string_view bytes, DWORD& written) {
  const auto size = static_cast<DWORD>(bytes.size());
  if (!overlapped)
    return WriteFile(handle, bytes.data(), size, &written, nullptr) != FALSE;
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!event)
    return false;
  OVERLAPPED at = {};
  at.Offset = MAXDWORD;
  at.OffsetHigh = MAXDWORD;
  // The low bit set keeps the completion off an I/O completion port that
  // the caller may have tied the handle to: it is Morlex's alone.
  at.hEvent = reinterpret_cast<HANDLE>(  // NOLINT(performance-no-int-to-ptr): a tagged handle
      reinterpret_cast<ULONG_PTR>(event) | 1);
  const bool begun =
      WriteFile(handle, bytes.data(), size, nullptr, &at) || GetLastError() == ERROR_IO_PENDING;
  const bool done = begun && WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0 &&
                    GetOverlappedResult(handle, &at, &written, FALSE);
  CloseHandle(event);
  return done;
}

// Writes every byte, or stops at the first write that fails.
void WriteAll(HANDLE handle, bool overlapped, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteOnce(handle, overlapped, bytes.substr(0, 1 << 16), written) || written == 0)
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
  DWORD mode = 0;
  if (GetConsoleMode(pending->handle, &mode))
    WriteAllToConsole(pending->handle, pending->units);
  else
    WriteAll(pending->handle, OpenedForOverlappedIo(pending->handle), pending->bytes);
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
    pending->bytes = Utf8FromWtf8(text);
    pending->units = WideFromWtf8(text).value_or(std::wstring());
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
