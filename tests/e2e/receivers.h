// Receivers of the change notice for the end-to-end tests and the notice
// benchmark: hidden top-level windows on threads of their own, each taking
// its time over its first WM_SETTINGCHANGE with "Environment", or threads
// that pump nothing for a while.
#pragma once

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <memory>
#include <vector>

struct SlowWindow {
  DWORD delayMs = 0;  // spent inside the first notice
  std::atomic<int> notices{0};
};

inline LRESULT CALLBACK SlowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE)
    SetWindowLongPtrW(
        window, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  if (message == WM_SETTINGCHANGE && lParam &&
      std::wcscmp(reinterpret_cast<const wchar_t*>(lParam), L"Environment") == 0) {
    auto* slow = reinterpret_cast<SlowWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (slow->notices++ == 0)
      Sleep(slow->delayMs);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

struct ReceiverShape {
  int threads = 0;
  int windowsPerThread = 1;
  DWORD delayMs = 0;  // each window's time inside its first notice
  // Only one window of each thread takes it: the one made last, which a
  // listing of the top-level windows finds first.
  bool oneSlowWindow = false;
  DWORD busyMs = 0;  // each thread pumps nothing this long from the start
};

// Hidden top-level windows on threads of their own, as shape says; the
// threads end with the object.
struct Receivers {
  struct Thread {
    std::vector<std::unique_ptr<SlowWindow>> windows;
    DWORD busyMs = 0;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE handle = nullptr;
    DWORD id = 0;
  };
  std::vector<std::unique_ptr<Thread>> threads;

  static DWORD WINAPI Run(LPVOID param) {
    auto* thread = static_cast<Thread*>(param);
    std::vector<HWND> made;
    for (const auto& slow : thread->windows)
      made.push_back(CreateWindowExW(0, L"MorlexE2ESlow", L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                     nullptr, GetModuleHandleW(nullptr), slow.get()));
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue, for WM_QUIT
    SetEvent(thread->ready);
    Sleep(thread->busyMs);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
      DispatchMessageW(&msg);
    for (HWND window : made)
      DestroyWindow(window);
    return 0;
  }

  explicit Receivers(const ReceiverShape& shape) {
    static const ATOM registered = [] {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = SlowProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"MorlexE2ESlow";
      return RegisterClassW(&wc);
    }();
    if (registered == 0)
      return;
    for (int t = 0; t < shape.threads; ++t) {
      auto thread = std::make_unique<Thread>();
      thread->busyMs = shape.busyMs;
      for (int w = 0; w < shape.windowsPerThread; ++w) {
        thread->windows.push_back(std::make_unique<SlowWindow>());
        const bool last = w + 1 == shape.windowsPerThread;
        thread->windows.back()->delayMs = last || !shape.oneSlowWindow ? shape.delayMs : 0;
      }
      thread->handle = CreateThread(nullptr, 0, Run, thread.get(), 0, &thread->id);
      if (!thread->handle)
        return;
      WaitForSingleObject(thread->ready, INFINITE);
      threads.push_back(std::move(thread));
    }
  }
  ~Receivers() {
    for (const auto& thread : threads) {
      PostThreadMessageW(thread->id, WM_QUIT, 0, 0);
      WaitForSingleObject(thread->handle, INFINITE);
      CloseHandle(thread->handle);
      CloseHandle(thread->ready);
    }
  }
  Receivers(const Receivers&) = delete;
  Receivers& operator=(const Receivers&) = delete;

  // How many windows have had the notice so far.
  [[nodiscard]] int Told() const {
    int told = 0;
    for (const auto& thread : threads)
      for (const auto& window : thread->windows)
        told += window->notices > 0 ? 1 : 0;
    return told;
  }
  [[nodiscard]] int Windows() const {
    int count = 0;
    for (const auto& thread : threads)
      count += static_cast<int>(thread->windows.size());
    return count;
  }
};
