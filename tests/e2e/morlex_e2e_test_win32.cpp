// Runs the real Morlex.exe as a child process with an exact UTF-16 command
// line, then reads the registry back with the wide calls and compares UTF-16
// units and types, counts the change notices a hidden top-level window
// received, and reads and answers the usage box.

#include <gtest/gtest.h>
#include <windows.h>
// sddl.h needs what windows.h declares.
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cmdline/unattended.h"
#include "cmdline/usage_text.h"
#include "envstore/scope_lock.h"
#include "tests/e2e/receivers.h"
#include "text/wide_text.h"

namespace {

using namespace std::string_literals;

constexpr const wchar_t* kUserKey = L"Environment";
constexpr const wchar_t* kSystemKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const std::wstring kVar = L"MORLEX_E2E";

// ---------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------
// The registry, read and written raw.

struct RawValue {
  DWORD type = 0;
  std::string bytes;
  bool operator==(const RawValue&) const = default;
};

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
  return std::string(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t));
}
RawValue Sz(const std::wstring& text, DWORD type = REG_SZ) { return {type, Bytes(text + L'\0')}; }
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
  ASSERT_EQ(RegOpenKeyExW(Root(system), Subkey(system), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  if (value)
    RegSetValueExW(key, name.c_str(), 0, value->type,
                   reinterpret_cast<const BYTE*>(value->bytes.data()),
                   static_cast<DWORD>(value->bytes.size()));
  else
    RegDeleteValueW(key, name.c_str());
  RegCloseKey(key);
}

// Gives the scope's key the DACL sddl for the life of the object (nothing
// when sddl is null), then puts the old DACL back.
struct KeyDacl {
  HKEY key = nullptr;
  std::vector<char> saved;
  KeyDacl(bool system, const wchar_t* sddl) {
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
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved.resize(size);
    EXPECT_EQ(RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.data(), &size),
              ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    LocalFree(sd);
  }
  ~KeyDacl() {
    if (!key)
      return;
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.data()), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  KeyDacl(const KeyDacl&) = delete;
  KeyDacl& operator=(const KeyDacl&) = delete;
};

// Reading only, and reading and setting values only.
constexpr const wchar_t* kReadOnly = L"D:P(A;;KR;;;WD)";
constexpr const wchar_t* kReadAndSetValues = L"D:P(A;;0x2001b;;;WD)";

// ---------------------------------------------------------------------------
// Running Morlex.

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

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::wstring OwnDirectory() {
  wchar_t buffer[MAX_PATH];
  const std::wstring path(buffer, GetModuleFileNameW(nullptr, buffer, MAX_PATH));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

struct Box {
  std::wstring caption;
  std::wstring text;
};

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

struct RunResult {
  DWORD exitCode = STILL_ACTIVE;
  int notices = 0;
  std::vector<Box> boxes;
  std::string standardError;  // what Morlex wrote there, when it was given a pipe
  ULONGLONG ms = 0;           // from its start to its end
};

constexpr DWORD kRunTimeoutMs = 30000;

std::wstring MorlexPath() { return OwnDirectory() + L"Morlex.exe"; }

// The command line that starts Morlex: its quoted path, then tail exactly.
std::wstring Cmd(const std::wstring& tail) { return L"\"" + MorlexPath() + L"\"" + tail; }

// How Morlex is started: on a window station nobody sees (a service's, or a
// deployment agent's), or on a desktop of the visible one that is not the
// input desktop; with a pipe as its standard error or with none, of a given
// size (0: the system's default), read while it runs or only after its end,
// as the simplest callers do; a named pipe whose end Morlex gets was made for
// overlapped I/O, as some process libraries make it.
struct Start {
  bool hiddenStation = false;
  bool errorPipe = true;
  bool otherDesktop = false;
  DWORD pipeSize = 1 << 16;
  bool readAfterEnd = false;
  bool overlappedPipe = false;             // Morlex's end made with FILE_FLAG_OVERLAPPED
  const wchar_t* program = L"Morlex.exe";  // beside this test program
};

// The desktop of a window station that is not visible, made once per run.
wchar_t* HiddenDesktop() {
  static wchar_t name[] = L"MorlexE2EHidden\\Default";
  static const bool made = [] {
    HWINSTA station = CreateWindowStationW(L"MorlexE2EHidden", 0, WINSTA_ALL_ACCESS, nullptr);
    HWINSTA own = GetProcessWindowStation();
    if (!station || !SetProcessWindowStation(station))
      return false;
    const HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    return desktop != nullptr;
  }();
  EXPECT_TRUE(made) << "cannot make a hidden window station: error " << GetLastError();
  return name;
}

// A second desktop of the visible window station, made once per run.
wchar_t* OtherDesktop() {
  static wchar_t name[] = L"WinSta0\\MorlexE2EOther";
  static const HDESK desktop =
      CreateDesktopW(L"MorlexE2EOther", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  EXPECT_NE(desktop, nullptr) << "cannot make a second desktop: error " << GetLastError();
  return name;
}

struct Child {
  PROCESS_INFORMATION pi = {};
  HANDLE errorPipe = nullptr;  // the reading end
  bool readAfterEnd = false;
  ULONGLONG started = 0;
};

// Starts Morlex.exe with exactly this command line; null handles when it
// cannot be started.
Child StartMorlex(std::wstring commandLine, Start start = {}) {
  EnsureListener();
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
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &si, &child.pi))
    ADD_FAILURE() << "cannot start " << exe << ": error " << GetLastError();
  if (write)
    CloseHandle(write);
  return child;
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

// Waits for a started Morlex to end, pumping messages and answering any box
// it shows with OK. Notices are counted from the last reset of g_notices.
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
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (child.errorPipe) {
    Drain(child.errorPipe, run.standardError);
    CloseHandle(child.errorPipe);
  }
  run.notices = g_notices;
  return run;
}

RunResult RunMorlexProcess(const std::wstring& commandLine, Start start = {}) {
  EnsureListener();
  PumpMessages();
  g_notices = 0;
  return FinishMorlex(StartMorlex(commandLine, start));
}

// Checks what every run must show. A rejected command line (exit code 1)
// shows the usage box once where it can be seen, and otherwise writes the
// usage text to standard error at once; it sends no notice. Any other run
// shows no box and sends one notice, whatever its exit code, which reaches
// the windows of its own desktop only. On standard error, exit code 3 gives
// one line that says why, and 0 gives nothing.
//
// Nothing waits where nobody is: on a desktop nobody sees, or for a reader
// that reads only after the end. A pipe too small for what Morlex says holds
// the beginning of it.
RunResult RunMorlex(const std::wstring& commandLine, DWORD exitCode, Start start = {}) {
  const bool rejected = exitCode == 1;
  const bool unseen = start.hiddenStation || start.otherDesktop;
  const bool box = rejected && !unseen;
  const RunResult run = RunMorlexProcess(commandLine, start);
  EXPECT_EQ(run.exitCode, exitCode) << commandLine;
  EXPECT_EQ(run.notices, rejected || unseen ? 0 : 1) << commandLine;
  EXPECT_EQ(run.boxes.size(), box ? 1u : 0u) << commandLine;
  for (const Box& b : run.boxes) {
    EXPECT_EQ(b.caption, WideFromWtf8(kUsageCaption)) << commandLine;
    EXPECT_EQ(b.text, WideFromWtf8(kUsageText)) << commandLine;
  }
  if (unseen || start.readAfterEnd) {
    EXPECT_LT(run.ms, 5000u) << commandLine << ": nobody answers there, so nothing may wait";
  }
  if (!start.errorPipe)
    return run;
  const bool whole = !start.readAfterEnd || start.pipeSize == 0 || start.pipeSize >= 1024;
  const std::string& said = run.standardError;
  if (rejected && !box) {
    const std::string usage = kUsageText + "\r\n"s;
    EXPECT_EQ(said, whole ? usage : usage.substr(0, said.size())) << commandLine;
  } else if (exitCode == 3) {
    EXPECT_EQ(said.substr(0, 8), "Morlex: "s.substr(0, said.size())) << commandLine << ": " << said;
    EXPECT_LE(said.size(), 1024u) << commandLine;
    if (whole) {
      EXPECT_EQ(said.find('\n'), said.size() - 1) << commandLine << ": one line, not " << said;
      EXPECT_EQ(said.find('\r'), said.size() - 2) << commandLine << ": " << said;
    }
  } else {
    EXPECT_EQ(said, "") << commandLine;
  }
  return run;
}

// Saves a value on construction and puts it back on destruction.
struct SavedValue {
  bool system;
  std::wstring name;
  std::optional<RawValue> saved;
  SavedValue(bool s, std::wstring n) : system(s), name(std::move(n)), saved(ReadValue(s, name)) {}
  ~SavedValue() { StoreValue(system, name, saved); }
};

// ---------------------------------------------------------------------------
// One row per command line.

struct Row {
  std::wstring commandLine;
  bool system;  // the scope whose value is checked
  std::wstring name;
  std::optional<RawValue> before;  // nothing: not stored
  std::optional<RawValue> after;   // nothing: not stored
  DWORD exitCode = 0;              // 1: the usage box
  const wchar_t* dacl = nullptr;   // the key's DACL during the run, as SDDL
  Start start = {};
};

void RunRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.commandLine);
    const SavedValue guard(row.system, row.name);
    StoreValue(row.system, row.name, row.before);
    {
      const KeyDacl dacl(row.system, row.dacl);
      RunMorlex(row.commandLine, row.exitCode, row.start);
    }
    EXPECT_EQ(ReadValue(row.system, row.name), row.after);
  }
}

const std::optional<RawValue> kAbsent;

TEST(Morlex, RejectedCommandLinesShowTheUsageAndChangeNothing) {
  const std::optional<RawValue> set = Sz(L"keep");
  std::vector<Row> rows;
  for (const wchar_t* line :
       {L"", L" ", L"\t", L" -s MORLEX_E2E hello", L" /? MORLEX_E2E", L" /x MORLEX_E2E v",
        L" /sa MORLEX_E2E v", L" MORLEX_E2E /a x", L" MORLEX_E2E /r x", L" a b c",
        L" MORLEX_E2E \"/opt\"", L" MORLEX_E2E /opt", L" MORLEX_E2E v w", L" /s", L" /s /a",
        L" MORLEX_E2E \uFF02a b\uFF02"})  // fullwidth quotes group nothing
    rows.push_back({Cmd(line), false, kVar, set, set, 1});
  // A quoted program name that is never closed leaves no tail.
  rows.push_back({L"\"Morlex.exe MORLEX_E2E v", false, kVar, set, set, 1});
  for (const wchar_t* line : {L" Path", L" /r Path", L" /a Path", L" /a /r Path x", L" /s PATH"})
    rows.push_back({Cmd(line), false, L"Path", set, set, 1});
  // On a window station nobody sees: no box, and at once.
  rows.push_back({Cmd(L" /x MORLEX_E2E v"), false, kVar, set, set, 1, nullptr, {true, true}});
  rows.push_back({Cmd(L" /x MORLEX_E2E v"), false, kVar, set, set, 1, nullptr, {true, false}});
  // A pipe that holds almost nothing, read only after the end.
  rows.push_back({Cmd(L" /x MORLEX_E2E v"),
                  false,
                  kVar,
                  set,
                  set,
                  1,
                  nullptr,
                  {.hiddenStation = true, .pipeSize = 1, .readAfterEnd = true}});
  // A standard error made for overlapped I/O, read only after the end.
  rows.push_back({Cmd(L" /x MORLEX_E2E v"),
                  false,
                  kVar,
                  set,
                  set,
                  1,
                  nullptr,
                  {.hiddenStation = true, .readAfterEnd = true, .overlappedPipe = true}});
  // On a desktop of the visible station that is not the input desktop.
  rows.push_back(
      {Cmd(L" /x MORLEX_E2E v"), false, kVar, set, set, 1, nullptr, {.otherDesktop = true}});
  RunRows(rows);
}

TEST(Morlex, SetsAndDeletesInBothScopes) {
  const std::optional<RawValue> old = Sz(L"old");
  const std::wstring tanaka = L"C:\\Users\\\u7530\u4E2D\\bin";
  const std::wstring name = L"MORLEX_E2E_\u00C9\u7530";
  RunRows({
      {Cmd(L" MORLEX_E2E hello"), false, kVar, kAbsent, ExpandSz(L"hello")},
      {Cmd(L" MORLEX_E2E hello"), false, kVar, old, ExpandSz(L"hello")},
      {Cmd(L"MORLEX_E2E tight"), false, kVar, old, ExpandSz(L"tight")},
      {L"Morlex.exe \t MORLEX_E2E unquoted", false, kVar, old, ExpandSz(L"unquoted")},
      {Cmd(L" MORLEX_E2E"), false, kVar, old, kAbsent},
      {Cmd(L" MORLEX_E2E"), false, kVar, kAbsent, kAbsent},
      {Cmd(L" MORLEX_E2E \"\""), false, kVar, old, ExpandSz(L"")},
      {Cmd(L" MORLEX_E2E \""), false, kVar, old, ExpandSz(L"\"")},
      {Cmd(L" /s MORLEX_E2E hello"), true, kVar, kAbsent, ExpandSz(L"hello")},
      {Cmd(L" /S MORLEX_E2E hello"), true, kVar, old, ExpandSz(L"hello")},
      {Cmd(L" MORLEX_E2E hello /s"), true, kVar, old, ExpandSz(L"hello")},
      {Cmd(L" \"/s\" MORLEX_E2E hello"), true, kVar, old, ExpandSz(L"hello")},
      {Cmd(L" /s MORLEX_E2E"), true, kVar, old, kAbsent},
      {Cmd(L" /s /s MORLEX_E2E v"), false, kVar, old, old},  // the user scope is left alone
      {Cmd(L" MORLEX_E2E v"), true, kVar, old, old},         // and so is the system scope
      {Cmd(L" MORLEX_E2E \"%USERPROFILE%\\bin;C:\\Program Files\\x\""), false, kVar, kAbsent,
       ExpandSz(L"%USERPROFILE%\\bin;C:\\Program Files\\x")},
      {Cmd(L" MORLEX_E2E \"a \t b\""), false, kVar, kAbsent, ExpandSz(L"a \t b")},
      {Cmd(L" MORLEX_E2E caf\xE9\xA0x"), false, kVar, kAbsent, ExpandSz(L"caf\xE9\xA0x")},
      {Cmd(L" \"\" x"), false, L"", kAbsent, ExpandSz(L"x")},  // the key's unnamed value
      {Cmd(L" Path C:\\Windows"), false, L"Path", Sz(L"C:\\A;C:\\B"), ExpandSz(L"C:\\Windows")},
      // Text beyond the ANSI code page, in values and names, in both scopes.
      {Cmd(L" MORLEX_E2E " + tanaka), false, kVar, old, ExpandSz(tanaka)},
      {Cmd(L" /s MORLEX_E2E " + tanaka), true, kVar, kAbsent, ExpandSz(tanaka)},
      {Cmd(L" MORLEX_E2E C:\\Users\\\u0141ukasz"), false, kVar, kAbsent,
       ExpandSz(L"C:\\Users\\\u0141ukasz")},
      {Cmd(L" MORLEX_E2E \"\U0001F600 \xD800x\xDC00\""), false, kVar, kAbsent,
       ExpandSz(L"\U0001F600 \xD800x\xDC00")},  // unpaired surrogates too
      {Cmd(L" " + name + L" \u7530"), false, name, kAbsent, ExpandSz(L"\u7530")},
      {Cmd(L" /s " + name + L" \u7530"), true, name, kAbsent, ExpandSz(L"\u7530")},
      {Cmd(L" " + name), false, name, old, kAbsent},
      {Cmd(L" /s " + name), true, name, old, kAbsent},
      // Look-alikes stay literal: a fullwidth solidus is no switch.
      {Cmd(L" MORLEX_E2E \xFF0Fs"), false, kVar, old, ExpandSz(L"\xFF0Fs")},
      {Cmd(L" MORLEX_E2E \xFF0Fs"), true, kVar, old, old},
      {Cmd(L" \xFF0Fs MORLEX_E2E"), false, L"\xFF0Fs", kAbsent, ExpandSz(L"MORLEX_E2E")},
      {Cmd(L" MORLEX_E2E \u3000x"), false, kVar, kAbsent, ExpandSz(L"\u3000x")},
      // Where nobody sees the desktop, an accepted command works as anywhere.
      {Cmd(L" MORLEX_E2E unseen"), false, kVar, old, ExpandSz(L"unseen"), 0, nullptr, {true, true}},
      {Cmd(L" MORLEX_E2E elsewhere"),
       false,
       kVar,
       old,
       ExpandSz(L"elsewhere"),
       0,
       nullptr,
       {.otherDesktop = true}},
      // A name the registry refuses, too long for a pipe of the default size
      // that is read only after the end.
      {Cmd(L" " + std::wstring(20000, L'N') + L" v"),
       false,
       std::wstring(20000, L'N'),
       kAbsent,
       kAbsent,
       3,
       nullptr,
       {.pipeSize = 0, .readAfterEnd = true}},
  });
}

// Deletes the user's Environment key for the life of the object, then puts it
// back with its values.
struct MissingUserKey {
  std::vector<std::pair<std::wstring, RawValue>> values;
  MissingUserKey() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameSize = 16384;
        if (RegEnumValueW(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
          break;
        values.emplace_back(name, *ReadValue(false, name));
      }
      RegCloseKey(key);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kUserKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kUserKey);
  }
  ~MissingUserKey() {
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegCloseKey(key);
    for (const auto& [name, value] : values)
      StoreValue(false, name, value);
  }
};

bool UserKeyExists() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

TEST(Morlex, AMissingKeyIsNotCreatedAndTheNoticeStillGoesOut) {
  const MissingUserKey missing;
  ASSERT_FALSE(UserKeyExists());
  // What cannot be written exits 3; a delete or removal is done already.
  const std::pair<const wchar_t*, DWORD> rows[] = {
      {L" MORLEX_E2E hello", 3},
      {L" MORLEX_E2E", 0},
      {L" /a Path C:\\Tools", 3},
      {L" /r Path C:\\Tools", 0},
  };
  for (const auto& [line, exitCode] : rows) {
    RunMorlex(Cmd(line), exitCode);
    EXPECT_FALSE(UserKeyExists()) << line;
  }
}

TEST(Morlex, AddsAndRemovesPathEntries) {
  const std::wstring sys = L"C:\\windows\\system32;C:\\windows";
  const std::wstring wide = L"C:\\\xD800x;C:\\\u7530\u4E2D;%SystemRoot%;C:\\\xDC00";
  const std::optional<RawValue> multi = RawValue{REG_MULTI_SZ, Bytes(L"C:\\A\0C:\\B\0\0"s)};
  const std::optional<RawValue> dword = RawValue{REG_DWORD, "\x2A\0\0\0"s};
  const std::optional<RawValue> afterNul = RawValue{REG_EXPAND_SZ, Bytes(L"\0C:\\A;C:\\B\0"s)};
  const std::optional<RawValue> twoTexts = RawValue{REG_SZ, Bytes(L"C:\\A\0C:\\B\0"s)};
  const std::optional<RawValue> halfUnit = RawValue{REG_SZ, Bytes(L"C:\\A\0"s) + "x"};
  RunRows({
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", Sz(L"C:\\Windows"),
       ExpandSz(L"C:\\Windows;C:\\Tools")},
      {Cmd(L" /a PATH C:\\Tools"), false, L"Path", Sz(L"C:\\Windows;"),
       ExpandSz(L"C:\\Windows;C:\\Tools")},
      // Already there: the same text, rewritten as REG_EXPAND_SZ.
      {Cmd(L" /a Path c:\\tools"), false, L"Path", Sz(L"C:\\Windows;C:\\TOOLS"),
       ExpandSz(L"C:\\Windows;C:\\TOOLS")},
      {Cmd(L" /a Path \"C:\\Program Files\\Tool\""), false, L"Path",
       ExpandSz(L"%SystemRoot%;C:\\A"), ExpandSz(L"%SystemRoot%;C:\\A;C:\\Program Files\\Tool")},
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", kAbsent, ExpandSz(L"C:\\Tools")},
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", Sz(L""), ExpandSz(L"C:\\Tools")},
      {Cmd(L" /a Path C:\\B"), false, L"Path", RawValue{REG_SZ, Bytes(L"C:\\A")},  // no terminator
       ExpandSz(L"C:\\A;C:\\B")},
      {Cmd(L" /a Path C:\\B"), false, L"Path", RawValue{REG_SZ, Bytes(L"C:\\A\0\0\0"s)},
       ExpandSz(L"C:\\A;C:\\B")},  // NUL padding is no data
      {Cmd(L" /r Path c:\\a"), false, L"Path", Sz(L"C:\\A;;C:\\B;"), ExpandSz(L"C:\\B")},
      {Cmd(L" /r Path C:\\X"), false, L"Path", Sz(L"C:\\A;;C:\\B"), ExpandSz(L"C:\\A;;C:\\B")},
      {Cmd(L" /r Path C:\\A"), false, L"Path", Sz(L"C:\\A;c:\\a"), ExpandSz(L"")},
      {Cmd(L" /r Path C:\\Tools"), false, L"Path", kAbsent, kAbsent},
      {Cmd(L" /s /a Path C:\\MorlexTest"), true, L"Path", ExpandSz(sys),
       ExpandSz(sys + L";C:\\MorlexTest")},
      {Cmd(L" /r /s Path c:\\morlextest"), true, L"Path", ExpandSz(sys + L";C:\\MorlexTest"),
       ExpandSz(sys)},
      // Every unit is kept: unpaired surrogates, text beyond the ANSI code
      // page, and a fullwidth semicolon that separates nothing.
      {Cmd(L" /a Path C:\\\u0141ukasz"), false, L"Path", Sz(wide),
       ExpandSz(wide + L";C:\\\u0141ukasz")},
      {Cmd(L" /r Path C:\\\u7530\u4E2D"), false, L"Path", Sz(wide),
       ExpandSz(L"C:\\\xD800x;%SystemRoot%;C:\\\xDC00")},
      {Cmd(L" /r /s Path c:\\\xDC00"), true, L"Path", ExpandSz(wide),
       ExpandSz(L"C:\\\xD800x;C:\\\u7530\u4E2D;%SystemRoot%")},
      {Cmd(L" /a Path C:\\\xD800X"), false, L"Path", ExpandSz(wide), ExpandSz(wide)},
      {Cmd(L" /r Path C:\\B"), false, L"Path", Sz(L"C:\\\x2603;C:\\B"), ExpandSz(L"C:\\\x2603")},
      {Cmd(L" /a Path C:\\a\uFF1BC:\\b"), false, L"Path", Sz(L"C:\\a"),
       ExpandSz(L"C:\\a;C:\\a\uFF1BC:\\b")},
      // A Path that a rewrite would not keep whole is left as it is.
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", multi, multi, 3},
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", dword, dword, 3},
      {Cmd(L" /r Path C:\\B"), false, L"Path", afterNul, afterNul, 3},
      {Cmd(L" /r Path C:\\A"), false, L"Path", twoTexts, twoTexts, 3},
      {Cmd(L" /a Path C:\\Tools"), false, L"Path", halfUnit, halfUnit, 3},
      {Cmd(L" /s /r Path C:\\A"), true, L"Path", multi, multi, 3},
      {Cmd(L" /a Path " + std::wstring(30000, L'x')),
       false,
       L"Path",
       multi,
       multi,
       3,
       nullptr,
       {.pipeSize = 0, .readAfterEnd = true}},
  });
}

TEST(Morlex, RespectsTheRightsTheKeyGrants) {
  const std::optional<RawValue> old = Sz(L"old");
  const std::optional<RawValue> list = ExpandSz(L"C:\\A");
  RunRows({
      // A key that may only be read: what would change it exits 3.
      {Cmd(L" MORLEX_E2E hello"), false, kVar, old, old, 3, kReadOnly},
      {Cmd(L" MORLEX_E2E hello"), false, kVar, kAbsent, kAbsent, 3, kReadOnly},
      {Cmd(L" MORLEX_E2E"), false, kVar, old, old, 3, kReadOnly},
      {Cmd(L" /a Path C:\\New"), false, L"Path", list, list, 3, kReadOnly},
      {Cmd(L" /r Path C:\\A"), false, L"Path", list, list, 3, kReadOnly},
      {Cmd(L" /s MORLEX_E2E hello"), true, kVar, old, old, 3, kReadOnly},
      {Cmd(L" MORLEX_E2E hello"),
       false,
       kVar,
       old,
       old,
       3,
       kReadOnly,
       {.pipeSize = 1, .readAfterEnd = true}},
      // A standard error made for overlapped I/O, read as the run goes and
      // only after its end.
      {Cmd(L" MORLEX_E2E hello"), false, kVar, old, old, 3, kReadOnly, {.overlappedPipe = true}},
      {Cmd(L" MORLEX_E2E hello"),
       false,
       kVar,
       old,
       old,
       3,
       kReadOnly,
       {.pipeSize = 1, .readAfterEnd = true, .overlappedPipe = true}},
      // What is already as asked needs no write.
      {Cmd(L" MORLEX_E2E"), false, kVar, kAbsent, kAbsent, 0, kReadOnly},
      {Cmd(L" /a Path c:\\a"), false, L"Path", list, list, 0, kReadOnly},
      {Cmd(L" /r Path C:\\New"), false, L"Path", list, list, 0, kReadOnly},
      // Reading and setting values is all a change needs.
      {Cmd(L" MORLEX_E2E hello"), false, kVar, old, ExpandSz(L"hello"), 0, kReadAndSetValues},
      {Cmd(L" MORLEX_E2E"), false, kVar, old, kAbsent, 0, kReadAndSetValues},
      {Cmd(L" /a Path C:\\New"), false, L"Path", list, ExpandSz(L"C:\\A;C:\\New"), 0,
       kReadAndSetValues},
      {Cmd(L" /s /r Path C:\\A"), true, L"Path", list, ExpandSz(L""), 0, kReadAndSetValues},
  });
}

TEST(Morlex, KeepsEveryByteOfALongPath) {
  for (const std::size_t length : {32u * 1024u, 100u * 1024u}) {
    std::wstring list;
    for (int i = 0; list.size() < length; ++i)
      list += L"C:\\Program Files\\Tool " + std::to_wstring(i) + L"\\bin;";
    list += L"%SystemRoot%";
    const std::wstring middle = L";C:\\Program Files\\Tool 7\\bin;";
    std::wstring withoutMiddle = list;
    withoutMiddle.replace(withoutMiddle.find(middle), middle.size(), L";");
    RunRows({
        {Cmd(L" /a Path D:\\New"), false, L"Path", ExpandSz(list), ExpandSz(list + L";D:\\New")},
        {Cmd(L" /r Path D:\\New"), false, L"Path", ExpandSz(list + L";D:\\New"), ExpandSz(list)},
        {Cmd(L" /r Path \"c:\\program files\\tool 7\\BIN\""), false, L"Path", Sz(list),
         ExpandSz(withoutMiddle)},
        {Cmd(L" /a Path \"C:\\Program Files\\Tool 3\\bin\""), false, L"Path", Sz(list),
         ExpandSz(list)},
    });
  }
}

// ---------------------------------------------------------------------------
// A double-byte ANSI code page (932), where Morlex once folded the second
// byte of a character as if it were an ASCII letter. Run with the code page
// set: this test is its own CTest entry.

// Characters whose forms in the code page differ only in the case of a
// second byte that is an ASCII letter: an upper-case one, then its twin.
std::vector<std::pair<wchar_t, wchar_t>> CaseTwins(UINT codePage, std::size_t count) {
  std::vector<std::pair<wchar_t, wchar_t>> twins;
  for (wchar_t c = 0x3000; c < 0xD800 && twins.size() < count; ++c) {
    char bytes[4] = {};
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &c, 1, bytes, 4, nullptr,
                            &usedDefault) != 2 ||
        usedDefault || bytes[1] < 'A' || bytes[1] > 'Z')
      continue;
    bytes[1] = static_cast<char>(bytes[1] + ('a' - 'A'));
    wchar_t twin = 0;
    char back[4] = {};
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, 2, &twin, 1) == 1 &&
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &twin, 1, back, 4, nullptr,
                            &usedDefault) == 2 &&
        !usedDefault && std::memcmp(back, bytes, 2) == 0)
      twins.emplace_back(c, twin);
  }
  return twins;
}

TEST(DoubleByteCodePage, LettersInSecondBytesStayApart) {
  ASSERT_EQ(GetACP(), 932u) << "run with LC_ALL=ja_JP.UTF-8";
  const std::vector<std::pair<wchar_t, wchar_t>> twins = CaseTwins(932, 3);
  ASSERT_EQ(twins.size(), 3u);
  std::wstring upper = L"C:\\";
  std::wstring lower = L"C:\\";
  for (const auto& [u, l] : twins) {
    upper += u;
    lower += l;
  }
  RunRows({
      {Cmd(L" /r Path " + upper), false, L"Path", Sz(lower + L";C:\\B"),
       ExpandSz(lower + L";C:\\B")},
      {Cmd(L" /a Path " + upper), false, L"Path", Sz(lower), ExpandSz(lower + L";" + upper)},
      {Cmd(L" /r Path " + lower), false, L"Path", Sz(upper + L";" + lower), ExpandSz(upper)},
      {Cmd(L" /s /a Path " + lower), true, L"Path", Sz(upper), ExpandSz(upper + L";" + lower)},
      {Cmd(L" MORLEX_E2E " + lower), false, kVar, kAbsent, ExpandSz(lower)},
  });
}
// The executable's manifest and version resource.

TEST(MorlexExecutable, EmbedsItsManifest) {
  HMODULE module = LoadLibraryExW(MorlexPath().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
  FreeLibrary(module);
  for (const char* part : {
           "level=\"asInvoker\"",
           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
           ">PerMonitorV2, PerMonitor<",
           ">true/pm<",
       })
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
}

std::wstring VersionString(const std::vector<char>& info, const wchar_t* field) {
  wchar_t* text = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + field;
  if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) ||
      length == 0)
    return {};
  return std::wstring(text, wcsnlen(text, length));
}

TEST(MorlexExecutable, CarriesItsVersion) {
  const std::wstring exe = MorlexPath();
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
  EXPECT_EQ(VersionString(info, L"ProductName"), L"Morlex");
  EXPECT_EQ(VersionString(info, L"FileVersion"), L"" MORLEX_VERSION);
  EXPECT_EQ(VersionString(info, L"ProductVersion"), L"" MORLEX_VERSION);
  EXPECT_NE(VersionString(info, L"FileDescription"), L"");
  EXPECT_EQ(VersionString(info, L"LegalCopyright").rfind(L"Copyright", 0), 0u);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, MORLEX_VERSION);
}

// ---------------------------------------------------------------------------
// A crash or an abort after the start-up settings asks nobody: the process
// ends at once, with no box and no crash dialog, and a failing exit code.

TEST(MorlexStartUp, AFaultAsksNobody) {
  // A pipe that holds one byte, read only after the end: the runtime's own
  // message, if any, may not hold the run.
  const Start unread = {.pipeSize = 1, .readAfterEnd = true, .program = L"morlex_fault.exe"};
  const struct {
    const wchar_t* fault;
    DWORD exitCode;
    Start start;
  } rows[] = {
      {L"abort", kAbortExitCode, {.program = L"morlex_fault.exe"}},
      {L"terminate", kAbortExitCode, {.program = L"morlex_fault.exe"}},
      {L"fault", 0xC0000005, {.program = L"morlex_fault.exe"}},
      {L"abort", kAbortExitCode, unread},
      {L"terminate", kAbortExitCode, unread},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Wtf8FromWide(row.fault) + (row.start.readAfterEnd ? ", unread pipe" : ""));
    const RunResult run =
        RunMorlexProcess(L"morlex_fault.exe " + std::wstring(row.fault), row.start);
    EXPECT_EQ(run.exitCode, row.exitCode);
    EXPECT_EQ(run.boxes.size(), 0u);
    EXPECT_LT(run.ms, 5000u);
  }
}

// ---------------------------------------------------------------------------
// Slow receivers of the notice: top-level windows on threads of their own
// that take their time to answer it.

// A run waits about as long as the slowest thread, not as long as all of
// them together, and never much past the notice's 5 s however many slow
// windows a thread owns; windows of responsive threads beside them are told
// once before the end. Where everything fits in the time, each slow window
// is told once too. The bounds are wide: Wine sometimes lets a send wait for
// a handler that has begun.
TEST(MorlexNotice, SlowReceiversAreWaitedForSideBySide) {
  const struct {
    ReceiverShape slow;
    ULONGLONG mostMs;
    bool allTold;
  } rows[] = {
      {{4, 1, 1500}, 3000, true},             // 6 s one after another
      {{1, 2, 1000}, kRunTimeoutMs, true},    // one thread's windows in turn, neither cut short
      {{3, 1, 6000}, 7500, false},            // past the 5 s timeout: about one timeout, not three
      {{1, 5, 2000}, 7500, false},            // one thread's windows: one timeout, not two
      {{2, 3, 8000, true}, 7500, false},      // a slow first window holds up its thread's others
      {{2, 2, 0, false, 8000}, 7500, false},  // threads that pump nothing
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.slow.threads) + " threads x " +
                 std::to_string(row.slow.windowsPerThread) + " windows, " +
                 std::to_string(row.slow.delayMs) + " ms, busy " + std::to_string(row.slow.busyMs) +
                 " ms");
    const SavedValue guard(false, kVar);
    const Receivers responsive({3, 2, 0});
    const Receivers receivers(row.slow);
    ASSERT_EQ(receivers.threads.size(), static_cast<std::size_t>(row.slow.threads));
    const RunResult run = RunMorlex(Cmd(L" MORLEX_E2E v"), 0);
    EXPECT_LT(run.ms, row.mostMs);
    for (const auto& thread : responsive.threads) {
      for (const auto& window : thread->windows)
        EXPECT_EQ(window->notices, 1);
    }
    if (row.allTold) {
      EXPECT_EQ(receivers.Told(), receivers.Windows());
    }
  }
}

// ---------------------------------------------------------------------------
// Runs side by side: the scope lock.

void SleepPumping(DWORD ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  while (GetTickCount64() < until) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    PumpMessages();
  }
}

// The SID of the account the tests run as, as written.
std::string AccountSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return {};
  char user[512];
  DWORD size = 0;
  wchar_t* text = nullptr;
  std::string sid;
  if (GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) {
    sid = Wtf8FromWide(text);
    LocalFree(text);
  }
  CloseHandle(token);
  return sid;
}

std::wstring LockName(bool system) { return *WideFromWtf8(ScopeLockName(system, AccountSid())); }

// A mutex under name with the security in sddl (the default when it is
// empty), held by this thread when held.
HANDLE MakeMutex(const std::wstring& name, const std::wstring& sddl, bool held) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!sddl.empty()) {
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                     &sd, nullptr));
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
  HANDLE mutex = CreateMutexW(sd ? &attributes : nullptr, held, name.c_str());
  LocalFree(sd);
  return mutex;
}

// A lock held as its rightful holders make it: the account's own, and the
// system's by Administrators.
std::wstring RightfulSecurity(bool system) {
  return *WideFromWtf8(ScopeLockSecurity(system, AccountSid()));
}

// Every read and write of Path waits for the holder: the edits of /a, and a
// set. The holder is another run of the account, or of an administrator; a
// mutex that Wine keeps without an owner is waited for too.
TEST(MorlexLock, ARunWaitsForTheHolderAndLosesNothing) {
  const struct {
    bool system;
    const wchar_t* tail;
    std::wstring after;
    bool rightful;  // made with the security a run gives it; otherwise the default
  } rows[] = {
      {false, L" /a Path C:\\New", L"C:\\A;C:\\Holder;C:\\New", false},
      {true, L" /s /a Path C:\\New", L"C:\\A;C:\\Holder;C:\\New", false},
      {false, L" Path C:\\Set", L"C:\\Set", false},
      {true, L" /s PATH C:\\Set", L"C:\\Set", false},
      {false, L" /a Path C:\\New", L"C:\\A;C:\\Holder;C:\\New", true},
      {true, L" /s /r Path C:\\A", L"C:\\Holder", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Wtf8FromWide(row.tail) + (row.rightful ? " (rightful owner)" : ""));
    const SavedValue guard(row.system, L"Path");
    StoreValue(row.system, L"Path", ExpandSz(L"C:\\A"));
    HANDLE mutex =
        MakeMutex(LockName(row.system), row.rightful ? RightfulSecurity(row.system) : L"", false);
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);

    g_notices = 0;
    const Child child = StartMorlex(Cmd(row.tail));
    SleepPumping(1500);
    EXPECT_EQ(WaitForSingleObject(child.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(ReadValue(row.system, L"Path"), ExpandSz(L"C:\\A"));  // nothing written yet
    // The holder's own update, made while it holds the lock.
    StoreValue(row.system, L"Path", ExpandSz(L"C:\\A;C:\\Holder"));
    ReleaseMutex(mutex);

    const RunResult run = FinishMorlex(child);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.notices, 1);
    EXPECT_EQ(run.standardError, "");
    EXPECT_EQ(ReadValue(row.system, L"Path"), ExpandSz(row.after));
    CloseHandle(mutex);
  }
}

DWORD WINAPI TakeAndDie(LPVOID mutex) {
  *static_cast<HANDLE*>(mutex) = CreateMutexW(nullptr, FALSE, LockName(false).c_str());
  WaitForSingleObject(*static_cast<HANDLE*>(mutex), INFINITE);
  return 0;  // ends holding it: the mutex is abandoned
}

TEST(MorlexLock, AHolderThatEndedLeavesTheLockUsable) {
  const SavedValue guard(false, L"Path");
  StoreValue(false, L"Path", ExpandSz(L"C:\\A"));
  HANDLE mutex = nullptr;
  HANDLE thread = CreateThread(nullptr, 0, TakeAndDie, &mutex, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);

  const ULONGLONG start = GetTickCount64();
  RunMorlex(Cmd(L" /a Path C:\\New"), 0);
  // Well short of the wait for a live holder: the lock was taken, not waited out.
  EXPECT_LT(GetTickCount64() - start, kScopeLockWaitMs / 2);
  EXPECT_EQ(ReadValue(false, L"Path"), ExpandSz(L"C:\\A;C:\\New"));
  CloseHandle(mutex);
}

// What stands under the lock's name decides the run. A holder that may hold
// it and keeps it past the wait, or objects of another kind under both the
// shared and the session's name: the run changes nothing and says so. A lock
// squatted by an owner that may not hold it, held or shut to everyone, or an
// object of another kind under the shared name alone: the run takes the
// session's lock and goes on at once.
TEST(MorlexLock, ALockThatCannotBeHadChangesNothingAndASquattedOneCostsNothing) {
  enum class Under { HeldMutex, Events, SharedEvent };
  const std::wstring users = L"O:S-1-5-32-545";
  const std::wstring other = L"O:S-1-5-21-7-7-7-1234";
  const struct {
    bool system;
    Under under;
    std::wstring sddl;  // the held mutex's; empty: the default
    const wchar_t* tail;
    DWORD exitCode;
    const wchar_t* after;
  } rows[] = {
      {false, Under::HeldMutex, L"", L" /a Path C:\\New", 3, L"C:\\A"},
      {false, Under::HeldMutex, L"", L" Path C:\\Set", 3, L"C:\\A"},
      {false, Under::Events, L"", L" /a Path C:\\New", 3, L"C:\\A"},
      {false, Under::Events, L"", L" Path C:\\Set", 3, L"C:\\A"},
      {false, Under::SharedEvent, L"", L" /a Path C:\\New", 0, L"C:\\A;C:\\New"},
      {false, Under::HeldMutex, users + L"D:P(A;;GA;;;WD)", L" /a Path C:\\New", 0,
       L"C:\\A;C:\\New"},
      {false, Under::HeldMutex, other + L"D:P(A;;GA;;;WD)", L" Path C:\\Set", 0, L"C:\\Set"},
      {false, Under::HeldMutex, users + L"D:P", L" /r Path C:\\A", 0, L""},
      {true, Under::HeldMutex, users + L"D:P(A;;GA;;;WD)", L" /s /a Path C:\\New", 0,
       L"C:\\A;C:\\New"},
      {true, Under::HeldMutex, users + L"D:P", L" /s /a Path C:\\New", 0, L"C:\\A;C:\\New"},
      // The account itself may not hold the system's lock.
      {true, Under::HeldMutex, L"O:" + *WideFromWtf8(AccountSid()) + L"D:P(A;;GA;;;WD)",
       L" /s Path C:\\Set", 0, L"C:\\Set"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Wtf8FromWide(row.tail) + " under " + Wtf8FromWide(row.sddl) + " " +
                 std::to_string(static_cast<int>(row.under)));
    const SavedValue guard(row.system, L"Path");
    StoreValue(row.system, L"Path", ExpandSz(L"C:\\A"));
    const std::wstring shared = LockName(row.system);
    const std::wstring session = *WideFromWtf8(SessionLockName(Wtf8FromWide(shared)));
    std::vector<HANDLE> objects;
    if (row.under == Under::HeldMutex)
      objects.push_back(MakeMutex(shared, row.sddl, true));
    else
      objects.push_back(CreateEventW(nullptr, TRUE, FALSE, shared.c_str()));
    if (row.under == Under::Events)
      objects.push_back(CreateEventW(nullptr, TRUE, FALSE, session.c_str()));
    for (HANDLE object : objects)
      ASSERT_NE(object, nullptr);

    const RunResult run = RunMorlex(Cmd(row.tail), row.exitCode);
    if (row.exitCode == 3)
      EXPECT_NE(run.standardError.find("Morlex.Environment.User."), std::string::npos);
    else
      EXPECT_LT(run.ms, kScopeLockWaitMs / 2) << "a squatted lock is not waited for";
    EXPECT_EQ(ReadValue(row.system, L"Path"), ExpandSz(row.after));
    if (row.under == Under::HeldMutex)
      ReleaseMutex(objects.front());
    for (HANDLE object : objects)
      CloseHandle(object);
  }
}

std::vector<std::wstring> Entries(const std::wstring& list) {
  std::vector<std::wstring> entries;
  std::wstringstream in(list);
  for (std::wstring entry; std::getline(in, entry, L';');)
    entries.push_back(entry);
  std::sort(entries.begin(), entries.end());
  return entries;
}

TEST(MorlexLock, ThirtyTwoRunsTogetherLoseNothing) {
  constexpr int kRuns = 16;
  const SavedValue guard(false, L"Path");
  std::wstring list = L"C:\\Base";
  std::vector<std::wstring> expected = {L"C:\\Base"};
  for (int i = 0; i < kRuns; ++i) {
    list += L";C:\\R" + std::to_wstring(i);
    expected.push_back(L"C:\\A" + std::to_wstring(i));
  }
  std::sort(expected.begin(), expected.end());
  StoreValue(false, L"Path", ExpandSz(list));

  EnsureListener();
  PumpMessages();
  g_notices = 0;
  std::vector<Child> children;
  for (int i = 0; i < kRuns; ++i) {
    children.push_back(StartMorlex(Cmd(L" /a Path C:\\A" + std::to_wstring(i))));
    children.push_back(StartMorlex(Cmd(L" /r Path C:\\R" + std::to_wstring(i))));
  }
  for (const Child& child : children)
    EXPECT_EQ(FinishMorlex(child).exitCode, 0u);
  EXPECT_EQ(g_notices, 2 * kRuns);

  const std::optional<RawValue> after = ReadValue(false, L"Path");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->type, static_cast<DWORD>(REG_EXPAND_SZ));
  const std::wstring units = Units(*after);
  EXPECT_EQ(Entries(units.substr(0, units.find(L'\0'))), expected);
}

}  // namespace
