// Who may do what to an object (a file, a folder, a mutex): its owner, its
// DACL and its mandatory label as the platform reads them, and the
// questions asked of them.
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

// A mandatory integrity label: its level as a SID ("S-1-16-8192", medium)
// and its policy (kNoWriteUp and the others).
struct MandatoryLabel {
  std::string level;
  std::uint32_t policy = 0;
};
inline constexpr std::uint32_t kNoWriteUp = 0x1;
inline constexpr std::uint32_t kNoReadUp = 0x2;
inline constexpr std::uint32_t kNoExecuteUp = 0x4;

struct ObjectSecurity {
  std::string owner;  // empty: none, or unreadable
  // Nothing: a null DACL, which grants everything to everyone.
  std::optional<std::vector<Ace>> dacl;
  std::optional<MandatoryLabel> label = std::nullopt;  // nothing: none is reported
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

// Whether a process of lower integrity than medium (a sandboxed one, say)
// may neither read, write nor wait for the object, whatever its DACL grants
// the account: a label of medium or higher that refuses all three up. An
// object without a label counts as medium refusing writing up only, which
// lets it read and wait; where the platform reports no labels at all,
// there is nothing else to read, and none passes.
bool LabelShutsLowerIntegrityOut(const std::optional<MandatoryLabel>& label,
                                 bool platformReportsLabels);
