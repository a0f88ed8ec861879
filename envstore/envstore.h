// The persistent environment: named values under one registry key per scope,
// and the notice that tells running programs the environment has changed.
// Each operation opens the key with the rights its step needs, does its one
// thing and closes it again; keys are only opened, never created. Names and
// text are WTF-8 here and UTF-16 in the registry.
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
  std::string text;        // the stored text, when found
  std::uint32_t type = 0;  // the value's type, when found
};

// Stored data as text that can be written back without losing a byte: the
// type is REG_SZ or REG_EXPAND_SZ, the data are whole UTF-16 units, and
// nothing but NUL units follows the first NUL (that padding is dropped).
// Nothing for any other data.
std::optional<std::string> TextFromRegistryData(std::uint32_t type, std::string_view data);

// The bytes a write of this type stores: the text's UTF-16 units and a NUL
// unit for REG_SZ and REG_EXPAND_SZ, the first 4 bytes of data for REG_DWORD
// (when it holds that many), and nothing for any other type.
std::optional<std::string> RegistryDataFor(std::uint32_t type, std::string_view data);

// Found only when the value holds text as TextFromRegistryData takes it;
// Absent when the value or its key is not there; Failed otherwise.
StoredString ReadRegistryString(const EnvLocation& location, const std::string& name);

// Whether the value was written.
bool WriteRegistryValue(const EnvLocation& location, const std::string& name,
                        const std::string& data, std::uint32_t type);

// Whether the value is absent afterwards: deleted, or not there to begin
// with (its key missing included).
bool DeleteRegistryValue(const EnvLocation& location, const std::string& name);

// Broadcasts WM_SETTINGCHANGE with "Environment", waiting at most 5000 ms.
void AnnounceEnvironmentChange();
