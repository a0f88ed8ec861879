// How long the change notice takes: a Morlex run with 0, 1, 4 and 16 slow
// receivers beside the sum of their delays; receivers slow past the notice's
// time, with the windows told before the run ended and the windows handed
// the notice after it, beside a plain HWND_BROADCAST sender; and the notice
// with every window responsive. Prints its figures; run it with
// scripts/notice-bench.sh.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "notice/change_notice.h"
#include "tests/e2e/receivers.h"

namespace {

constexpr DWORD kSlowMs = 1000;

std::wstring MorlexCommandLine() {
  wchar_t buffer[MAX_PATH];
  std::wstring path(buffer, GetModuleFileNameW(nullptr, buffer, MAX_PATH));
  path.resize(path.find_last_of(L"\\/") + 1);
  path += L"Morlex.exe";
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
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
                      SMTO_ABORTIFHUNG, 5000, &result);
}

// Receivers slow past the notice's time: how long the sender takes, how many
// windows are told before it ends, and how many get the notice only after,
// once their threads are free.
template <typename Send>
void SlowRow(const char* what, const ReceiverShape& shape, const char* sender, Send send) {
  const Receivers receivers(shape);
  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  send();
  QueryPerformanceCounter(&end);
  const int told = receivers.Told();
  // Long enough for every thread to be free again, and for what was handed
  // over to arrive.
  Sleep(std::max(shape.delayMs, shape.busyMs) + 2000);
  // The receivers' threads have counted what arrived since.
  // cppcheck-suppress duplicateExpression
  const int handedOver = receivers.Told() - told;
  std::printf(
      "  %-36s %-15s %6.1f s, %2d of %2d told before the end, %2d handed over\n", what, sender,
      static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
      told, receivers.Windows(), handedOver);
}

}  // namespace

int main() {
  std::printf("slow receivers (one window each, %lu ms to answer):\n", kSlowMs);
  for (const int count : {0, 1, 4, 16}) {
    const Receivers receivers({count, 1, kSlowMs});
    const double ms = TimeMorlexRun();
    std::printf("  %2d receivers: Morlex run %6.0f ms; one after another they take %5lu ms\n",
                count, ms, count * kSlowMs);
  }

  std::printf("receivers slow past the notice's time of 5 s:\n");
  const struct {
    const char* what;
    ReceiverShape shape;
  } rows[] = {
      {"1 thread, 10 windows, each 2 s", {1, 10, 2000}},
      {"5 threads x 3 windows, first 12 s", {5, 3, 12000, true}},
      {"3 threads x 2 windows, busy 8 s", {3, 2, 0, false, 8000}},
  };
  for (const auto& row : rows) {
    SlowRow(row.what, row.shape, "Morlex run", [] { TimeMorlexRun(); });
    SlowRow(row.what, row.shape, "HWND_BROADCAST", PlainBroadcast);
  }

  std::printf("every window responsive (median of 50 notices, sent from this process):\n");
  for (const int threads : {0, 8, 32}) {
    const Receivers receivers({threads, 4, 0});
    const double grouped = MedianMs(50, [] { AnnounceEnvironmentChange(NoticeReach::OwnDesktop); });
    const double plain = MedianMs(50, PlainBroadcast);
    std::printf("  %2d threads x 4 windows: grouped by thread %6.2f ms, HWND_BROADCAST %6.2f ms\n",
                threads, grouped, plain);
  }
  const Receivers receivers({8, 4, 0});
  std::printf("  Morlex run with 8 threads x 4 windows: %.0f ms (median of 10)\n",
              MedianMs(10, [] { TimeMorlexRun(); }));

  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Environment", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, L"MORLEX_BENCH");
    RegCloseKey(key);
  }
  return 0;
}
