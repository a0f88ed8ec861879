// run_morlex.exe [Morlex arguments]: what scripts/run.sh runs under Wine.
// Starts Morlex.exe (beside it) with a command tail that Morlex's own
// splitting turns back into exactly these arguments, waits for it, and shows
// the variable as the registry then holds it, read as UTF-16 units. An
// argument that no tail can carry as one token is refused, never changed.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "cmdline/check_request.h"
#include "cmdline/split_command_tail.h"
#include "store/registry_store.h"
#include "text/wide_text.h"
#include "text/wtf8.h"

namespace {

// Writes WTF-8 text to standard output or standard error: wide on a
// console, UTF-8 otherwise.
void Print(const std::string& text, DWORD stream = STD_OUTPUT_HANDLE) {
  HANDLE out = GetStdHandle(stream);
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(out, &mode)) {
    const std::wstring units = WideFromWtf8(text).value_or(L"?");
    WriteConsoleW(out, units.data(), static_cast<DWORD>(units.size()), &written, nullptr);
  } else {
    const std::string bytes = Utf8FromWtf8(text);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

bool SplitsBackTo(const std::string& tail, const std::vector<std::string>& tokens) {
  return SplitCommandTail(tail).tokens == tokens;
}

// A token as it stands (a quote in it opens and closes stretches), or in
// quotes that the splitter takes off again.
std::vector<std::string> Spellings(const std::string& token) {
  if (token.empty())
    return {"\"\""};
  return {token, "\"" + token + "\""};
}

// The tail that splits into exactly these tokens, trying each token's
// spellings in turn; nothing when no choice does. The quote state runs on
// across tokens, so the tail is checked whole.
std::optional<std::string> TailFor(const std::vector<std::string>& tokens) {
  std::vector<std::size_t> choice(tokens.size(), 0);
  for (;;) {
    std::string tail;
    for (std::size_t i = 0; i < tokens.size(); ++i)
      tail += (i ? " " : "") + Spellings(tokens[i])[choice[i]];
    if (SplitsBackTo(tail, tokens))
      return tail;
    std::size_t i = 0;
    while (i < tokens.size() && ++choice[i] == Spellings(tokens[i]).size())
      choice[i++] = 0;
    if (i == tokens.size())
      return std::nullopt;
  }
}

// The variable as the registry now holds it, in the form reg query uses.
void ShowVariable(const UpdateRequest& request) {
  const EnvLocation location = LocationForScope(request.systemScope);
  const std::string key = KeyNameOf(location);
  const StoredString stored = ReadRegistryString(location, request.name);
  switch (stored.status) {
    case ReadStatus::Found:
      Print(key + "\n    " + request.name + "    " + RegistryTypeName(stored.type) + "    " +
            stored.text + "\n");
      return;
    case ReadStatus::Absent:
      Print(request.name + " is not set in " + key + "\n");
      return;
    default:
      Print(key + "\n    " + request.name + "    " + RegistryTypeName(stored.type) +
            "    (not text: left as it is)\n");
      return;
  }
}

std::wstring OwnDirectory() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ArgumentVector args;
  for (int i = 1; i < argc; ++i)
    args.tokens.push_back(Wtf8FromWide(argv[i]));
  const std::optional<std::string> tail = TailFor(args.tokens);
  if (!tail) {
    Print(
        "run.sh: Morlex's command-line rules cannot pass these arguments as they are (a double "
        "quote opens a stretch that takes in the blanks and arguments after it); nothing was "
        "run.\n",
        STD_ERROR_HANDLE);
    return 125;
  }

  const std::wstring exe = OwnDirectory() + L"Morlex.exe";
  std::wstring commandLine = L"\"" + exe + L"\" " + WideFromWtf8(*tail).value_or(L"");
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &si, &pi)) {
    Print("run.sh: cannot start Morlex.exe: error " + std::to_string(GetLastError()) + "\n",
          STD_ERROR_HANDLE);
    return 125;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(pi.hProcess, &exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  Print("Morlex exited with " + std::to_string(exitCode) + "\n");

  const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
  if (request)
    ShowVariable(*request);
  return static_cast<int>(exitCode);
}
