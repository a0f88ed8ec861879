// The command tail: the process command line with the program's own name,
// and the blanks after it, taken off.
#pragma once

#include <bitset>
#include <string_view>

// Bytes that begin a double-byte character in the ANSI code page.
using LeadBytes = std::bitset<256>;

// When the command line begins with a double quote, the name runs up to and
// including the next double quote (a lead byte takes the byte after it along);
// an unclosed quote leaves an empty tail. Otherwise the name is every byte
// above 0x20. The bytes 0x01 to 0x20 after the name are skipped as well.
std::string_view CommandTailOf(std::string_view commandLine, const LeadBytes& leadBytes);
