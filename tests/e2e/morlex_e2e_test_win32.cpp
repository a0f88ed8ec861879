// Runs the real Morlex.exe as a child process with exact command-line bytes,
// then reads the registry back and compares bytes and types, counts the
// change notices a hidden top-level window received, and reads and answers
// the usage box.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cmdline/usage_text.h"
#include "envstore/scope_lock.h"

namespace {

using namespace std::string_literals;

constexpr const char* kUserKey = "Environment";
constexpr const char* kSystemKey =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const char* kVar = "MORLEX_E2E";

// ---------------------------------------------------------------------------
// The registry, read and written raw.

struct RawValue {
  DWORD type = 0;
  std::string bytes;
  bool operator==(const RawValue&) const = default;
};

void PrintTo(const RawValue& v, std::ostream* os) {
  *os << "type " << v.type << ", " << v.bytes.size() << " bytes \""
      << (v.bytes.size() > 200 ? v.bytes.substr(0, 200) + "..." : v.bytes) << "\"";
}

RawValue Sz(const std::string& text, DWORD type = REG_SZ) { return {type, text + '\0'}; }
RawValue ExpandSz(const std::string& text) { return Sz(text, REG_EXPAND_SZ); }

HKEY Root(bool system) { return system ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }
const char* Subkey(bool system) { return system ? kSystemKey : kUserKey; }

std::optional<RawValue> ReadValue(bool system, const std::string& name) {
  HKEY key;
  if (RegOpenKeyExA(Root(system), Subkey(system), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  RawValue v;
  DWORD size = 0;
  std::optional<RawValue> result;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
    v.bytes.assign(size, '\0');
    if (RegQueryValueExA(key, name.c_str(), nullptr, &v.type,
                         reinterpret_cast<BYTE*>(v.bytes.data()), &size) == ERROR_SUCCESS) {
      v.bytes.resize(size);
      result = v;
    }
  }
  RegCloseKey(key);
  return result;
}

void StoreValue(bool system, const std::string& name, const std::optional<RawValue>& value) {
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(Root(system), Subkey(system), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  if (value)
    RegSetValueExA(key, name.c_str(), 0, value->type,
                   reinterpret_cast<const BYTE*>(value->bytes.data()),
                   static_cast<DWORD>(value->bytes.size()));
  else
    RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
}

void StoreWideValue(bool system, const std::string& name, const std::wstring& text) {
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(Root(system), Subkey(system), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const std::wstring wideName(name.begin(), name.end());
  RegSetValueExW(key, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

// ---------------------------------------------------------------------------
// Running Morlex.

int g_notices = 0;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTINGCHANGE && lParam &&
      std::strcmp(reinterpret_cast<const char*>(lParam), "Environment") == 0)
    ++g_notices;
  return DefWindowProcA(window, message, wParam, lParam);
}

// A hidden top-level window: broadcasts reach top-level windows only.
void EnsureListener() {
  static HWND window = [] {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ListenerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "MorlexE2EListener";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                           wc.hInstance, nullptr);
  }();
  ASSERT_NE(window, nullptr);
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

std::string Directory(const std::string& path) {
  return path.substr(0, path.find_last_of("\\/") + 1);
}

std::string OwnDirectory() {
  char buffer[MAX_PATH];
  GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return Directory(buffer);
}

struct Box {
  std::string caption;
  std::string text;
};

struct BoxSearch {
  DWORD processId;
  HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char cls[64] = {};
  GetClassNameA(window, cls, sizeof cls);
  if (owner == search->processId && std::strcmp(cls, "#32770") == 0 && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindText(HWND child, LPARAM param) {
  char cls[64] = {};
  GetClassNameA(child, cls, sizeof cls);
  char text[2048] = {};
  GetWindowTextA(child, text, sizeof text);
  if (_stricmp(cls, "Static") == 0 && text[0] != '\0') {
    *reinterpret_cast<std::string*>(param) = text;
    return FALSE;
  }
  return TRUE;
}

struct RunResult {
  DWORD exitCode = STILL_ACTIVE;
  int notices = 0;
  std::vector<Box> boxes;
};

constexpr DWORD kRunTimeoutMs = 30000;

std::string MorlexPath() { return OwnDirectory() + "Morlex.exe"; }

// The command line that starts Morlex: its quoted path, then tail exactly.
std::string Cmd(const std::string& tail) {
  std::string commandLine(1, '"');
  commandLine.append(MorlexPath()).append(1, '"').append(tail);
  return commandLine;
}

// Starts Morlex.exe with exactly this command line; null handles when it
// cannot be started.
PROCESS_INFORMATION StartMorlex(std::string commandLine) {
  EnsureListener();
  const std::string exe = MorlexPath();
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &si, &pi))
    ADD_FAILURE() << "cannot start " << exe << ": error " << GetLastError();
  return pi;
}

// Waits for a started Morlex to end, pumping messages and answering any box
// it shows with OK. Notices are counted from the last reset of g_notices.
RunResult FinishMorlex(const PROCESS_INFORMATION& pi) {
  RunResult run;
  if (!pi.hProcess)
    return run;
  const ULONGLONG deadline = GetTickCount64() + kRunTimeoutMs;
  for (;;) {
    const DWORD wait = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 50, QS_ALLINPUT);
    PumpMessages();
    if (wait == WAIT_OBJECT_0)
      break;
    BoxSearch search{pi.dwProcessId};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      Box box;
      char caption[256] = {};
      GetWindowTextA(search.found, caption, sizeof caption);
      box.caption = caption;
      EnumChildWindows(search.found, FindText, reinterpret_cast<LPARAM>(&box.text));
      run.boxes.push_back(box);
      PostMessageA(search.found, WM_COMMAND, IDOK, 0);
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
  PumpMessages();
  GetExitCodeProcess(pi.hProcess, &run.exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  run.notices = g_notices;
  return run;
}

RunResult RunMorlexProcess(const std::string& commandLine) {
  EnsureListener();
  PumpMessages();
  g_notices = 0;
  return FinishMorlex(StartMorlex(commandLine));
}

// Checks what every run must show: an accepted command exits 0 after one
// notice; a rejected one shows the usage box once and exits 1 without one.
RunResult RunMorlex(const std::string& commandLine, bool rejected) {
  const RunResult run = RunMorlexProcess(commandLine);
  EXPECT_EQ(run.exitCode, rejected ? 1u : 0u) << commandLine;
  EXPECT_EQ(run.notices, rejected ? 0 : 1) << commandLine;
  if (rejected) {
    EXPECT_EQ(run.boxes.size(), 1u) << commandLine;
    for (const Box& box : run.boxes) {
      EXPECT_EQ(box.caption, kUsageCaption) << commandLine;
      EXPECT_EQ(box.text, kUsageText) << commandLine;
    }
  } else {
    EXPECT_TRUE(run.boxes.empty()) << commandLine;
  }
  return run;
}

// Saves a value on construction and puts it back on destruction.
struct SavedValue {
  bool system;
  std::string name;
  std::optional<RawValue> saved;
  SavedValue(bool s, std::string n) : system(s), name(std::move(n)), saved(ReadValue(s, name)) {}
  ~SavedValue() { StoreValue(system, name, saved); }
};

// ---------------------------------------------------------------------------
// One row per command line.

struct Row {
  std::string commandLine;
  bool system;  // the scope whose value is checked
  const char* name;
  std::optional<RawValue> before;  // nothing: not stored
  std::optional<RawValue> after;   // nothing: not stored
  bool rejected = false;
};

void RunRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.commandLine);
    const SavedValue guard(row.system, row.name);
    StoreValue(row.system, row.name, row.before);
    RunMorlex(row.commandLine, row.rejected);
    EXPECT_EQ(ReadValue(row.system, row.name), row.after);
  }
}

const std::optional<RawValue> kAbsent;

TEST(Morlex, RejectedCommandLinesShowTheUsageAndChangeNothing) {
  const std::optional<RawValue> set = Sz("keep");
  std::vector<Row> rows;
  for (const char* line :
       {"", " ", "\t", " -s MORLEX_E2E hello", " /? MORLEX_E2E", " /x MORLEX_E2E v",
        " /sa MORLEX_E2E v", " MORLEX_E2E /a x", " MORLEX_E2E /r x", " a b c",
        " MORLEX_E2E \"/opt\"", " MORLEX_E2E /opt", " MORLEX_E2E v w", " /s", " /s /a"})
    rows.push_back({Cmd(line), false, kVar, set, set, true});
  // A quoted program name that is never closed leaves no tail.
  rows.push_back({"\"Morlex.exe MORLEX_E2E v", false, kVar, set, set, true});
  for (const char* line : {" Path", " /r Path", " /a Path", " /a /r Path x", " /s PATH"})
    rows.push_back({Cmd(line), false, "Path", set, set, true});
  RunRows(rows);
}

TEST(Morlex, SetsAndDeletesInBothScopes) {
  const std::optional<RawValue> old = Sz("old");
  RunRows({
      {Cmd(" MORLEX_E2E hello"), false, kVar, kAbsent, ExpandSz("hello")},
      {Cmd(" MORLEX_E2E hello"), false, kVar, old, ExpandSz("hello")},
      {Cmd("MORLEX_E2E tight"), false, kVar, old, ExpandSz("tight")},
      {"Morlex.exe \t MORLEX_E2E unquoted", false, kVar, old, ExpandSz("unquoted")},
      {Cmd(" MORLEX_E2E"), false, kVar, old, kAbsent},
      {Cmd(" MORLEX_E2E"), false, kVar, kAbsent, kAbsent},
      {Cmd(" MORLEX_E2E \"\""), false, kVar, old, ExpandSz("")},
      {Cmd(" MORLEX_E2E \""), false, kVar, old, ExpandSz("\"")},
      {Cmd(" /s MORLEX_E2E hello"), true, kVar, kAbsent, ExpandSz("hello")},
      {Cmd(" /S MORLEX_E2E hello"), true, kVar, old, ExpandSz("hello")},
      {Cmd(" MORLEX_E2E hello /s"), true, kVar, old, ExpandSz("hello")},
      {Cmd(" \"/s\" MORLEX_E2E hello"), true, kVar, old, ExpandSz("hello")},
      {Cmd(" /s MORLEX_E2E"), true, kVar, old, kAbsent},
      {Cmd(" /s /s MORLEX_E2E v"), false, kVar, old, old},  // the user scope is left alone
      {Cmd(" MORLEX_E2E v"), true, kVar, old, old},         // and so is the system scope
      {Cmd(" MORLEX_E2E \"%USERPROFILE%\\bin;C:\\Program Files\\x\""), false, kVar, kAbsent,
       ExpandSz("%USERPROFILE%\\bin;C:\\Program Files\\x")},
      {Cmd(" MORLEX_E2E \"a \t b\""), false, kVar, kAbsent, ExpandSz("a \t b")},
      {Cmd(" MORLEX_E2E caf\xE9\xA0x"), false, kVar, kAbsent, ExpandSz("caf\xE9\xA0x")},
      {Cmd(" \"\" x"), false, "", kAbsent, ExpandSz("x")},  // the key's unnamed value
      {Cmd(" Path C:\\Windows"), false, "Path", Sz("C:\\A;C:\\B"), ExpandSz("C:\\Windows")},
  });
}

// Deletes the user's Environment key for the life of the object, then puts it
// back with its values.
struct MissingUserKey {
  std::vector<std::pair<std::string, RawValue>> values;
  MissingUserKey() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameSize = sizeof name;
        RawValue v;
        DWORD size = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &v.type, nullptr, &size) !=
            ERROR_SUCCESS)
          break;
        values.emplace_back(name, *ReadValue(false, name));
      }
      RegCloseKey(key);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kUserKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kUserKey);
  }
  ~MissingUserKey() {
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegCloseKey(key);
    for (const auto& [name, value] : values)
      StoreValue(false, name, value);
  }
};

bool UserKeyExists() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

TEST(Morlex, AMissingKeyIsNotCreatedAndTheNoticeStillGoesOut) {
  const MissingUserKey missing;
  ASSERT_FALSE(UserKeyExists());
  for (const char* line :
       {" MORLEX_E2E hello", " MORLEX_E2E", " /a Path C:\\Tools", " /r Path C:\\Tools"}) {
    RunMorlex(Cmd(line), false);
    EXPECT_FALSE(UserKeyExists()) << line;
  }
}

TEST(Morlex, AddsAndRemovesPathEntries) {
  const std::string sys = "C:\\windows\\system32;C:\\windows";
  RunRows({
      {Cmd(" /a Path C:\\Tools"), false, "Path", Sz("C:\\Windows"),
       ExpandSz("C:\\Windows;C:\\Tools")},
      {Cmd(" /a PATH C:\\Tools"), false, "Path", Sz("C:\\Windows;"),
       ExpandSz("C:\\Windows;C:\\Tools")},
      // Already there: the same text, rewritten as REG_EXPAND_SZ.
      {Cmd(" /a Path c:\\tools"), false, "Path", Sz("C:\\Windows;C:\\TOOLS"),
       ExpandSz("C:\\Windows;C:\\TOOLS")},
      {Cmd(" /a Path \"C:\\Program Files\\Tool\""), false, "Path", ExpandSz("%SystemRoot%;C:\\A"),
       ExpandSz("%SystemRoot%;C:\\A;C:\\Program Files\\Tool")},
      {Cmd(" /a Path C:\\Tools"), false, "Path", kAbsent, ExpandSz("C:\\Tools")},
      {Cmd(" /a Path C:\\Tools"), false, "Path", Sz(""), ExpandSz("C:\\Tools")},
      {Cmd(" /a Path C:\\B"), false, "Path", RawValue{REG_SZ, "C:\\A"},  // no terminator
       ExpandSz("C:\\A;C:\\B")},
      {Cmd(" /r Path c:\\a"), false, "Path", Sz("C:\\A;;C:\\B;"), ExpandSz("C:\\B")},
      {Cmd(" /r Path C:\\X"), false, "Path", Sz("C:\\A;;C:\\B"), ExpandSz("C:\\A;;C:\\B")},
      {Cmd(" /r Path C:\\A"), false, "Path", Sz("C:\\A;c:\\a"), ExpandSz("")},
      {Cmd(" /r Path C:\\Tools"), false, "Path", kAbsent, kAbsent},
      {Cmd(" /s /a Path C:\\MorlexTest"), true, "Path", ExpandSz(sys),
       ExpandSz(sys + ";C:\\MorlexTest")},
      {Cmd(" /r /s Path c:\\morlextest"), true, "Path", ExpandSz(sys + ";C:\\MorlexTest"),
       ExpandSz(sys)},
  });
}

TEST(Morlex, KeepsEveryByteOfALongPath) {
  for (const std::size_t length : {32u * 1024u, 100u * 1024u}) {
    std::string list;
    for (int i = 0; list.size() < length; ++i)
      list += "C:\\Program Files\\Tool " + std::to_string(i) + "\\bin;";
    list += "%SystemRoot%";
    const std::string middle = ";C:\\Program Files\\Tool 7\\bin;";
    std::string withoutMiddle = list;
    withoutMiddle.replace(withoutMiddle.find(middle), middle.size(), ";");
    RunRows({
        {Cmd(" /a Path D:\\New"), false, "Path", ExpandSz(list), ExpandSz(list + ";D:\\New")},
        {Cmd(" /r Path D:\\New"), false, "Path", ExpandSz(list + ";D:\\New"), ExpandSz(list)},
        {Cmd(" /r Path \"c:\\program files\\tool 7\\BIN\""), false, "Path", Sz(list),
         ExpandSz(withoutMiddle)},
        {Cmd(" /a Path \"C:\\Program Files\\Tool 3\\bin\""), false, "Path", Sz(list),
         ExpandSz(list)},
    });
  }
}

TEST(Morlex, LeavesAPathAloneThatTheAnsiCodePageCannotHold) {
  const SavedValue guard(false, "Path");
  StoreWideValue(false, "Path", L"C:\\\x2603;C:\\B");
  const std::optional<RawValue> before = ReadValue(false, "Path");
  ASSERT_TRUE(before);
  for (const char* line : {" /a Path C:\\Tools", " /r Path C:\\B"}) {
    RunMorlex(Cmd(line), false);
    EXPECT_EQ(ReadValue(false, "Path"), before) << line;
  }
}

// ---------------------------------------------------------------------------
// The executable's manifest and version resource.

TEST(MorlexExecutable, EmbedsItsManifest) {
  HMODULE module = LoadLibraryExA(MorlexPath().c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
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

std::string VersionString(const std::vector<char>& info, const char* field) {
  char* text = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\040904B0\\") + field;
  if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) ||
      length == 0)
    return {};
  return std::string(text, strnlen(text, length));
}

TEST(MorlexExecutable, CarriesItsVersion) {
  const std::string exe = MorlexPath();
  const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));
  EXPECT_EQ(VersionString(info, "ProductName"), "Morlex");
  EXPECT_EQ(VersionString(info, "FileVersion"), MORLEX_VERSION);
  EXPECT_EQ(VersionString(info, "ProductVersion"), MORLEX_VERSION);
  EXPECT_NE(VersionString(info, "FileDescription"), "");
  EXPECT_EQ(VersionString(info, "LegalCopyright").rfind("Copyright", 0), 0u);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, MORLEX_VERSION);
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

TEST(MorlexLock, ARunWaitsForTheHolderAndLosesNothing) {
  for (const bool system : {false, true}) {
    SCOPED_TRACE(system ? "system" : "user");
    const SavedValue guard(system, "Path");
    StoreValue(system, "Path", ExpandSz("C:\\A"));
    HANDLE mutex = CreateMutexA(nullptr, FALSE, ScopeLockName(system));
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);

    g_notices = 0;
    const PROCESS_INFORMATION pi =
        StartMorlex(Cmd(system ? " /s /a Path C:\\New" : " /a Path C:\\New"));
    SleepPumping(1500);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(ReadValue(system, "Path"), ExpandSz("C:\\A"));  // nothing written yet
    // The holder's own update, made while it holds the lock.
    StoreValue(system, "Path", ExpandSz("C:\\A;C:\\Holder"));
    ReleaseMutex(mutex);

    const RunResult run = FinishMorlex(pi);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.notices, 1);
    EXPECT_EQ(ReadValue(system, "Path"), ExpandSz("C:\\A;C:\\Holder;C:\\New"));
    CloseHandle(mutex);
  }
}

DWORD WINAPI TakeAndDie(LPVOID) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kUserScopeLockName);
  WaitForSingleObject(mutex, INFINITE);
  return 0;  // ends holding it: the mutex is abandoned
}

TEST(MorlexLock, AHolderThatEndedLeavesTheLockUsable) {
  const SavedValue guard(false, "Path");
  StoreValue(false, "Path", ExpandSz("C:\\A"));
  HANDLE thread = CreateThread(nullptr, 0, TakeAndDie, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);

  const ULONGLONG start = GetTickCount64();
  RunMorlex(Cmd(" /a Path C:\\New"), false);
  // Well short of the wait for a live holder: the lock was taken, not waited out.
  EXPECT_LT(GetTickCount64() - start, kScopeLockWaitMs / 2);
  EXPECT_EQ(ReadValue(false, "Path"), ExpandSz("C:\\A;C:\\New"));
}

std::vector<std::string> Entries(const std::string& list) {
  std::vector<std::string> entries;
  std::stringstream in(list);
  for (std::string entry; std::getline(in, entry, ';');)
    entries.push_back(entry);
  std::sort(entries.begin(), entries.end());
  return entries;
}

TEST(MorlexLock, ThirtyTwoRunsTogetherLoseNothing) {
  constexpr int kRuns = 16;
  const SavedValue guard(false, "Path");
  std::string list = "C:\\Base";
  std::vector<std::string> expected = {"C:\\Base"};
  for (int i = 0; i < kRuns; ++i) {
    list += ";C:\\R" + std::to_string(i);
    expected.push_back("C:\\A" + std::to_string(i));
  }
  std::sort(expected.begin(), expected.end());
  StoreValue(false, "Path", ExpandSz(list));

  EnsureListener();
  PumpMessages();
  g_notices = 0;
  std::vector<PROCESS_INFORMATION> children;
  for (int i = 0; i < kRuns; ++i) {
    children.push_back(StartMorlex(Cmd(" /a Path C:\\A" + std::to_string(i))));
    children.push_back(StartMorlex(Cmd(" /r Path C:\\R" + std::to_string(i))));
  }
  for (const PROCESS_INFORMATION& pi : children)
    EXPECT_EQ(FinishMorlex(pi).exitCode, 0u);
  EXPECT_EQ(g_notices, 2 * kRuns);

  const std::optional<RawValue> after = ReadValue(false, "Path");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(Entries(after->bytes.substr(0, after->bytes.find('\0'))), expected);
}

}  // namespace
