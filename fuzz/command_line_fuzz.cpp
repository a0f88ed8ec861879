// Feeds arbitrary command lines through the tail derivation, the splitter and
// the checks, and asserts what must hold for any of them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cmdline/check_request.h"
#include "cmdline/command_tail.h"
#include "cmdline/split_command_tail.h"
#include "pathlist/path_edit.h"
#include "text/ascii_case.h"
#include "text/wtf8.h"

namespace {

void Require(bool holds) {
  if (!holds)
    std::abort();
}

bool IsBlank(char c) { return c >= 0x01 && c <= 0x20; }

// Whether p points at one of the tokens.
bool IsToken(const ArgumentVector& args, const std::string& text) {
  return std::find(args.tokens.begin(), args.tokens.end(), text) != args.tokens.end();
}

}  // namespace

// The input is the wide command line: pairs of bytes, each one UTF-16 code
// unit, as the platform hands it over.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string units(size / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  units.resize(std::min(units.find(u'\0'), units.size()));
  const std::string wtf8 = Wtf8FromUtf16(units);
  const std::string_view commandLine = wtf8;

  const std::string_view tail = CommandTailOf(commandLine);
  Require(tail.size() <= commandLine.size());
  Require(commandLine.substr(commandLine.size() - tail.size()) == tail);
  Require(tail.empty() || !IsBlank(tail[0]));

  const ArgumentVector args = SplitCommandTail(tail);
  Require(static_cast<long>(args.tokens.size()) <= CountTailSlots(tail));
  std::size_t bytes = 0;
  for (const std::string& token : args.tokens) {
    Require(tail.find(token) != std::string_view::npos);
    Require(Utf16FromWtf8(token).has_value());  // never cut inside a character
    bytes += token.size();
  }
  Require(bytes <= tail.size());

  const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
  if (request) {
    Require(IsToken(args, request->name));
    Require(!request->value || IsToken(args, *request->value));
    Require(!(request->addEntry && request->removeEntry));
    if (request->addEntry || request->removeEntry)
      Require(EqualIgnoringAsciiCase(request->name, "Path") && request->value);
    Require(request->name.empty() || request->name[0] != '/');
    Require(!request->value || request->value->empty() || (*request->value)[0] != '/');
  }
  return 0;
}
