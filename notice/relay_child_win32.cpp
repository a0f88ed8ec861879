#include "notice/relay_child_win32.h"

// userenv.h needs what windows.h declares.
#include <userenv.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/account_win32.h"
#include "base/system_library_win32.h"
#include "notice/notice_relay.h"
#include "text/wide_text.h"

namespace {

HMODULE Userenv() {
  static const HMODULE library = SystemLibrary(L"userenv.dll");
  return library;
}

// The user's own environment, as the platform makes it for the token, with
// the marker; nothing when it cannot be made: a child never runs with
// SYSTEM's variables.
std::optional<std::wstring> EnvironmentFor(HANDLE token) {
  auto* create = ProcAddress<decltype(CreateEnvironmentBlock)>(Userenv(), "CreateEnvironmentBlock");
  auto* destroy =
      ProcAddress<decltype(DestroyEnvironmentBlock)>(Userenv(), "DestroyEnvironmentBlock");
  void* made = nullptr;
  if (!create || !destroy || !create(&made, token, FALSE))
    return std::nullopt;
  const std::unique_ptr<void, decltype(destroy)> owned(made, destroy);
  std::vector<std::string> variables;
  for (const auto* variable = static_cast<const wchar_t*>(made); *variable != L'\0';) {
    const std::wstring_view text(variable);
    variables.push_back(Wtf8FromWide(text));
    variable += text.size() + 1;
  }
  std::wstring block;
  const std::vector<std::string> relayed = RelayEnvironment(std::move(variables));
  for (const std::string& variable : relayed) {
    const std::optional<std::wstring> wide = WideFromWtf8(variable);
    if (!wide)
      return std::nullopt;  // a block cut short could lose the marker
    block += *wide;
    block += L'\0';
  }
  block += L'\0';
  return block;
}

}  // namespace

HANDLE StartRelayChild(HANDLE userToken, std::string_view executable, bool breakaway) noexcept {
  try {
    if (!MayRelayAs(TokenUserSid(userToken)))
      return nullptr;
    std::optional<std::wstring> environment = EnvironmentFor(userToken);
    const std::optional<std::wstring> application = WideFromWtf8(executable);
    std::optional<std::wstring> commandLine = WideFromWtf8(RelayCommandLine(executable));
    const std::optional<std::wstring> folder = SystemFolder();
    if (!environment || !application || !commandLine || !folder)
      return nullptr;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring desktop = L"winsta0\\default";
    startup.lpDesktop = desktop.data();
    startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
    PROCESS_INFORMATION process = {};
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (breakaway ? CREATE_BREAKAWAY_FROM_JOB : 0);
    if (!CreateProcessAsUserW(userToken, application->c_str(), commandLine->data(), nullptr,
                              nullptr, FALSE, flags, environment->data(), folder->c_str(), &startup,
                              &process))
      return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
  } catch (...) {
    return nullptr;  // no failure here may end the run that relays
  }
}
