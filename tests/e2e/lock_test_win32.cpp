// Runs side by side: the scope lock, its holders and its squatters.

#include <gtest/gtest.h>
#include <windows.h>

// aclapi.h and sddl.h need what windows.h declares.
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/account.h"
#include "base/account_win32.h"
#include "lock/scope_lock.h"
#include "tests/e2e/harness.h"
#include "tests/entries.h"
#include "text/wide_text.h"

namespace {

// Windows' own macros, spelled with a suffix that the linter takes up
// wherever a check macro uses them.
constexpr DWORD kStillRunning = WAIT_TIMEOUT;
constexpr DWORD kExpandSz = REG_EXPAND_SZ;

std::wstring LockName(bool system) { return *WideFromWtf8(ScopeLockName(system, AccountSid())); }
// The holders' security, in this test's own words: the user's lock owned by
// the account and open to it and to SYSTEM, the system's owned by
// Administrators and open to them and to SYSTEM, each labelled medium and
// shut to lower integrity.
std::wstring HoldersSecurity(bool system) {
  const std::wstring holder = system ? L"BA" : *WideFromWtf8(AccountSid());
  return L"O:" + holder + L"D:P(A;;GA;;;" + holder + L")(A;;GA;;;SY)S:(ML;;NWNRNX;;;ME)";
}

// Windows lets a token name as owner only a SID it holds for that, unless
// the restore privilege is on, as an administrator may turn it on: the
// squatters below name owners of their own. (Wine lets any owner be named.)
void AllowAnyOwner() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
    return;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &privileges.Privileges[0].Luid))
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  CloseHandle(token);
}

// A mutex under name with the security in sddl (the default when it is
// empty), held by this thread when held.
HANDLE MakeMutex(const std::wstring& name, const std::wstring& sddl, bool held) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!sddl.empty()) {
    AllowAnyOwner();
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                     &sd, nullptr));
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
  HANDLE mutex = CreateMutexW(sd ? &attributes : nullptr, held, name.c_str());
  LocalFree(sd);
  return mutex;
}

// Who a lock grants what, read back from the mutex under name: its owner,
// and each allowed SID with whether it gets every right on a mutex (generic
// or mapped); denied and other ACEs show as not granted.
struct Grants {
  std::string owner;
  std::vector<std::pair<std::string, bool>> allowed;
  bool operator==(const Grants&) const = default;
};

Grants GrantsOf(const std::wstring& name) {
  Grants grants;
  HANDLE mutex = OpenMutexW(READ_CONTROL, FALSE, name.c_str());
  EXPECT_NE(mutex, nullptr) << "cannot open the lock: error " << GetLastError();
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (mutex && GetSecurityInfo(mutex, SE_KERNEL_OBJECT,
                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                               nullptr, &dacl, nullptr, &sd) == ERROR_SUCCESS) {
    grants.owner = SidText(owner);
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
      void* ace = nullptr;
      if (!GetAce(dacl, i, &ace) ||
          static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE)
        continue;
      const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      const bool all = (allowed->Mask & GENERIC_ALL) != 0 ||
                       (allowed->Mask & MUTEX_ALL_ACCESS) == MUTEX_ALL_ACCESS;
      grants.allowed.emplace_back(SidText(const_cast<DWORD*>(&allowed->SidStart)), all);
    }
  }
  LocalFree(sd);
  if (mutex)
    CloseHandle(mutex);
  return grants;
}

// Every read and write of Path waits for the holder: the edits of /a, and a
// set. The holder is another run of the account, or of an administrator, or
// another tool that takes part by the shared name with Morlex's security.
TEST(MorlexLock, ARunWaitsForTheHolderAndLosesNothing) {
  const struct {
    bool system;
    const wchar_t* tail;
    std::wstring after;
    bool rightful = false;             // Morlex's own lock; otherwise a tool's shared mutex
    const wchar_t* profile = nullptr;  // the run's USERPROFILE and LOCALAPPDATA point here
  } rows[] = {
      {.system = false, .tail = L" /a Path C:\\New", .after = L"C:\\A;C:\\Holder;C:\\New"},
      {.system = true, .tail = L" /s /a Path C:\\New", .after = L"C:\\A;C:\\Holder;C:\\New"},
      {.system = false, .tail = L" Path C:\\Set", .after = L"C:\\Set"},
      {.system = true, .tail = L" /s PATH C:\\Set", .after = L"C:\\Set"},
      {.system = false,
       .tail = L" /a Path C:\\New",
       .after = L"C:\\A;C:\\Holder;C:\\New",
       .rightful = true},
      {.system = true, .tail = L" /s /r Path C:\\A", .after = L"C:\\Holder", .rightful = true},
      // The lock is the account's, wherever its environment says its
      // profile is.
      {.system = false,
       .tail = L" /a Path C:\\New",
       .after = L"C:\\A;C:\\Holder;C:\\New",
       .rightful = true,
       .profile = L"C:\\MorlexElsewhere"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Wtf8FromWide(row.tail) + (row.rightful ? " (Morlex's lock)" : ""));
    const SavedValue guard(row.system, L"Path");
    StoreValue(row.system, L"Path", ExpandSz(L"C:\\A"));
    // The holder: Morlex's own lock, taken in this process, or a mutex with
    // the security Morlex gives it.
    ScopeLock lock;
    HANDLE mutex = nullptr;
    if (row.rightful) {
      lock = TakeScopeLock(row.system);
      ASSERT_TRUE(lock.holds);
      // What the lock's security grants: the user's to the account and
      // SYSTEM, the system's to Administrators and SYSTEM, owned by the
      // account or by Administrators; to nobody else.
      const std::string account = AccountSid();
      const std::string owner = row.system ? kAdministratorsSid : account;
      const std::string holder = row.system ? kAdministratorsSid : account;
      EXPECT_EQ(GrantsOf(LockName(row.system)),
                (Grants{owner, {{holder, true}, {kLocalSystemSid, true}}}));
    } else {
      mutex = MakeMutex(LockName(row.system), HoldersSecurity(row.system), false);
      ASSERT_NE(mutex, nullptr);
      ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    }

    ResetNotices();
    const Child child = StartMorlex(Cmd(row.tail), {.profile = row.profile});
    SleepPumping(1500);
    EXPECT_EQ(WaitForSingleObject(child.pi.hProcess, 0), kStillRunning);
    EXPECT_EQ(ReadValue(row.system, L"Path"), ExpandSz(L"C:\\A"));  // nothing written yet
    // The holder's own update, made while it holds the lock.
    StoreValue(row.system, L"Path", ExpandSz(L"C:\\A;C:\\Holder"));
    lock.holds.reset();
    if (mutex)
      ReleaseMutex(mutex);

    const RunResult run = FinishMorlex(child);
    EXPECT_EQ(run.exitCode, 0U);
    EXPECT_EQ(run.notices, 1);
    EXPECT_EQ(run.standardError, "");
    EXPECT_EQ(ReadValue(row.system, L"Path"), ExpandSz(row.after));
    if (mutex)
      CloseHandle(mutex);
  }
}

// A holder that crashes while it holds Morlex's lock leaves it free.
TEST(MorlexLock, AHolderThatEndedLeavesTheLockUsable) {
  const SavedValue guard(false, L"Path");
  StoreValue(false, L"Path", ExpandSz(L"C:\\A"));
  EXPECT_EQ(RunMorlexProcess(L"morlex_fault.exe lock", {.program = L"morlex_fault.exe"}).exitCode,
            0xC0000005);

  const ULONGLONG start = GetTickCount64();
  RunMorlex(Cmd(L" /a Path C:\\New"), 0);
  // Well short of the wait for a live holder: the lock was taken, not waited out.
  EXPECT_LT(GetTickCount64() - start, kScopeLockWaitMs / 2);
  EXPECT_EQ(ReadValue(false, L"Path"), ExpandSz(L"C:\\A;C:\\New"));
}

// What stands under the shared name decides the run. A holder that may hold
// it and keeps it past the wait: the run changes nothing and says so. A
// mutex that somebody else owns or may open, held or shut to everyone, or an
// object of another kind: the run goes on at once, under the lock file.
TEST(MorlexLock, ALockThatCannotBeHadChangesNothingAndASquattedOneCostsNothing) {
  enum class Under { HeldMutex, SharedEvent };
  const std::wstring users = L"O:S-1-5-32-545";
  const std::wstring other = L"O:S-1-5-21-7-7-7-1234";
  const std::wstring account = L"O:" + *WideFromWtf8(AccountSid());
  const struct {
    bool system;
    Under under;
    std::wstring sddl = {};  // the held mutex's; empty: the default
    const wchar_t* tail;
    DWORD exitCode;
    const wchar_t* after;
  } rows[] = {
      {.system = false,
       .under = Under::HeldMutex,
       .sddl = HoldersSecurity(false),
       .tail = L" /a Path C:\\New",
       .exitCode = 4,
       .after = L"C:\\A"},
      {.system = false,
       .under = Under::HeldMutex,
       .sddl = HoldersSecurity(false),
       .tail = L" Path C:\\Set",
       .exitCode = 4,
       .after = L"C:\\A"},
      {.system = false,
       .under = Under::SharedEvent,
       .tail = L" Path C:\\Set",
       .exitCode = 0,
       .after = L"C:\\Set"},
      {.system = false,
       .under = Under::SharedEvent,
       .tail = L" /a Path C:\\New",
       .exitCode = 0,
       .after = L"C:\\A;C:\\New"},
      // The default security lets the logon session in (Wine gives none).
      {.system = false,
       .under = Under::HeldMutex,
       .tail = L" /a Path C:\\New",
       .exitCode = 0,
       .after = L"C:\\A;C:\\New"},
      // The rightful owner, with a DACL that lets others in.
      {.system = false,
       .under = Under::HeldMutex,
       .sddl = account + L"D:(A;;GA;;;WD)",
       .tail = L" /a Path C:\\New",
       .exitCode = 0,
       .after = L"C:\\A;C:\\New"},
      {.system = false,
       .under = Under::HeldMutex,
       .sddl = account + L"D:NO_ACCESS_CONTROL",
       .tail = L" Path C:\\Set",
       .exitCode = 0,
       .after = L"C:\\Set"},
      {.system = false,
       .under = Under::HeldMutex,
       .sddl = users + L"D:P(A;;GA;;;WD)",
       .tail = L" /a Path C:\\New",
       .exitCode = 0,
       .after = L"C:\\A;C:\\New"},
      {.system = false,
       .under = Under::HeldMutex,
       .sddl = other + L"D:P(A;;GA;;;WD)",
       .tail = L" Path C:\\Set",
       .exitCode = 0,
       .after = L"C:\\Set"},
      {.system = false,
       .under = Under::HeldMutex,
       .sddl = users + L"D:P",
       .tail = L" /r Path C:\\A",
       .exitCode = 0,
       .after = L""},
      {.system = true,
       .under = Under::HeldMutex,
       .sddl = users + L"D:P(A;;GA;;;WD)",
       .tail = L" /s /a Path C:\\New",
       .exitCode = 0,
       .after = L"C:\\A;C:\\New"},
      {.system = true,
       .under = Under::HeldMutex,
       .sddl = users + L"D:P",
       .tail = L" /s /a Path C:\\New",
       .exitCode = 0,
       .after = L"C:\\A;C:\\New"},
      // The account itself may not hold the system's lock.
      {.system = true,
       .under = Under::HeldMutex,
       .sddl = L"O:" + *WideFromWtf8(AccountSid()) + L"D:P(A;;GA;;;WD)",
       .tail = L" /s Path C:\\Set",
       .exitCode = 0,
       .after = L"C:\\Set"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Wtf8FromWide(row.tail) + " under " + Wtf8FromWide(row.sddl) + " " +
                 std::to_string(static_cast<int>(row.under)));
    const SavedValue guard(row.system, L"Path");
    StoreValue(row.system, L"Path", ExpandSz(L"C:\\A"));
    const std::wstring shared = LockName(row.system);
    HANDLE object = row.under == Under::HeldMutex
                        ? MakeMutex(shared, row.sddl, true)
                        : CreateEventW(nullptr, TRUE, FALSE, shared.c_str());
    ASSERT_NE(object, nullptr);

    const RunResult run = RunMorlex(Cmd(row.tail), row.exitCode);
    if (row.exitCode == 4)
      EXPECT_NE(run.standardError.find("Morlex.Environment.User."), std::string::npos);
    else
      EXPECT_LT(run.ms, kScopeLockWaitMs / 2) << "a squatted lock is not waited for";
    EXPECT_EQ(ReadValue(row.system, L"Path"), ExpandSz(row.after));
    if (row.under == Under::HeldMutex)
      ReleaseMutex(object);
    CloseHandle(object);
  }
}

// The user's Path as sorted entries; none of them empty.
std::vector<std::string> StoredEntries() {
  const std::optional<RawValue> after = ReadValue(false, L"Path");
  EXPECT_TRUE(after && after->type == kExpandSz);
  const std::wstring units = after ? Units(*after) : std::wstring();
  const std::string stored = Wtf8FromWide(units.substr(0, units.find(L'\0')));
  EXPECT_EQ(stored.find(";;"), std::string::npos);
  std::vector<std::string> entries;
  for (const std::string_view entry : EntriesOf(stored))
    entries.emplace_back(entry);
  std::sort(entries.begin(), entries.end());
  return entries;
}

TEST(MorlexLock, ThirtyTwoRunsTogetherLoseNothing) {
  constexpr int kRuns = 16;
  const SavedValue guard(false, L"Path");
  std::wstring list = L"C:\\Base";
  std::vector<std::string> expected = {"C:\\Base"};
  for (int i = 0; i < kRuns; ++i) {
    list += L";C:\\R" + std::to_wstring(i);
    expected.push_back("C:\\A" + std::to_string(i));
  }
  std::sort(expected.begin(), expected.end());
  StoreValue(false, L"Path", ExpandSz(list));

  PumpMessages();
  ResetNotices();
  std::vector<Child> children;
  for (int i = 0; i < kRuns; ++i) {
    children.push_back(StartMorlex(Cmd(L" /a Path C:\\A" + std::to_wstring(i))));
    children.push_back(StartMorlex(Cmd(L" /r Path C:\\R" + std::to_wstring(i))));
  }
  for (const Child& child : children)
    EXPECT_EQ(FinishMorlex(child).exitCode, 0U);
  EXPECT_EQ(NoticesSeen(), 2 * kRuns);

  EXPECT_EQ(StoredEntries(), expected);
}

// Runs killed anywhere, waiting or holding the lock: the others lose
// nothing, no entry is half written, and the lock is free once they are gone.
TEST(MorlexLock, RunsKilledAnywhereLeaveNothingHalfDone) {
  const SavedValue guard(false, L"Path");
  StoreValue(false, L"Path", ExpandSz(L"C:\\Base"));
  std::vector<Child> children(24);
  for (int i = 0; i < 24; ++i)
    children[i] = StartMorlex(Cmd(L" /a Path C:\\K" + std::to_wstring(i)));
  std::vector<std::string> done = {"C:\\After", "C:\\Base"};
  for (int i = 0; i < 24; ++i) {
    if (i % 3 == 0)
      TerminateProcess(children[i].pi.hProcess, 9);
    if (FinishMorlex(children[i]).exitCode == 0)
      done.push_back("C:\\K" + std::to_string(i));
  }
  const ULONGLONG start = GetTickCount64();
  RunMorlex(Cmd(L" /a Path C:\\After"), 0);
  EXPECT_LT(GetTickCount64() - start, kScopeLockWaitMs / 2);
  std::vector<std::string> entries = StoredEntries();
  std::erase_if(entries, [&](const std::string& entry) {  // a killed run's, whole
    return std::find(done.begin(), done.end(), entry) == done.end() && entry.rfind("C:\\K", 0) == 0;
  });
  std::sort(done.begin(), done.end());
  EXPECT_EQ(entries, done);
}

}  // namespace
