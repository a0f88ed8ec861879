#include "notice/trusted_executable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/account.h"

namespace {

constexpr char kUser[] = "S-1-5-21-1-2-3-1001";
constexpr char kUsers[] = "S-1-5-32-545";
constexpr char kEveryone[] = "S-1-1-0";
constexpr char kAuthenticatedUsers[] = "S-1-5-11";
constexpr char kCreatorOwner[] = "S-1-3-0";

// What a file or a folder holds in practice: installed under Program Files,
// or in a deployment agent's cache under the Windows folder.
Ace Allow(std::string sid, std::uint32_t mask, bool inheritOnly = false) {
  return {AceKind::Allow, mask, std::move(sid), inheritOnly};
}
constexpr std::uint32_t kFullControl = 0x1F01FF;
constexpr std::uint32_t kReadAndExecute = 0x1200A9;
constexpr std::uint32_t kModify = 0x1301BF;
const ObjectSecurity kInstalledFile = {
    kAdministratorsSid,
    std::vector<Ace>{Allow(kLocalSystemSid, kFullControl), Allow(kAdministratorsSid, kFullControl),
                     Allow(kUsers, kReadAndExecute)}};
const ObjectSecurity kProgramFiles = {
    kTrustedInstallerSid,
    std::vector<Ace>{Allow(kTrustedInstallerSid, kFullControl), Allow(kLocalSystemSid, kModify),
                     Allow(kAdministratorsSid, kModify), Allow(kUsers, kReadAndExecute),
                     Allow(kCreatorOwner, 0x10000000, true)}};
const ObjectSecurity kDriveRoot = {
    kTrustedInstallerSid,
    std::vector<Ace>{Allow(kLocalSystemSid, kFullControl), Allow(kAdministratorsSid, kFullControl),
                     Allow(kUsers, kReadAndExecute), Allow(kAuthenticatedUsers, 0x4),
                     Allow(kAuthenticatedUsers, kModify, true)}};

ObjectSecurity Granting(ObjectSecurity object, const Ace& ace) {
  object.dacl->push_back(ace);
  return object;
}
ObjectSecurity OwnedBy(ObjectSecurity object, std::string owner) {
  object.owner = std::move(owner);
  return object;
}

TEST(NoticeRelay, StartsOnlyAnExecutableNobodyElseMayReplace) {
  const std::vector<ObjectSecurity> installed = {kProgramFiles, kProgramFiles, kDriveRoot};
  const ObjectSecurity nullDacl = {kAdministratorsSid, std::nullopt};
  const struct {
    const char* what;
    ObjectSecurity file;
    std::vector<ObjectSecurity> folders;
    bool trusted;
  } rows[] = {
      {"installed", kInstalledFile, installed, true},
      {"owned by SYSTEM", OwnedBy(kInstalledFile, kLocalSystemSid), installed, true},
      {"denied to Users", Granting(kInstalledFile, {AceKind::Deny, kFullControl, kUsers}),
       installed, true},
      {"no folders read", kInstalledFile, {}, false},
      {"owned by a user", OwnedBy(kInstalledFile, kUser), installed, false},
      {"no owner read", OwnedBy(kInstalledFile, ""), installed, false},
      {"a null DACL", nullDacl, installed, false},
      {"Users may write", Granting(kInstalledFile, Allow(kUsers, 0x2)), installed, false},
      {"Users may append", Granting(kInstalledFile, Allow(kUsers, 0x4)), installed, false},
      {"Users may delete", Granting(kInstalledFile, Allow(kUsers, 0x10000)), installed, false},
      {"a user may change the DACL", Granting(kInstalledFile, Allow(kUser, 0x40000)), installed,
       false},
      {"Everyone may take it", Granting(kInstalledFile, Allow(kEveryone, 0x80000)), installed,
       false},
      {"generic write", Granting(kInstalledFile, Allow(kUsers, 0x40000000)), installed, false},
      {"generic all", Granting(kInstalledFile, Allow(kUsers, 0x10000000)), installed, false},
      {"Users may write only what it holds", Granting(kInstalledFile, Allow(kUsers, kModify, true)),
       installed, true},
      {"an ACE of a kind not read", Granting(kInstalledFile, {AceKind::Other, 0, ""}), installed,
       false},
      {"folder: Users may delete what it holds",
       kInstalledFile,
       {Granting(kProgramFiles, Allow(kUsers, 0x40)), kProgramFiles, kDriveRoot},
       false},
      {"folder: Authenticated Users may modify it",
       kInstalledFile,
       {kProgramFiles, Granting(kProgramFiles, Allow(kAuthenticatedUsers, kModify)), kDriveRoot},
       false},
      {"folder: owned by a user",
       kInstalledFile,
       {OwnedBy(kProgramFiles, kUser), kProgramFiles, kDriveRoot},
       false},
      {"folder: Users may add files",
       kInstalledFile,
       {Granting(kProgramFiles, Allow(kUsers, 0x2)), kProgramFiles, kDriveRoot},
       false},
      {"folder: Users may add folders",
       kInstalledFile,
       {Granting(kProgramFiles, Allow(kUsers, 0x4)), kProgramFiles, kDriveRoot},
       true},
      {"Users may write attributes", Granting(kInstalledFile, Allow(kUsers, 0x100)), installed,
       false},
      {"folder: OWNER RIGHTS of a trusted owner",
       kInstalledFile,
       {Granting(kProgramFiles, Allow("S-1-3-4", kFullControl)), kProgramFiles, kDriveRoot},
       true},
      {"the drive's root may be written by users",
       kInstalledFile,
       {kProgramFiles, kProgramFiles, Granting(kDriveRoot, Allow(kUsers, kModify))},
       false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(OnlyTrustedMayReplace(row.file, row.folders), row.trusted) << row.what;
}

}  // namespace
