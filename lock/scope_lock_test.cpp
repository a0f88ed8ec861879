#include "lock/scope_lock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/account.h"
#include "text/ascii_case.h"

namespace {

// An SDDL string of an owner and a DACL, taken apart: "O:owner", then
// "D:" with its flags ("P": protected) and each ACE between parentheses, up
// to the SACL ("S:"), if any.
struct Sddl {
  std::string owner;
  bool protectedDacl = false;
  std::vector<std::string> aces;
  bool operator==(const Sddl&) const = default;
};

Sddl ParseSddl(std::string_view text) {
  Sddl sddl;
  const std::size_t dacl = text.find("D:");
  if (text.substr(0, 2) != "O:" || dacl == std::string_view::npos)
    return sddl;
  sddl.owner = text.substr(2, dacl - 2);
  std::string_view rest = text.substr(dacl + 2, text.find("S:", dacl) - dacl - 2);
  const std::size_t first = rest.find('(');
  sddl.protectedDacl = rest.substr(0, first).find('P') != std::string_view::npos;
  while (!rest.empty() && rest.find('(') != std::string_view::npos) {
    rest.remove_prefix(rest.find('(') + 1);
    const std::size_t end = rest.find(')');
    sddl.aces.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return sddl;
}

// Whose lock is waited for or used, and whose is passed over as squatted or
// refused: the owner, and everyone the DACL grants what lets them in, must
// be among the holders (for the lock file, or the account that runs).
TEST(ScopeLock, IsWaitedForOnlyWhenItsOwnerMayHoldIt) {
  const std::string account = "S-1-5-21-1-2-3-1001";
  const std::string users = "S-1-5-32-545";
  const auto holders = [&](bool system, std::vector<Ace> more) {
    std::vector<Ace> dacl = {{AceKind::Allow, 0x1F01FF, system ? kAdministratorsSid : account},
                             {AceKind::Allow, 0x1F01FF, kLocalSystemSid}};
    dacl.insert(dacl.end(), more.begin(), more.end());
    return std::optional(dacl);
  };
  const auto to = [](std::string sid, std::uint32_t mask) {
    return std::vector<Ace>{{AceKind::Allow, mask, std::move(sid)}};
  };
  const struct {
    bool system;
    std::string owner;
    std::optional<std::vector<Ace>> dacl;
    bool shared;  // the shared mutex is waited for
    bool file;    // the lock folder and file are used
    std::optional<MandatoryLabel> label = MandatoryLabel{"S-1-16-8192", 0x7};
    bool reportsLabels = true;  // Windows; Wine reports none
  } cases[] = {
      {false, account, holders(false, {}), true, true},
      {false, kAdministratorsSid, holders(false, {}), true, true},
      {false, kLocalSystemSid, holders(false, {}), true, true},
      {false, "S-1-5-21-1-2-3-1002", holders(false, {}), false, false},  // another account
      {false, users, holders(false, {}), false, false},
      {false, "", holders(false, {}), false, false},  // no owner at all
      {true, kAdministratorsSid, holders(true, {}), true, true},
      {true, kLocalSystemSid, holders(true, {}), true, true},
      // The account may not hold the system's shared lock, but its run may
      // use a lock file of its own (Wine makes every file the account's).
      {true, account, holders(true, {}), false, true},
      {true, users, holders(true, {}), false, false},
      {true, "S-1-1-0", holders(true, {}), false, false},  // Everyone
      // A rightful owner, and a DACL that lets others in.
      {false, account, std::nullopt, false, false},
      {false, account, holders(false, to("S-1-1-0", 0x10000000)), false, false},
      {false, account, holders(false, to("S-1-5-5-0-1234", 0x00100000)), false, true},
      {true, kAdministratorsSid, holders(true, to(users, 0x0001)), false, false},
      {true, kAdministratorsSid, holders(true, to(account, 0x00040000)), false, true},
      {false, account, holders(false, to(users, 0x2)), true, false},         // adding files
      {false, account, holders(false, to(users, 0x4)), true, false},         // adding folders
      {false, account, holders(false, to(users, 0x100)), true, false},       // attributes
      {false, account, holders(false, to(users, 0x80020000)), true, false},  // reading
      {false, account, holders(false, {{AceKind::Deny, 0x1F01FF, users}}), true, true},
      {false, account, holders(false, {{AceKind::Allow, 0x1F01FF, users, true}}), true, true},
      {false, account, holders(false, {{AceKind::Other, 0, ""}}), false, false},
      // Lower integrity shut out: medium or higher, refusing reading,
      // writing and waiting up; no label only where none is reported.
      {false, account, holders(false, {}), true, true, MandatoryLabel{"S-1-16-12288", 0x7}},
      {false, account, holders(false, {}), false, false, MandatoryLabel{"S-1-16-4096", 0x7}},
      {false, account, holders(false, {}), false, false, MandatoryLabel{"S-1-16-8192", 0x1}},
      {false, account, holders(false, {}), false, false, std::nullopt},
      {false, account, holders(false, {}), true, true, std::nullopt, false},
  };
  for (const auto& c : cases) {
    const ObjectSecurity object = {c.owner, c.dacl, c.label};
    const std::string where = std::to_string(c.system) + " " + c.owner + " " +
                              std::to_string(c.dacl ? c.dacl->size() : 99) + " " +
                              (c.label ? c.label->level : "no label");
    EXPECT_EQ(SharedLockIsTheHolders(object, c.system, account, c.reportsLabels), c.shared)
        << where;
    EXPECT_EQ(LockFolderIsTheHolders(object, c.system, account, c.reportsLabels) &&
                  LockFileIsTheHolders(object, c.system, account, c.reportsLabels),
              c.file)
        << where;
  }

  EXPECT_EQ(ScopeLockName(false, account), "Global\\Morlex.Environment.User." + account);
  EXPECT_EQ(ScopeLockName(true, account), "Global\\Morlex.Environment.System");
  EXPECT_EQ(ScopeLockFileName(false), "Environment.User.lock");
  EXPECT_EQ(ScopeLockFileName(true), "Environment.System.lock");
  // What each lock's security grants, read from its SDDL: the owner, a
  // protected DACL (nothing inherited), who is allowed what, and the label.
  const std::vector<std::string> allToUserAndSystem = {"A;;GA;;;" + account, "A;;GA;;;SY"};
  const std::vector<std::string> allToAdministratorsAndSystem = {"A;;GA;;;BA", "A;;GA;;;SY"};
  const struct {
    bool system;
    std::string account;
    Sddl granted;
  } securities[] = {
      {false, account, {account, true, allToUserAndSystem}},
      {true, account, {"BA", true, allToAdministratorsAndSystem}},
      {true, kLocalSystemSid, {"SY", true, allToAdministratorsAndSystem}},
  };
  for (const auto& c : securities) {
    const std::string sddl = ScopeLockSecurity(c.system, c.account);
    EXPECT_EQ(ParseSddl(sddl), c.granted) << c.system << " " << c.account;
    EXPECT_EQ(sddl.substr(sddl.find("S:")), "S:(ML;;NWNRNX;;;ME)");
  }
  EXPECT_EQ(ParseSddl(ScopeLockFolderSecurity(false, account)),
            (Sddl{account, true, {"A;OICI;GA;;;" + account, "A;OICI;GA;;;SY"}}));
}

// Where each run's lock lives, found without the caller's environment: a
// holder of one (scope, account) is let into the folder that a run of any
// other made, where the two are the same folder (SYSTEM's user scope and the
// system scope share SYSTEM's profile).
TEST(ScopeLock, HomesThatCoincideAdmitEachOther) {
  const std::string_view windows = "C:\\WINDOWS";
  // Each account's SID, its ProfileImagePath, and the SIDs its run holds, as
  // SDDL names them.
  const std::array<std::array<std::string, 3>, 3> accounts = {{
      {kLocalSystemSid, "%systemroot%\\system32\\config\\systemprofile", "SY BA"},
      {"S-1-5-21-1-2-3-500", "C:\\Users\\Admin", "S-1-5-21-1-2-3-500 BA"},
      {"S-1-5-21-1-2-3-1001", "%SystemDrive%\\Users\\Joe", "S-1-5-21-1-2-3-1001"},
  }};
  const auto home = [&](bool system, const std::string& stored) {
    return ScopeLockHome(system, "C:\\WINDOWS\\system32", *ProfileFolder(stored, windows)).folder;
  };
  for (const auto& [aSid, aStored, aRun] : accounts) {
    for (const auto& [bSid, bStored, bRun] : accounts) {
      for (const int scopes : {0, 1, 2, 3}) {
        const bool aSystem = scopes & 1;
        const bool bSystem = scopes & 2;
        // A plain user's /s holds no lock of the system's, so no folder lets it in.
        if ((bSystem && bRun == bSid) ||
            !EqualIgnoringAsciiCase(home(aSystem, aStored), home(bSystem, bStored)))
          continue;
        const std::string made = ScopeLockFolderSecurity(aSystem, aSid);
        std::istringstream runs(bRun);
        const bool admitted =
            std::any_of(std::istream_iterator<std::string>(runs), {}, [&](const std::string& sid) {
              return made.find(";;;" + sid + ")") != std::string::npos;
            });
        EXPECT_TRUE(admitted) << aSystem << aSid << " made it, " << bSystem << bSid
                              << " is shut out";
      }
    }
  }
  // The profile list's folders, expanded from what the system gives alone.
  const std::pair<std::string, std::optional<std::string>> stored[] = {
      {"%SYSTEMDRIVE%\\Users\\Joe\\", "C:\\Users\\Joe"},
      {"%USERPROFILE%", std::nullopt},  // the caller's environment
      {"%SystemRoot", std::nullopt},
      {"Users\\Joe", std::nullopt},
  };
  for (const auto& [path, folder] : stored)
    EXPECT_EQ(ProfileFolder(path, windows), folder) << path;
  // The lock folder opened is the one asked for, not a link's target.
  const std::string local = "\\\\?\\C:\\Users\\Joe\\AppData\\Local";
  EXPECT_TRUE(IsLockFolderAt(local + "\\MORLEX", local));
  EXPECT_FALSE(IsLockFolderAt("\\\\?\\D:\\Elsewhere\\Morlex", local));
}

}  // namespace
