// The account a run is for, and the well-known ones its rules name.
#pragma once

#include <string>

// Well-known accounts, as their SIDs are written.
inline constexpr char kAdministratorsSid[] = "S-1-5-32-544";
inline constexpr char kLocalSystemSid[] = "S-1-5-18";

// The SID of the account this process runs as ("S-1-5-21-..."); empty when
// it cannot be had.
std::string AccountSid() noexcept;

// A SID of the platform's as written, and the user SID of an access token;
// empty when it cannot be had. Only the platform's halves call them.
std::string SidText(void* sid) noexcept;
std::string TokenUserSid(void* token) noexcept;
