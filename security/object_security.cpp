#include "security/object_security.h"

#include <algorithm>

namespace {

constexpr std::string_view kOwnerRightsSid = "S-1-3-4";

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
