#include "envstore/scope_lock.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
