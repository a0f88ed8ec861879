#include "security/object_security.h"

#include <algorithm>
#include <string>

namespace {

constexpr std::string_view kOwnerRightsSid = "S-1-3-4";
constexpr std::string_view kLevelPrefix = "S-1-16-";
constexpr unsigned long kMediumLevel = 0x2000;

}  // namespace

bool OnlyTheseMay(const ObjectSecurity& object, std::uint32_t rights,
                  const std::vector<std::string_view>& sids) {
  const auto among = [&sids](std::string_view sid) {
    return std::find(sids.begin(), sids.end(), sid) != sids.end();
  };
  if (!among(object.owner) || !object.dacl)
    return false;
  return std::none_of(object.dacl->begin(), object.dacl->end(), [&](const Ace& ace) {
    if (ace.kind == AceKind::Other)
      return true;
    if (ace.kind == AceKind::Deny || ace.inheritOnly || (ace.mask & rights) == 0)
      return false;
    return !among(ace.sid) && ace.sid != kOwnerRightsSid;
  });
}

bool LabelShutsLowerIntegrityOut(const std::optional<MandatoryLabel>& label,
                                 bool platformReportsLabels) {
  if (!label)
    return !platformReportsLabels;
  const std::string_view level = label->level;
  if (level.substr(0, kLevelPrefix.size()) != kLevelPrefix)
    return false;
  const std::string digits(level.substr(kLevelPrefix.size()));
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos ||
      digits.size() > 9)
    return false;
  constexpr std::uint32_t kRefusesAll = kNoWriteUp | kNoReadUp | kNoExecuteUp;
  return std::stoul(digits) >= kMediumLevel && (label->policy & kRefusesAll) == kRefusesAll;
}
