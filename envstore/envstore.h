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

// The key's full name, as "HKEY_CURRENT_USER\Environment".
std::string KeyNameOf(const EnvLocation& location);

// The system's error code for a store operation that was refused; 0 when it
// is done.
using StoreError = std::uint32_t;

// Found: the value holds text. NotText, TextAfterNul and HalfUnit: it holds
// data that a rewrite as text would not keep whole (another type, text after
// a NUL, an odd number of bytes). Failed: the read itself was refused.
enum class ReadStatus { Found, Absent, Failed, NotText, TextAfterNul, HalfUnit };

struct StoredString {
  ReadStatus status = ReadStatus::Failed;
  std::string text;        // the stored text, when found
  std::uint32_t type = 0;  // the value's type, when it was read
  StoreError error = 0;    // why, when the read failed
};

// Whether stored data are text that can be written back without losing a
// byte: the type is REG_SZ or REG_EXPAND_SZ, the data are whole UTF-16
// units, and nothing but NUL units follows the first NUL. Found, or the
// reason they are not.
ReadStatus RegistryDataStatus(std::uint32_t type, std::string_view data);

// The text of data that RegistryDataStatus finds, without its NUL padding;
// nothing for any other data.
std::optional<std::string> TextFromRegistryData(std::uint32_t type, std::string_view data);

// The bytes a write of this type stores: the text's UTF-16 units and a NUL
// unit for REG_SZ and REG_EXPAND_SZ, the first 4 bytes of data for REG_DWORD
// (when it holds that many), and nothing for any other type.
std::optional<std::string> RegistryDataFor(std::uint32_t type, std::string_view data);

// The registry's name for a value type ("REG_MULTI_SZ"), or "type N".
std::string RegistryTypeName(std::uint32_t type);

// Found only when the value holds text as TextFromRegistryData takes it;
// Absent when the value or its key is not there.
StoredString ReadRegistryString(const EnvLocation& location, const std::string& name);

// 0 when the value was written.
StoreError WriteRegistryValue(const EnvLocation& location, const std::string& name,
                              const std::string& data, std::uint32_t type);

// 0 when the value is absent afterwards: deleted, or not there to begin with
// (its key missing included).
StoreError DeleteRegistryValue(const EnvLocation& location, const std::string& name);

// Sends WM_SETTINGCHANGE with "Environment" to every top-level window,
// waiting at most 5000 ms in all. Windows of different threads are sent to
// side by side, the windows of one thread in turn; every window not told by
// then is handed the notice without waiting, to get it when its thread is
// free. The window list outlives every sending thread.
void AnnounceEnvironmentChange() noexcept;
