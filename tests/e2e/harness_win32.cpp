#include <gtest/gtest.h>

#include "tests/e2e/harness.h"
// sddl.h needs what windows.h declares.
#include <sddl.h>

#include <cstring>
#include <string>
#include <utility>

#include "cmdline/usage_text.h"
#include "notice/notice_relay.h"
#include "notice/relay_child_win32.h"
#include "text/wide_text.h"

using namespace std::string_literals;

namespace {

// What a registry call gives when it is done, and the part of a key's
// security that the tests change. (Windows' own macros spell them with a
// suffix that the linter takes up wherever a check macro uses them.)
constexpr LSTATUS kDone = ERROR_SUCCESS;
constexpr SECURITY_INFORMATION kDacl = DACL_SECURITY_INFORMATION;

// These tests delete and recreate the user's Environment key, narrow its
// security and write Path: under Wine that is the throwaway prefix, but on
// Windows itself it is the machine's own environment, which a crash or a kill
// in the middle would leave broken. There they run only on a machine meant
// for it.

bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

struct DisposableMachineOnly : ::testing::Environment {
  void SetUp() override {
    char flag[8] = {};
    const DWORD length =
        GetEnvironmentVariableA("MORLEX_E2E_DISPOSABLE_MACHINE", flag, sizeof flag);
    if (!UnderWine() && !(length == 1 && flag[0] == '1'))
      GTEST_SKIP() << "these tests rewrite this machine's environment (HKEY_CURRENT_USER\\"
                      "Environment, Path, the system scope); set MORLEX_E2E_DISPOSABLE_MACHINE=1 "
                      "to run them on a machine meant to be thrown away";
  }
};

[[maybe_unused]] ::testing::Environment* const kDisposableMachineOnly =
    ::testing::AddGlobalTestEnvironment(new DisposableMachineOnly);

int g_notices = 0;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTINGCHANGE && lParam &&
      std::wcscmp(reinterpret_cast<const wchar_t*>(lParam), L"Environment") == 0)
    ++g_notices;
  return DefWindowProcW(window, message, wParam, lParam);
}

// A hidden top-level window: broadcasts reach top-level windows only.
void EnsureListener() {
  static HWND window = [] {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ListenerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"MorlexE2EListener";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                           wc.hInstance, nullptr);
  }();
  ASSERT_NE(window, nullptr);
}

std::wstring OwnDirectory() {
  wchar_t buffer[MAX_PATH];
  const std::wstring path(buffer, GetModuleFileNameW(nullptr, buffer, MAX_PATH));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

struct BoxSearch {
  DWORD processId;
  HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t cls[64] = {};
  GetClassNameW(window, cls, 64);
  if (owner == search->processId && std::wcscmp(cls, L"#32770") == 0 && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindText(HWND child, LPARAM param) {
  wchar_t cls[64] = {};
  GetClassNameW(child, cls, 64);
  wchar_t text[2048] = {};
  GetWindowTextW(child, text, 2048);
  if (_wcsicmp(cls, L"Static") == 0 && text[0] != L'\0') {
    *reinterpret_cast<std::wstring*>(param) = text;
    return FALSE;
  }
  return TRUE;
}

// The desktop of a window station that is not visible, made once per run.
wchar_t* HiddenDesktop() {
  static wchar_t name[] = L"MorlexE2EHidden\\Default";
  static const bool made = [] {
    HWINSTA station = CreateWindowStationW(L"MorlexE2EHidden", 0, WINSTA_ALL_ACCESS, nullptr);
    HWINSTA own = GetProcessWindowStation();
    if (!station || !SetProcessWindowStation(station))
      return false;
    HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    return desktop != nullptr;
  }();
  EXPECT_TRUE(made) << "cannot make a hidden window station: error " << GetLastError();
  return name;
}

// A second desktop of the visible window station, made once per run.
wchar_t* OtherDesktop() {
  static wchar_t name[] = L"WinSta0\\MorlexE2EOther";
  static HDESK desktop =
      CreateDesktopW(L"MorlexE2EOther", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  EXPECT_NE(desktop, nullptr) << "cannot make a second desktop: error " << GetLastError();
  return name;
}

// Appends what is in the pipe now.
void Drain(HANDLE pipe, std::string& bytes) {
  DWORD available = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    std::string chunk(available, '\0');
    DWORD got = 0;
    if (!ReadFile(pipe, chunk.data(), available, &got, nullptr) || got == 0)
      break;
    bytes.append(chunk, 0, got);
  }
}

}  // namespace

// The value's whole UTF-16 units.
std::wstring Units(const RawValue& v) {
  std::wstring units(v.bytes.size() / 2, L'\0');
  std::memcpy(units.data(), v.bytes.data(), units.size() * sizeof(wchar_t));
  return units;
}

void PrintTo(const RawValue& v, std::ostream* os) {
  const std::wstring units = Units(v);
  std::string text;
  for (const char c : Wtf8FromWide(units.substr(0, 200)))
    text += c == '\0' ? "\\0"s : std::string(1, c);
  *os << "type " << v.type << ", " << v.bytes.size() << " bytes \"" << text
      << (units.size() > 200 ? "...\"" : "\"");
}

// Little-endian UTF-16 units, as the registry holds them.
std::string Bytes(const std::wstring& units) {
  return {reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t)};
}
RawValue Sz(const std::wstring& text, DWORD type) { return {type, Bytes(text + L'\0')}; }
RawValue ExpandSz(const std::wstring& text) { return Sz(text, REG_EXPAND_SZ); }

HKEY Root(bool system) { return system ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
const wchar_t* Subkey(bool system) { return system ? kSystemKey : kUserKey; }

std::optional<RawValue> ReadValue(bool system, const std::wstring& name) {
  HKEY key;
  if (RegOpenKeyExW(Root(system), Subkey(system), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  RawValue v;
  DWORD size = 0;
  std::optional<RawValue> result;
  if (RegQueryValueExW(key, name.c_str(), nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
    v.bytes.assign(size, '\0');
    if (RegQueryValueExW(key, name.c_str(), nullptr, &v.type,
                         reinterpret_cast<BYTE*>(v.bytes.data()), &size) == ERROR_SUCCESS) {
      v.bytes.resize(size);
      result = v;
    }
  }
  RegCloseKey(key);
  return result;
}

void StoreValue(bool system, const std::wstring& name, const std::optional<RawValue>& value) {
  HKEY key;
  const LSTATUS opened = RegOpenKeyExW(Root(system), Subkey(system), 0, KEY_ALL_ACCESS, &key);
  ASSERT_EQ(opened, kDone);
  if (value)
    RegSetValueExW(key, name.c_str(), 0, value->type,
                   reinterpret_cast<const BYTE*>(value->bytes.data()),
                   static_cast<DWORD>(value->bytes.size()));
  else
    RegDeleteValueW(key, name.c_str());
  RegCloseKey(key);
}

KeyDacl::KeyDacl(bool system, const wchar_t* sddl) {
  if (!sddl)
    return;
  // The handle keeps the rights it was opened with, so it can restore the
  // DACL whatever the new one grants.
  if (RegOpenKeyExW(Root(system), Subkey(system), 0, READ_CONTROL | WRITE_DAC, &key) !=
      ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot open the key to change its DACL";
    key = nullptr;
    return;
  }
  DWORD size = 0;
  RegGetKeySecurity(key, kDacl, nullptr, &size);
  saved.resize(size);
  EXPECT_EQ(RegGetKeySecurity(key, kDacl, saved.data(), &size), kDone);
  PSECURITY_DESCRIPTOR sd = nullptr;
  EXPECT_TRUE(
      ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr));
  EXPECT_EQ(RegSetKeySecurity(key, kDacl, sd), kDone);
  LocalFree(sd);
}

KeyDacl::~KeyDacl() {
  if (!key)
    return;
  EXPECT_EQ(RegSetKeySecurity(key, kDacl, saved.data()), kDone);
  RegCloseKey(key);
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void SleepPumping(DWORD ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  while (GetTickCount64() < until) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    PumpMessages();
  }
}

void ResetNotices() { g_notices = 0; }

int NoticesSeen() { return g_notices; }

std::wstring MorlexPath() { return OwnDirectory() + L"Morlex.exe"; }

std::wstring Cmd(const std::wstring& tail) { return L"\"" + MorlexPath() + L"\"" + tail; }

// Starts Morlex as the relay starts its child, as this process's user.
Child StartByRelay() {
  Child child;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY,
                        &token)) {
    ADD_FAILURE() << "cannot open this process's token: error " << GetLastError();
    return child;
  }
  child.started = GetTickCount64();
  child.pi.hProcess = StartRelayChild(token, Wtf8FromWide(MorlexPath()), false);
  CloseHandle(token);
  if (!child.pi.hProcess)
    ADD_FAILURE() << "the relay cannot start Morlex: error " << GetLastError();
  child.pi.dwProcessId = child.pi.hProcess ? GetProcessId(child.pi.hProcess) : 0;
  return child;
}

Child StartMorlex(std::wstring commandLine, Start start) {
  EnsureListener();
  if (start.byRelay)
    return StartByRelay();
  Child child;
  const std::wstring exe = OwnDirectory() + start.program;
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;  // none but the pipe, if any
  if (start.hiddenStation)
    si.lpDesktop = HiddenDesktop();
  if (start.otherDesktop)
    si.lpDesktop = OtherDesktop();
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE write = nullptr;
  if (start.errorPipe && start.overlappedPipe) {
    static int pipes = 0;
    const std::wstring name = L"\\\\.\\pipe\\MorlexE2E." + std::to_wstring(GetCurrentProcessId()) +
                              L"." + std::to_wstring(++pipes);
    write = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED,
                             PIPE_TYPE_BYTE | PIPE_WAIT, 1, start.pipeSize, start.pipeSize, 0,
                             &inherit);
    EXPECT_NE(write, INVALID_HANDLE_VALUE);
    child.errorPipe =
        CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(child.errorPipe, INVALID_HANDLE_VALUE);
    si.hStdError = write;
  } else if (start.errorPipe) {
    EXPECT_TRUE(CreatePipe(&child.errorPipe, &write, &inherit, start.pipeSize));
    SetHandleInformation(child.errorPipe, HANDLE_FLAG_INHERIT, 0);
    si.hStdError = write;
  }
  child.readAfterEnd = start.readAfterEnd;
  child.started = GetTickCount64();
  // What its environment holds otherwise, set here for the start and put
  // back after it.
  std::vector<std::pair<std::wstring, std::wstring>> variables;
  if (start.relayMarker)
    variables.emplace_back(*WideFromWtf8(kRelayMarkerName), *WideFromWtf8(kRelayMarkerValue));
  if (start.profile) {
    variables.emplace_back(L"USERPROFILE", start.profile);
    variables.emplace_back(L"LOCALAPPDATA", std::wstring(start.profile) + L"\\AppData\\Local");
  }
  for (auto& [name, value] : variables) {
    std::wstring old(MAX_PATH, L'\0');
    old.resize(GetEnvironmentVariableW(name.c_str(), old.data(), MAX_PATH));
    SetEnvironmentVariableW(name.c_str(), value.c_str());
    value = old;
  }
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &si, &child.pi))
    ADD_FAILURE() << "cannot start " << exe << ": error " << GetLastError();
  for (const auto& [name, old] : variables)
    SetEnvironmentVariableW(name.c_str(), old.empty() ? nullptr : old.c_str());
  if (write)
    CloseHandle(write);
  return child;
}

RunResult FinishMorlex(const Child& child) {
  RunResult run;
  const PROCESS_INFORMATION& pi = child.pi;
  if (!pi.hProcess)
    return run;
  const ULONGLONG deadline = GetTickCount64() + kRunTimeoutMs;
  for (;;) {
    const DWORD wait = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 50, QS_ALLINPUT);
    PumpMessages();
    if (child.errorPipe && !child.readAfterEnd)
      Drain(child.errorPipe, run.standardError);
    if (wait == WAIT_OBJECT_0)
      break;
    BoxSearch search{pi.dwProcessId};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      Box box;
      wchar_t caption[256] = {};
      GetWindowTextW(search.found, caption, 256);
      box.caption = caption;
      EnumChildWindows(search.found, FindText, reinterpret_cast<LPARAM>(&box.text));
      run.boxes.push_back(box);
      PostMessageW(search.found, WM_COMMAND, IDOK, 0);
      // Wait for the box to go before looking for another.
      while (IsWindow(search.found) && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
      }
    }
    if (GetTickCount64() > deadline) {
      ADD_FAILURE() << "Morlex did not end";
      TerminateProcess(pi.hProcess, 0xDEAD);
      WaitForSingleObject(pi.hProcess, INFINITE);
      break;
    }
  }
  run.ms = GetTickCount64() - child.started;
  PumpMessages();
  GetExitCodeProcess(pi.hProcess, &run.exitCode);
  if (pi.hThread)
    CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (child.errorPipe) {
    Drain(child.errorPipe, run.standardError);
    CloseHandle(child.errorPipe);
  }
  run.notices = g_notices;
  return run;
}

RunResult RunMorlexProcess(const std::wstring& commandLine, const Start& start) {
  EnsureListener();
  PumpMessages();
  ResetNotices();
  return FinishMorlex(StartMorlex(commandLine, start));
}

RunResult RunMorlex(const std::wstring& commandLine, DWORD exitCode, Start start) {
  const bool rejected = exitCode == 1;
  const bool unseen = start.hiddenStation || start.otherDesktop;
  const bool box = rejected && !unseen;
  RunResult run = RunMorlexProcess(commandLine, start);
  EXPECT_EQ(run.exitCode, exitCode) << commandLine;
  EXPECT_EQ(run.notices, rejected || unseen ? 0 : 1) << commandLine;
  EXPECT_EQ(run.boxes.size(), box ? 1U : 0U) << commandLine;
  for (const Box& b : run.boxes) {
    EXPECT_EQ(b.caption, WideFromWtf8(kUsageCaption)) << commandLine;
    EXPECT_EQ(b.text, WideFromWtf8(kUsageText)) << commandLine;
  }
  if (unseen || start.readAfterEnd) {
    EXPECT_LT(run.ms, 5000U) << commandLine << ": nobody answers there, so nothing may wait";
  }
  if (!start.errorPipe)
    return run;
  const bool whole = !start.readAfterEnd || start.pipeSize == 0 || start.pipeSize >= 1024;
  const std::string& said = run.standardError;
  if (rejected && !box) {
    const std::string usage = kUsageText + "\r\n"s;
    EXPECT_EQ(said, whole ? usage : usage.substr(0, said.size())) << commandLine;
  } else if (exitCode == 3 || exitCode == 4) {
    EXPECT_EQ(said.substr(0, 8), "Morlex: "s.substr(0, said.size())) << commandLine << ": " << said;
    EXPECT_LE(said.size(), 1024U) << commandLine;
    if (whole) {
      EXPECT_EQ(said.find('\n'), said.size() - 1) << commandLine << ": one line, not " << said;
      EXPECT_EQ(said.find('\r'), said.size() - 2) << commandLine << ": " << said;
    }
  } else {
    EXPECT_EQ(said, "") << commandLine;
  }
  return run;
}

void RunRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const SavedValue guard(row.system, row.name);
    StoreValue(row.system, row.name, row.before);
    {
      const KeyDacl dacl(row.system, row.dacl);
      RunMorlex(row.line, row.exitCode, row.start);
    }
    EXPECT_EQ(ReadValue(row.system, row.name), row.after);
  }
}
