// Splits the command tail into the argument vector.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct ArgumentVector {
  std::vector<std::string> tokens;  // in the order of the tail
};

// Whitespace is exactly 0x09 to 0x0D and 0x20; no byte from 0x80 up is.
bool IsTailWhitespace(char c);

// The counting pass: 1 plus one for each whitespace run outside quotes. The
// vector never holds more tokens than this.
int CountTailSlots(std::string_view tail);

// Whitespace outside double quotes separates tokens; every double quote flips
// the quote state. A token that both begins and ends with a double quote (and
// is at least two bytes long) loses one byte at each end; a lone double quote
// stays as it is.
ArgumentVector SplitCommandTail(std::string_view tail);

// The platform's half: the tail of this process's own command line, split.
ArgumentVector ThisProcessArguments();
