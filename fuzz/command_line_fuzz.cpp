// Feeds arbitrary command lines through the tail derivation, the splitter and
// the checks, and asserts what must hold for any of them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cmdline/ascii_case.h"
#include "cmdline/command_tail.h"
#include "cmdline/split_command_tail.h"
#include "cmdline/update_request.h"

namespace {

void Require(bool holds) {
  if (!holds)
    std::abort();
}

bool IsBlank(char c) { return c >= 0x01 && c <= 0x20; }

// Whether p points at one of the tokens.
bool IsToken(const ArgumentVector& args, const std::string* p) {
  return std::any_of(args.tokens.begin(), args.tokens.end(),
                     [p](const std::string& token) { return &token == p; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  // The first byte picks the code page: single-byte, or one with lead bytes.
  LeadBytes lead;
  if (data[0] & 1) {
    for (unsigned b = 0x81; b <= 0xFE; ++b)
      lead[b] = true;
  }
  std::string_view commandLine(reinterpret_cast<const char*>(data) + 1, size - 1);
  commandLine = commandLine.substr(0, commandLine.find('\0'));  // as the platform hands it over

  const std::string_view tail = CommandTailOf(commandLine, lead);
  Require(tail.size() <= commandLine.size());
  Require(commandLine.substr(commandLine.size() - tail.size()) == tail);
  Require(tail.empty() || !IsBlank(tail[0]));

  const ArgumentVector args = SplitCommandTail(tail, std::string("C:\\Morlex.exe"));
  Require(static_cast<long>(args.tokens.size()) <= CountTailSlots(tail));
  std::size_t bytes = 0;
  for (const std::string& token : args.tokens) {
    Require(tail.find(token) != std::string_view::npos);
    bytes += token.size();
  }
  Require(bytes <= tail.size());

  const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
  if (request) {
    Require(IsToken(args, request->name));
    Require(!request->value || IsToken(args, request->value));
    Require(!(request->addEntry && request->removeEntry));
    if (request->addEntry || request->removeEntry)
      Require(EqualIgnoringAsciiCase(*request->name, "Path") && request->value);
    Require(request->name->empty() || (*request->name)[0] != '/');
    Require(!request->value || request->value->empty() || (*request->value)[0] != '/');
  }
  return 0;
}
