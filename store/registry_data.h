// Registry data as the store reads and writes it: the value types Morlex
// uses, the text a read finds, and the conversion between text (WTF-8 here)
// and the bytes the registry keeps (UTF-16 units). No registry call is made.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegDword = 4;

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
