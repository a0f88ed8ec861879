// The account a run is for, and the well-known ones its rules name.
#pragma once

#include <string>

// Well-known accounts, as their SIDs are written.
inline constexpr char kAdministratorsSid[] = "S-1-5-32-544";
inline constexpr char kLocalSystemSid[] = "S-1-5-18";
inline constexpr char kTrustedInstallerSid[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// The SID of the account this process runs as ("S-1-5-21-..."); empty when
// it cannot be had.
std::string AccountSid() noexcept;
