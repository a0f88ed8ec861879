// The persistent environment: named values under one registry key per scope,
// and the notice that tells running programs the environment has changed.
// Each operation opens the key, does its one thing and closes it again; keys
// are only opened, never created. Failures are not reported, except that a
// read says whether the value was absent or could not be read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class RegistryRoot { CurrentUser, LocalMachine };

struct EnvLocation {
  RegistryRoot root;
  const char* subkey;
};

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegDword = 4;

// User scope: HKEY_CURRENT_USER\Environment. System scope: the Session
// Manager's Environment key under HKEY_LOCAL_MACHINE.
EnvLocation LocationForScope(bool systemScope);

enum class ReadStatus { Found, Absent, Failed };

struct StoredString {
  ReadStatus status = ReadStatus::Failed;
  std::string text;        // the value's data up to its first NUL, when found
  std::uint32_t type = 0;  // the value's type, when found
};

// Stored data as a string: it ends at the first NUL, or after the last byte
// when there is none.
std::string StringFromRegistryData(std::string_view data);

// How many bytes of data a write of this type stores: the text and its
// terminator for REG_SZ and REG_EXPAND_SZ, 4 for REG_DWORD (when data holds
// that many), and nothing for any other type.
std::optional<std::size_t> RegistryByteCount(std::uint32_t type, std::string_view data);

StoredString ReadRegistryString(const EnvLocation& location, const std::string& name);
void WriteRegistryValue(const EnvLocation& location, const std::string& name,
                        const std::string& data, std::uint32_t type);
void DeleteRegistryValue(const EnvLocation& location, const std::string& name);

// Broadcasts WM_SETTINGCHANGE with "Environment", waiting at most 5000 ms.
void AnnounceEnvironmentChange();
