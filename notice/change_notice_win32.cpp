// The change notice. A broadcast to HWND_BROADCAST sends to one top-level
// window after another, so every slow window adds its wait to the run, and a
// window whose send times out never hears of the change. Here:
// - one deadline holds for the whole notice, however many windows there are;
// - the windows are grouped by the thread that owns them, and each group is
//   sent to from a sending thread of its own: the windows of one thread get
//   the notice one after another, each send waiting at most for what is left
//   of the time;
// - when any window was not told in time (its send timed out, was given up
//   as hung, or was never begun), one broadcast that does not wait hands the
//   notice over, for the system to deliver when each thread is free;
// - when the windows cannot be listed, one broadcast runs on a thread of its
//   own, so that it too is waited for until the deadline only.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <vector>

#include "base/deadline.h"
#include "notice/change_notice.h"
#include "notice/notice_relay.h"

namespace {

// The whole notice takes at most this long.
constexpr ULONGLONG kNoticeTimeoutMs = 5000;
// At most this many sends run at once (the most one wait can watch); groups
// beyond it wait for a free sending thread.
constexpr std::size_t kMostSendingThreads = MAXIMUM_WAIT_OBJECTS;
constexpr SIZE_T kSendingThreadStack = SIZE_T{64} * 1024;

LPARAM Environment() { return reinterpret_cast<LPARAM>(L"Environment"); }

struct OwnedWindow {
  DWORD thread;
  std::size_t found;  // its place in the listing
  HWND window;
};

// The top-level windows sorted by owning thread, each thread's in the order
// they were found; the sending threads take one group after another and mark
// each window told once its send is done.
struct Groups {
  ULONGLONG deadline = 0;
  std::vector<OwnedWindow> windows;
  std::vector<std::size_t> starts;  // each group's first window, then windows.size()
  std::unique_ptr<std::atomic<bool>[]> told;
  std::atomic<std::size_t> next{0};
};

// Stops the listing when memory runs out.
BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  auto* windows =
      reinterpret_cast<std::vector<OwnedWindow>*>(param);  // NOLINT(performance-no-int-to-ptr)
  try {
    windows->push_back({GetWindowThreadProcessId(window, nullptr), windows->size(), window});
    return TRUE;
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
}

// Sends to one group after another until none is left or the time is up.
DWORD WINAPI SendGroups(LPVOID param) {
  auto* groups = static_cast<Groups*>(param);
  for (;;) {
    const std::size_t group = groups->next++;
    if (group + 1 >= groups->starts.size())
      return 0;
    for (std::size_t i = groups->starts[group]; i < groups->starts[group + 1]; ++i) {
      const DWORD left = MsUntil(groups->deadline, GetTickCount64());
      if (left == 0)
        return 0;  // the rest are handed over
      DWORD_PTR result = 0;
      if (SendMessageTimeoutW(groups->windows[i].window, WM_SETTINGCHANGE, 0, Environment(),
                              SMTO_ABORTIFHUNG, left, &result))
        groups->told[i] = true;
    }
  }
}

// False when memory runs out or the windows cannot be listed.
bool FindGroups(Groups& groups) {
  try {
    if (!EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&groups.windows)))
      return false;
    std::sort(groups.windows.begin(), groups.windows.end(),
              [](const OwnedWindow& a, const OwnedWindow& b) {
                return a.thread != b.thread ? a.thread < b.thread : a.found < b.found;
              });
    for (std::size_t i = 0; i < groups.windows.size(); ++i) {
      if (i == 0 || groups.windows[i].thread != groups.windows[i - 1].thread)
        groups.starts.push_back(i);
    }
    groups.starts.push_back(groups.windows.size());
    groups.told = std::make_unique<std::atomic<bool>[]>(groups.windows.size());
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Waits for every sending thread to end, at most until the deadline. False
// when some may still be sending.
bool AllEnded(const HANDLE* threads, std::size_t count, ULONGLONG deadline) {
  if (count == 0)
    return true;
  const DWORD wait = WaitForMultipleObjects(static_cast<DWORD>(count), threads, TRUE,
                                            MsUntil(deadline, GetTickCount64()));
  if (wait < WAIT_OBJECT_0 + count)
    return true;
  if (wait != WAIT_FAILED)
    return false;  // the time is up
  for (std::size_t i = 0; i < count; ++i) {
    if (WaitForSingleObject(threads[i], MsUntil(deadline, GetTickCount64())) != WAIT_OBJECT_0)
      return false;
  }
  return true;
}

// The windows not told in time get the notice when their threads are free:
// one broadcast, since the asynchronous calls carry a string to a window of
// another thread only when it goes to HWND_BROADCAST. A window told already
// may get it twice, which only makes it read the environment again.
void HandOver() { SendNotifyMessageW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, Environment()); }

bool AnyNotTold(const Groups& groups) {
  for (std::size_t i = 0; i < groups.windows.size(); ++i) {
    if (!groups.told[i])
      return true;
  }
  return false;
}

DWORD WINAPI Broadcast(LPVOID /*unused*/) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, Environment(), SMTO_ABORTIFHUNG,
                      static_cast<UINT>(kNoticeTimeoutMs), &result);
  return 0;
}

// When the windows cannot be listed: the platform's broadcast, which sends
// to one window after another, waited for until the deadline; if it has not
// ended by then, or cannot be run, the rest are handed over.
void BroadcastUntil(ULONGLONG deadline) {
  HANDLE thread = CreateThread(nullptr, kSendingThreadStack, Broadcast, nullptr,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  const bool ended =
      thread && WaitForSingleObject(thread, MsUntil(deadline, GetTickCount64())) == WAIT_OBJECT_0;
  if (thread)
    CloseHandle(thread);
  if (!ended)
    HandOver();
}

// The whole notice on this desktop, done or handed over by the deadline.
void AnnounceHere(ULONGLONG deadline) {
  std::unique_ptr<Groups> groups(new (std::nothrow) Groups);
  if (!groups || !FindGroups(*groups)) {
    BroadcastUntil(deadline);
    return;
  }
  groups->deadline = deadline;
  // This thread only waits, so that it stops at the deadline whatever a
  // send does; it sends itself only when no sending thread can be had.
  const std::size_t groupCount = groups->starts.size() - 1;
  HANDLE threads[kMostSendingThreads];
  std::size_t started = 0;
  while (started < std::min(groupCount, kMostSendingThreads)) {
    HANDLE thread = CreateThread(nullptr, kSendingThreadStack, SendGroups, groups.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread)
      break;  // fewer threads share the groups
    threads[started++] = thread;
  }
  if (started == 0 && groupCount > 0)
    SendGroups(groups.get());
  const bool ended = AllEnded(threads, started, deadline);
  // A thread still sending marks its window told only when it is done.
  if (AnyNotTold(*groups))
    HandOver();
  if (!ended)
    static_cast<void>(groups.release());  // a thread may still use them: they stay
  for (std::size_t i = 0; i < started; ++i)
    CloseHandle(threads[i]);
}

// The relay's deadline, set before its thread starts.
ULONGLONG g_relayDeadline = 0;

DWORD WINAPI Relay(LPVOID /*unused*/) {
  RelayNoticeToOtherSessions(g_relayDeadline);
  return 0;
}

}  // namespace

void AnnounceEnvironmentChange(NoticeReach reach) noexcept {
  const ULONGLONG deadline = GetTickCount64() + kNoticeTimeoutMs;
  // The relay runs beside this desktop's notice, within the same deadline.
  HANDLE relay = nullptr;
  if (reach == NoticeReach::OtherSessionsToo) {
    g_relayDeadline = deadline;
    relay = CreateThread(nullptr, kSendingThreadStack, Relay, nullptr,
                         STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  }
  AnnounceHere(deadline);
  if (relay) {
    WaitForSingleObject(relay, MsUntil(deadline, GetTickCount64()));
    CloseHandle(relay);
  } else if (reach == NoticeReach::OtherSessionsToo) {
    RelayNoticeToOtherSessions(deadline);  // no thread for it: in turn, still by the deadline
  }
}
