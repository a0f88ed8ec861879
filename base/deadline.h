// A time limit as the platform's millisecond tick count.
#pragma once

#include <cstdint>

// The milliseconds left from now until deadline; 0 once it has passed.
inline std::uint32_t MsUntil(std::uint64_t deadline, std::uint64_t now) {
  return now < deadline ? static_cast<std::uint32_t>(deadline - now) : 0;
}
