// Runs side by side: the scope lock, its holders and its squatters.

#include <gtest/gtest.h>
#include <windows.h>

// sddl.h needs what windows.h declares.
#include <sddl.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "envstore/scope_lock.h"
#include "tests/e2e/harness.h"
#include "text/wide_text.h"

namespace {

// Windows' own macros, spelled with a suffix that the linter takes up
// wherever a check macro uses them.
constexpr DWORD kStillRunning = WAIT_TIMEOUT;
constexpr DWORD kExpandSz = REG_EXPAND_SZ;

// The SID of the account the tests run as, as written.
std::string AccountSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return {};
  char user[512];
  DWORD size = 0;
  wchar_t* text = nullptr;
  std::string sid;
  if (GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) {
    sid = Wtf8FromWide(text);
    LocalFree(text);
  }
  CloseHandle(token);
  return sid;
}

std::wstring LockName(bool system) { return *WideFromWtf8(ScopeLockName(system, AccountSid())); }

// A mutex under name with the security in sddl (the default when it is
// empty), held by this thread when held.
HANDLE MakeMutex(const std::wstring& name, const std::wstring& sddl, bool held) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!sddl.empty()) {
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                     &sd, nullptr));
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
  HANDLE mutex = CreateMutexW(sd ? &attributes : nullptr, held, name.c_str());
  LocalFree(sd);
  return mutex;
}

// A lock held as its rightful holders make it: the account's own, and the
// system's by Administrators.
std::wstring RightfulSecurity(bool system) {
  return *WideFromWtf8(ScopeLockSecurity(system, AccountSid()));
}

// Every read and write of Path waits for the holder: the edits of /a, and a
// set. The holder is another run of the account, or of an administrator; a
// mutex that Wine keeps without an owner is waited for too.
TEST(MorlexLock, ARunWaitsForTheHolderAndLosesNothing) {
  const struct {
    bool system;
    const wchar_t* tail;
    std::wstring after;
    bool rightful;  // made with the security a run gives it; otherwise the default
  } rows[] = {
      {false, L" /a Path C:\\New", L"C:\\A;C:\\Holder;C:\\New", false},
      {true, L" /s /a Path C:\\New", L"C:\\A;C:\\Holder;C:\\New", false},
      {false, L" Path C:\\Set", L"C:\\Set", false},
      {true, L" /s PATH C:\\Set", L"C:\\Set", false},
      {false, L" /a Path C:\\New", L"C:\\A;C:\\Holder;C:\\New", true},
      {true, L" /s /r Path C:\\A", L"C:\\Holder", true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Wtf8FromWide(row.tail) + (row.rightful ? " (rightful owner)" : ""));
    const SavedValue guard(row.system, L"Path");
    StoreValue(row.system, L"Path", ExpandSz(L"C:\\A"));
    HANDLE mutex =
        MakeMutex(LockName(row.system), row.rightful ? RightfulSecurity(row.system) : L"", false);
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);

    ResetNotices();
    const Child child = StartMorlex(Cmd(row.tail));
    SleepPumping(1500);
    EXPECT_EQ(WaitForSingleObject(child.pi.hProcess, 0), kStillRunning);
    EXPECT_EQ(ReadValue(row.system, L"Path"), ExpandSz(L"C:\\A"));  // nothing written yet
    // The holder's own update, made while it holds the lock.
    StoreValue(row.system, L"Path", ExpandSz(L"C:\\A;C:\\Holder"));
    ReleaseMutex(mutex);

    const RunResult run = FinishMorlex(child);
    EXPECT_EQ(run.exitCode, 0U);
    EXPECT_EQ(run.notices, 1);
    EXPECT_EQ(run.standardError, "");
    EXPECT_EQ(ReadValue(row.system, L"Path"), ExpandSz(row.after));
    CloseHandle(mutex);
  }
}

DWORD WINAPI TakeAndDie(LPVOID mutex) {
  *static_cast<HANDLE*>(mutex) = CreateMutexW(nullptr, FALSE, LockName(false).c_str());
  WaitForSingleObject(*static_cast<HANDLE*>(mutex), INFINITE);
  return 0;  // ends holding it: the mutex is abandoned
}

TEST(MorlexLock, AHolderThatEndedLeavesTheLockUsable) {
  const SavedValue guard(false, L"Path");
  StoreValue(false, L"Path", ExpandSz(L"C:\\A"));
  HANDLE mutex = nullptr;
  HANDLE thread = CreateThread(nullptr, 0, TakeAndDie, &mutex, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);

  const ULONGLONG start = GetTickCount64();
  RunMorlex(Cmd(L" /a Path C:\\New"), 0);
  // Well short of the wait for a live holder: the lock was taken, not waited out.
  EXPECT_LT(GetTickCount64() - start, kScopeLockWaitMs / 2);
  EXPECT_EQ(ReadValue(false, L"Path"), ExpandSz(L"C:\\A;C:\\New"));
  CloseHandle(mutex);
}

// What stands under the lock's name decides the run. A holder that may hold
// it and keeps it past the wait, or objects of another kind under both the
// shared and the session's name: the run changes nothing and says so. A lock
// squatted by an owner that may not hold it, held or shut to everyone, or an
// object of another kind under the shared name alone: the run takes the
// session's lock and goes on at once.
TEST(MorlexLock, ALockThatCannotBeHadChangesNothingAndASquattedOneCostsNothing) {
  enum class Under { HeldMutex, Events, SharedEvent };
  const std::wstring users = L"O:S-1-5-32-545";
  const std::wstring other = L"O:S-1-5-21-7-7-7-1234";
  const struct {
    bool system;
    Under under;
    std::wstring sddl;  // the held mutex's; empty: the default
    const wchar_t* tail;
    DWORD exitCode;
    const wchar_t* after;
  } rows[] = {
      {false, Under::HeldMutex, L"", L" /a Path C:\\New", 3, L"C:\\A"},
      {false, Under::HeldMutex, L"", L" Path C:\\Set", 3, L"C:\\A"},
      {false, Under::Events, L"", L" /a Path C:\\New", 3, L"C:\\A"},
      {false, Under::Events, L"", L" Path C:\\Set", 3, L"C:\\A"},
      {false, Under::SharedEvent, L"", L" /a Path C:\\New", 0, L"C:\\A;C:\\New"},
      {false, Under::HeldMutex, users + L"D:P(A;;GA;;;WD)", L" /a Path C:\\New", 0,
       L"C:\\A;C:\\New"},
      {false, Under::HeldMutex, other + L"D:P(A;;GA;;;WD)", L" Path C:\\Set", 0, L"C:\\Set"},
      {false, Under::HeldMutex, users + L"D:P", L" /r Path C:\\A", 0, L""},
      {true, Under::HeldMutex, users + L"D:P(A;;GA;;;WD)", L" /s /a Path C:\\New", 0,
       L"C:\\A;C:\\New"},
      {true, Under::HeldMutex, users + L"D:P", L" /s /a Path C:\\New", 0, L"C:\\A;C:\\New"},
      // The account itself may not hold the system's lock.
      {true, Under::HeldMutex, L"O:" + *WideFromWtf8(AccountSid()) + L"D:P(A;;GA;;;WD)",
       L" /s Path C:\\Set", 0, L"C:\\Set"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Wtf8FromWide(row.tail) + " under " + Wtf8FromWide(row.sddl) + " " +
                 std::to_string(static_cast<int>(row.under)));
    const SavedValue guard(row.system, L"Path");
    StoreValue(row.system, L"Path", ExpandSz(L"C:\\A"));
    const std::wstring shared = LockName(row.system);
    const std::wstring session = *WideFromWtf8(SessionLockName(Wtf8FromWide(shared)));
    std::vector<HANDLE> objects;
    if (row.under == Under::HeldMutex)
      objects.push_back(MakeMutex(shared, row.sddl, true));
    else
      objects.push_back(CreateEventW(nullptr, TRUE, FALSE, shared.c_str()));
    if (row.under == Under::Events)
      objects.push_back(CreateEventW(nullptr, TRUE, FALSE, session.c_str()));
    ASSERT_TRUE(std::all_of(objects.begin(), objects.end(),
                            [](HANDLE object) { return object != nullptr; }));

    const RunResult run = RunMorlex(Cmd(row.tail), row.exitCode);
    if (row.exitCode == 3)
      EXPECT_NE(run.standardError.find("Morlex.Environment.User."), std::string::npos);
    else
      EXPECT_LT(run.ms, kScopeLockWaitMs / 2) << "a squatted lock is not waited for";
    EXPECT_EQ(ReadValue(row.system, L"Path"), ExpandSz(row.after));
    if (row.under == Under::HeldMutex)
      ReleaseMutex(objects.front());
    for (HANDLE object : objects)
      CloseHandle(object);
  }
}

std::vector<std::wstring> Entries(const std::wstring& list) {
  std::vector<std::wstring> entries;
  std::wstringstream in(list);
  for (std::wstring entry; std::getline(in, entry, L';');)
    entries.push_back(entry);
  std::sort(entries.begin(), entries.end());
  return entries;
}

TEST(MorlexLock, ThirtyTwoRunsTogetherLoseNothing) {
  constexpr int kRuns = 16;
  const SavedValue guard(false, L"Path");
  std::wstring list = L"C:\\Base";
  std::vector<std::wstring> expected = {L"C:\\Base"};
  for (int i = 0; i < kRuns; ++i) {
    list += L";C:\\R" + std::to_wstring(i);
    expected.push_back(L"C:\\A" + std::to_wstring(i));
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

  const std::optional<RawValue> after = ReadValue(false, L"Path");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->type, kExpandSz);
  const std::wstring units = Units(*after);
  EXPECT_EQ(Entries(units.substr(0, units.find(L'\0'))), expected);
}

}  // namespace
