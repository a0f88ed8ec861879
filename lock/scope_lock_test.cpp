#include "lock/scope_lock.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

// An SDDL string of an owner and a DACL, taken apart: "O:owner", then
// "D:" with its flags ("P": protected) and each ACE between parentheses.
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
  std::string_view rest = text.substr(dacl + 2);
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

// Whose lock is waited for, and whose is passed over as squatted.
TEST(ScopeLock, IsWaitedForOnlyWhenItsOwnerMayHoldIt) {
  const std::string account = "S-1-5-21-1-2-3-1001";
  const struct {
    bool system;
    std::string owner;
    bool mayHold;
  } cases[] = {
      {false, account, true},
      {false, kAdministratorsSid, true},
      {false, kLocalSystemSid, true},
      {false, "S-1-5-21-1-2-3-1002", false},  // another account
      {false, "S-1-5-32-545", false},         // Users
      {false, "", true},                      // no owner at all
      {true, kAdministratorsSid, true},
      {true, kLocalSystemSid, true},
      {true, account, false},
      {true, "S-1-5-32-545", false},
      {true, "S-1-1-0", false},  // Everyone
  };
  for (const auto& c : cases)
    EXPECT_EQ(OwnerMayHoldScopeLock(c.system, account, c.owner), c.mayHold)
        << c.system << " " << c.owner;

  EXPECT_EQ(ScopeLockName(false, account), "Global\\Morlex.Environment.User." + account);
  EXPECT_EQ(ScopeLockName(true, account), "Global\\Morlex.Environment.System");
  EXPECT_EQ(SessionLockName(ScopeLockName(true, account)), "Local\\Morlex.Environment.System");
  // What each lock's security grants, read from its SDDL: the owner, a
  // protected DACL (nothing inherited), and who is allowed what.
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
  for (const auto& c : securities)
    EXPECT_EQ(ParseSddl(ScopeLockSecurity(c.system, c.account)), c.granted)
        << c.system << " " << c.account;
}

// Which locks a run takes, and in what order, whoever squats what.
TEST(ScopeLock, TakesThePrivateLockFirstAndNeverWaitsForASquatter) {
  using K = ScopeLockKind;
  const struct {
    ScopeLockFacts facts;
    std::vector<K> locks;
  } cases[] = {
      {{.privateLock = true, .sharedRightful = true}, {K::Private, K::Shared}},
      {{.privateLock = true, .sharedRightful = true, .sessionZero = true}, {K::Private, K::Shared}},
      // Squatted: the private lock alone serialises every run, in session 0 too.
      {{.privateLock = true, .sharedRightful = false}, {K::Private}},
      {{.privateLock = true, .sharedRightful = false, .sessionZero = true}, {K::Private}},
      // No private namespaces (Wine), or a run outside the boundary.
      {{.privateLock = false, .sharedRightful = true}, {K::Shared}},
      {{.privateLock = false, .sharedRightful = true, .sessionZero = true}, {K::Shared}},
      {{.privateLock = false, .sharedRightful = false}, {K::Session}},
      // Session 0's own namespace is the shared one: nothing safe is left.
      {{.privateLock = false, .sharedRightful = false, .sessionZero = true}, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ScopeLocksToTake(c.facts), c.locks)
        << c.facts.privateLock << c.facts.sharedRightful << c.facts.sessionZero;

  const std::string account = "S-1-5-21-1-2-3-1001";
  EXPECT_EQ(PrivateNamespaceName(false, account), "Morlex.Environment.User." + account);
  EXPECT_EQ(PrivateNamespaceName(true, account), "Morlex.Environment.System");
  EXPECT_EQ(PrivateLockBoundarySid(false, account), account);
  EXPECT_EQ(PrivateLockBoundarySid(false, kLocalSystemSid), kLocalSystemSid);
  EXPECT_EQ(PrivateLockBoundarySid(true, account), kAdministratorsSid);
  EXPECT_EQ(PrivateLockBoundarySid(true, kLocalSystemSid), kAdministratorsSid);
}

}  // namespace
