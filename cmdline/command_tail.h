// The command tail: the process command line with the program's own name,
// and the blanks after it, taken off.
#pragma once

#include <string_view>

// When the command line begins with a double quote, the name runs up to and
// including the next double quote; an unclosed quote leaves an empty tail.
// Otherwise the name is every byte above 0x20. The bytes 0x01 to 0x20 after
// the name are skipped as well. The command line is WTF-8, so no byte of a
// character beyond ASCII is taken for a quote or a blank.
std::string_view CommandTailOf(std::string_view commandLine);
