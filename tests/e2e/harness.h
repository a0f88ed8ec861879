// The harness of the Windows tests: runs the real Morlex.exe as a child
// process with an exact UTF-16 command line, answers its usage box, counts
// the change notices a hidden top-level window received, reads what it wrote
// to standard error, and reads and writes the registry raw, so that a test
// compares UTF-16 units and types.
#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

inline constexpr const wchar_t* kUserKey = L"Environment";
inline constexpr const wchar_t* kSystemKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
inline const std::wstring kVar = L"MORLEX_E2E";

// ---------------------------------------------------------------------------
// The registry, read and written raw.

struct RawValue {
  DWORD type = 0;
  std::string bytes;
  bool operator==(const RawValue&) const = default;
};

inline const std::optional<RawValue> kAbsent;

// The value's whole UTF-16 units.
std::wstring Units(const RawValue& v);
void PrintTo(const RawValue& v, std::ostream* os);
// Little-endian UTF-16 units, as the registry holds them.
std::string Bytes(const std::wstring& units);
RawValue Sz(const std::wstring& text, DWORD type = REG_SZ);
RawValue ExpandSz(const std::wstring& text);

HKEY Root(bool system);
const wchar_t* Subkey(bool system);
std::optional<RawValue> ReadValue(bool system, const std::wstring& name);
// Stores the value, or deletes it when there is none.
void StoreValue(bool system, const std::wstring& name, const std::optional<RawValue>& value);

// Saves a value on construction and puts it back on destruction.
struct SavedValue {
  bool system;
  std::wstring name;
  std::optional<RawValue> saved;
  SavedValue(bool s, std::wstring n) : system(s), name(std::move(n)), saved(ReadValue(s, name)) {}
  ~SavedValue() { StoreValue(system, name, saved); }
  SavedValue(const SavedValue&) = delete;
  SavedValue& operator=(const SavedValue&) = delete;
};

// Gives the scope's key the DACL sddl for the life of the object (nothing
// when sddl is null), then puts the old DACL back.
struct KeyDacl {
  HKEY key = nullptr;
  std::vector<char> saved;
  KeyDacl(bool system, const wchar_t* sddl);
  ~KeyDacl();
  KeyDacl(const KeyDacl&) = delete;
  KeyDacl& operator=(const KeyDacl&) = delete;
};

// Reading only, and reading and setting values only.
inline constexpr const wchar_t* kReadOnly = L"D:P(A;;KR;;;WD)";
inline constexpr const wchar_t* kReadAndSetValues = L"D:P(A;;0x2001b;;;WD)";

// ---------------------------------------------------------------------------
// Running Morlex.

inline constexpr DWORD kRunTimeoutMs = 30000;

struct Box {
  std::wstring caption;
  std::wstring text;
};

struct RunResult {
  DWORD exitCode = STILL_ACTIVE;
  int notices = 0;
  std::vector<Box> boxes;
  std::string standardError;  // what Morlex wrote there, when it was given a pipe
  ULONGLONG ms = 0;           // from its start to its end
};

std::wstring MorlexPath();

// The command line that starts Morlex: its quoted path, then tail exactly.
std::wstring Cmd(const std::wstring& tail);

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
  bool relayMarker = false;                // the relay's marker in its environment
  // USERPROFILE and LOCALAPPDATA in its environment point here instead, as
  // a build tool or a sandbox may set them.
  const wchar_t* profile = nullptr;
  // Started by the relay's own call, with this process's token, instead:
  // its own command line, the marker, no standard error.
  bool byRelay = false;
};

struct Child {
  PROCESS_INFORMATION pi = {};
  HANDLE errorPipe = nullptr;  // the reading end
  bool readAfterEnd = false;
  ULONGLONG started = 0;
};

// The notices the listener window has had since the last reset.
void ResetNotices();
int NoticesSeen();

// Handles the messages that are waiting, and does so for ms.
void PumpMessages();
void SleepPumping(DWORD ms);

// Starts Morlex.exe with exactly this command line; null handles when it
// cannot be started.
Child StartMorlex(std::wstring commandLine, Start start = {});

// Waits for a started Morlex to end, pumping messages and answering any box
// it shows with OK. Notices are counted from the last reset.
RunResult FinishMorlex(const Child& child);

RunResult RunMorlexProcess(const std::wstring& commandLine, const Start& start = {});

// Runs Morlex and checks what every run must show. A rejected command line
// (exit code 1) shows the usage box once where it can be seen, and otherwise
// writes the usage text to standard error at once; it sends no notice. Any
// other run shows no box and sends one notice, whatever its exit code, which
// reaches the windows of its own desktop only. On standard error, exit code 3 or 4
// gives one line that says why, and 0 gives nothing.
//
// Nothing waits where nobody is: on a desktop nobody sees, or for a reader
// that reads only after the end. A pipe too small for what Morlex says holds
// the beginning of it.
RunResult RunMorlex(const std::wstring& commandLine, DWORD exitCode, Start start = {});

// ---------------------------------------------------------------------------
// One row per command line: the value before, the run with the key's DACL
// for its time, and the value after.

struct Row {
  std::wstring line;    // the command line, exactly
  bool system = false;  // the scope whose value is checked
  std::wstring name;
  std::optional<RawValue> before;  // nothing: not stored
  std::optional<RawValue> after;   // nothing: not stored
  DWORD exitCode = 0;              // 1: the usage box
  const wchar_t* dacl = nullptr;   // the key's DACL during the run, as SDDL
  Start start = {};
};

void RunRows(const std::vector<Row>& rows);
