// The change notice. A broadcast to HWND_BROADCAST sends to one top-level
// window after another, so every slow window adds its wait to the run. Here
// the windows are grouped by the thread that owns them, and each group is
// sent to from a sending thread of its own: the windows of one thread still
// get the notice one after another, and the run waits about as long as the
// slowest thread takes.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <vector>

#include "envstore/envstore.h"

namespace {

constexpr UINT kNoticeTimeoutMs = 5000;
// At most this many sends run at once (the most one wait can watch); groups
// beyond it wait for a free sending thread.
constexpr std::size_t kMostSendingThreads = MAXIMUM_WAIT_OBJECTS;
constexpr SIZE_T kSendingThreadStack = SIZE_T{64} * 1024;

void Notify(HWND window) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                      SMTO_ABORTIFHUNG, kNoticeTimeoutMs, &result);
}

struct OwnedWindow {
  DWORD thread;
  std::size_t found;  // its place in the listing
  HWND window;
};

// The top-level windows sorted by owning thread, each thread's in the order
// they were found; the sending threads take one group after another.
struct Groups {
  std::vector<OwnedWindow> windows;
  std::vector<std::size_t> starts;  // each group's first window, then windows.size()
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

DWORD WINAPI SendGroups(LPVOID param) {
  auto* groups = static_cast<Groups*>(param);
  for (;;) {
    const std::size_t group = groups->next++;
    if (group + 1 >= groups->starts.size())
      return 0;
    for (std::size_t i = groups->starts[group]; i < groups->starts[group + 1]; ++i)
      Notify(groups->windows[i].window);
  }
}

// Nothing when memory runs out or the windows cannot be listed.
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
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Waits for every sending thread to end: all at once, or, when that wait
// fails, for each in turn. False when that is not known.
bool AllEnded(const HANDLE* threads, std::size_t count) {
  if (count == 0 || WaitForMultipleObjects(static_cast<DWORD>(count), threads, TRUE, INFINITE) <
                        WAIT_OBJECT_0 + count)
    return true;
  for (std::size_t i = 0; i < count; ++i) {
    if (WaitForSingleObject(threads[i], INFINITE) != WAIT_OBJECT_0)
      return false;
  }
  return true;
}

}  // namespace

void AnnounceEnvironmentChange() noexcept {
  std::unique_ptr<Groups> groups(new (std::nothrow) Groups);
  if (!groups || !FindGroups(*groups)) {
    Notify(HWND_BROADCAST);  // one after another, but every window is told
    return;
  }
  // This thread sends too, so one group needs no other thread.
  const std::size_t groupCount = groups->starts.size() - 1;
  HANDLE threads[kMostSendingThreads];
  std::size_t started = 0;
  while (started + 1 < std::min(groupCount, kMostSendingThreads)) {
    HANDLE thread = CreateThread(nullptr, kSendingThreadStack, SendGroups, groups.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread)
      break;  // fewer threads share the groups
    threads[started++] = thread;
  }
  SendGroups(groups.get());
  if (!AllEnded(threads, started))
    static_cast<void>(groups.release());  // a thread may still read them: they stay
  for (std::size_t i = 0; i < started; ++i)
    CloseHandle(threads[i]);
}
