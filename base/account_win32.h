// SIDs as the platform holds them, written out.
#pragma once

#include <windows.h>

#include <string>

// A SID as written ("S-1-5-18"); empty when it cannot be had.
std::string SidText(PSID sid) noexcept;

// The user SID of an access token, as written; empty when it cannot be had.
std::string TokenUserSid(HANDLE token) noexcept;
