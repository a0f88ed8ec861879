// The system's own text for an error code.
#pragma once

#include <cstdint>
#include <string>

// The message, as WTF-8; empty when the system has none. The platform's half.
std::string SystemMessage(std::uint32_t error);
