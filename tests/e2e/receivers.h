// Receivers of the change notice for the end-to-end tests and the notice
// benchmark: hidden top-level windows on threads of their own, each taking
// its time to answer WM_SETTINGCHANGE with "Environment".
#pragma once

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <memory>
#include <vector>

struct SlowWindow {
  DWORD delayMs = 0;
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
    ++slow->notices;
    Sleep(slow->delayMs);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// threads x windowsPerThread hidden top-level windows, each taking delayMs to
// answer; the threads end with the object.
struct Receivers {
  struct Thread {
    std::vector<std::unique_ptr<SlowWindow>> windows;
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
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
      DispatchMessageW(&msg);
    for (HWND window : made)
      DestroyWindow(window);
    return 0;
  }

  Receivers(int threadCount, int windowsPerThread, DWORD delayMs) {
    static const ATOM registered = [] {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = SlowProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"MorlexE2ESlow";
      return RegisterClassW(&wc);
    }();
    if (registered == 0)
      return;
    for (int t = 0; t < threadCount; ++t) {
      auto thread = std::make_unique<Thread>();
      for (int w = 0; w < windowsPerThread; ++w) {
        thread->windows.push_back(std::make_unique<SlowWindow>());
        thread->windows.back()->delayMs = delayMs;
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
};
