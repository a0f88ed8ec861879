#include <windows.h>

#include <optional>
#include <string>

#include "cmdline/command_tail.h"
#include "cmdline/split_command_tail.h"
#include "text/wide_text.h"

namespace {

// The program's own path, however long; nothing when it cannot be had.
std::optional<std::string> OwnModulePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const auto size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0)
      return std::nullopt;
    if (length < size) {
      buffer.resize(length);
      return Wtf8FromWide(buffer);
    }
    if (size >= 32768)
      return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

ArgumentVector ThisProcessArguments() {
  const std::string commandLine = Wtf8FromWide(GetCommandLineW());
  return SplitCommandTail(CommandTailOf(commandLine), OwnModulePath());
}
