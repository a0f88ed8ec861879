#include "envstore/scope_lock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

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
  EXPECT_EQ(ScopeLockSecurity(false, account),
            "O:" + account + "D:P(A;;GA;;;" + account + ")(A;;GA;;;SY)");
  EXPECT_EQ(ScopeLockSecurity(true, account), "O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)");
  EXPECT_EQ(ScopeLockSecurity(true, kLocalSystemSid), "O:SYD:P(A;;GA;;;BA)(A;;GA;;;SY)");
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
