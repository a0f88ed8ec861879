#include "cmdline/command_tail.h"

namespace {

bool IsAbove0x20(char c) { return static_cast<unsigned char>(c) > 0x20; }

}  // namespace

std::string_view CommandTailOf(std::string_view commandLine) {
  std::size_t pos = 0;
  const std::size_t end = commandLine.size();
  if (end > 0 && commandLine[0] == '"') {
    pos = commandLine.find('"', 1);
    if (pos == std::string_view::npos)
      return {};  // the quote is never closed
    ++pos;        // the closing quote
  } else {
    while (pos < end && IsAbove0x20(commandLine[pos]))
      ++pos;
  }
  while (pos < end && commandLine[pos] != '\0' && !IsAbove0x20(commandLine[pos]))
    ++pos;
  return commandLine.substr(pos);
}
