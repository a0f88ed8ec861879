#include "security/object_security_win32.h"

#include <vector>

#include "base/account_win32.h"
#include "base/handles_win32.h"

std::optional<ObjectSecurity> SecurityOf(HANDLE object, SE_OBJECT_TYPE type) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PACL sacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetSecurityInfo(
          object, type,
          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
          &owner, nullptr, &dacl, &sacl, &sd) != ERROR_SUCCESS)
    return std::nullopt;
  const LocalMemory owned(sd);
  ObjectSecurity security;
  security.owner = SidText(owner);
  // The SACL read with the label alone holds the label, if there is one.
  for (DWORD i = 0; sacl && i < sacl->AceCount; ++i) {
    void* found = nullptr;
    if (GetAce(sacl, i, &found) &&
        static_cast<const ACE_HEADER*>(found)->AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE) {
      const auto* label = static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(found);
      security.label = MandatoryLabel{SidText(const_cast<DWORD*>(&label->SidStart)), label->Mask};
    }
  }
  if (!dacl)
    return security;  // a null DACL
  std::vector<Ace> aces;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* found = nullptr;
    if (!GetAce(dacl, i, &found))
      return std::nullopt;
    const auto* header = static_cast<const ACE_HEADER*>(found);
    // The allowed and denied kinds, plain or with a condition, share this
    // layout: the header, the mask, the SID.
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(found);
    Ace read;
    read.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    switch (header->AceType) {
      case ACCESS_ALLOWED_ACE_TYPE:
      case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        read.kind = AceKind::Allow;
        break;
      case ACCESS_DENIED_ACE_TYPE:
      case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        read.kind = AceKind::Deny;
        break;
      default:
        read.kind = AceKind::Other;
        break;
    }
    if (read.kind != AceKind::Other) {
      read.mask = ace->Mask;
      read.sid = SidText(const_cast<DWORD*>(&ace->SidStart));
    }
    aces.push_back(read);
  }
  security.dacl = aces;
  return security;
}
