// How long the change notice takes: a Morlex run with 0, 1, 4 and 16 slow
// receivers beside the sum of their delays, and the notice with every window
// responsive beside a plain HWND_BROADCAST sender. Prints its figures; run
// it with scripts/notice-bench.sh.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "envstore/envstore.h"
#include "tests/e2e/receivers.h"

namespace {

constexpr DWORD kSlowMs = 1000;

std::wstring MorlexCommandLine() {
  wchar_t buffer[MAX_PATH];
  std::wstring path(buffer, GetModuleFileNameW(nullptr, buffer, MAX_PATH));
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"Morlex.exe";
  return L"\"" + path + L"\" MORLEX_BENCH v";
}

// Milliseconds from the start of a Morlex run to its end.
double TimeMorlexRun() {
  std::wstring commandLine = MorlexCommandLine();
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi))
    return -1;
  WaitForSingleObject(pi.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

template <typename Send>
double MedianMs(int repeats, Send send) {
  std::vector<double> times;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  for (int i = 0; i < repeats; ++i) {
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    send();
    QueryPerformanceCounter(&end);
    times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                    static_cast<double>(frequency.QuadPart));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void PlainBroadcast() {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                      SMTO_ABORTIFHUNG, 5000, &result);
}

}  // namespace

int main() {
  std::printf("slow receivers (one window each, %lu ms to answer):\n", kSlowMs);
  for (const int count : {0, 1, 4, 16}) {
    const Receivers receivers(count, 1, kSlowMs);
    const double ms = TimeMorlexRun();
    std::printf("  %2d receivers: Morlex run %6.0f ms; one after another they take %5lu ms\n",
                count, ms, count * kSlowMs);
  }

  std::printf("every window responsive (median of 50 notices, sent from this process):\n");
  for (const int threads : {0, 8, 32}) {
    const Receivers receivers(threads, 4, 0);
    const double grouped = MedianMs(50, AnnounceEnvironmentChange);
    const double plain = MedianMs(50, PlainBroadcast);
    std::printf("  %2d threads x 4 windows: grouped by thread %6.2f ms, HWND_BROADCAST %6.2f ms\n",
                threads, grouped, plain);
  }
  const Receivers receivers(8, 4, 0);
  std::printf("  Morlex run with 8 threads x 4 windows: %.0f ms (median of 10)\n",
              MedianMs(10, [] { TimeMorlexRun(); }));

  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Environment", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, L"MORLEX_BENCH");
    RegCloseKey(key);
  }
  return 0;
}
