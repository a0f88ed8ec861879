// Who may do what to an object (a file, a folder, a mutex): its owner and
// its DACL as the platform reads them, and the one question asked of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class AceKind { Allow, Deny, Other };

struct Ace {
  AceKind kind = AceKind::Allow;
  std::uint32_t mask = 0;
  std::string sid;
  bool inheritOnly = false;  // grants nothing on the object itself
};

struct ObjectSecurity {
  std::string owner;  // empty: none, or unreadable
  // Nothing: a null DACL, which grants everything to everyone.
  std::optional<std::vector<Ace>> dacl;
};

// Rights as an ACE's mask holds them.
inline constexpr std::uint32_t kDeleteRight = 0x00010000;
inline constexpr std::uint32_t kWriteDacRight = 0x00040000;
inline constexpr std::uint32_t kWriteOwnerRight = 0x00080000;
inline constexpr std::uint32_t kMaximumAllowedRight = 0x02000000;
inline constexpr std::uint32_t kGenericAllRight = 0x10000000;
inline constexpr std::uint32_t kGenericWriteRight = 0x40000000;
// What lets its holder change an object of any kind, or its security.
inline constexpr std::uint32_t kChangesAnything = kDeleteRight | kWriteDacRight | kWriteOwnerRight |
                                                  kMaximumAllowedRight | kGenericAllRight |
                                                  kGenericWriteRight;

// Whether nobody but these SIDs owns the object or is granted any of these
// rights on it. A null DACL, an unreadable owner or an ACE of a kind that is
// not read grants everything to everyone; a denying or inherit-only ACE
// grants nothing; OWNER RIGHTS stands for the owner.
bool OnlyTheseMay(const ObjectSecurity& object, std::uint32_t rights,
                  const std::vector<std::string_view>& sids);
