#include "update/run_update.h"

#include <new>
#include <optional>
#include <string>

#include "base/account.h"
#include "base/system_message.h"
#include "lock/scope_lock.h"
#include "notice/change_notice.h"
#include "notice/notice_relay.h"
#include "pathlist/path_edit.h"
#include "process/standard_error.h"
#include "store/registry_store.h"
#include "update/messages.h"

namespace {

// ERROR_SHARING_VIOLATION: the lock's folder or file was kept open,
// unshared, by another program for the whole wait.
constexpr std::uint32_t kErrorSharingViolation = 32;

std::optional<Refusal> RefusalOf(StoreError error) {
  if (error == 0)
    return std::nullopt;
  return Refusal{RefusalCause::Registry, error};
}

// Every read and write of Path holds the scope's lock: a set, and the read,
// change and write-back of /a and /r, so that no run undoes another's. The
// key's refusal is told first, before any wait for the lock: it is the true
// reason, where the lock would be refused too.
std::optional<Refusal> WritePathUnderLock(const UpdateRequest& request,
                                          const EnvLocation& location) {
  const bool edit = request.addEntry || request.removeEntry;
  if (const StoreError error =
          CheckKeyRights(location, edit ? KeyRights::Read : KeyRights::SetValues))
    return RefusalOf(error);
  // An edit that finds its list as asked is done without a write, so a key
  // that may only be read stops it only where the lock cannot be had.
  const StoreError writeError = edit ? CheckKeyRights(location, KeyRights::SetValues) : 0;
  const ScopeLock lock = TakeScopeLock(request.systemScope);
  if (!lock.holds) {
    if (writeError)
      return RefusalOf(writeError);
    const RefusalCause cause = lock.unsafe                            ? RefusalCause::LockUnsafe
                               : lock.error == 0                      ? RefusalCause::LockTimedOut
                               : lock.error == kErrorSharingViolation ? RefusalCause::LockInUse
                                                                      : RefusalCause::LockFailed;
    return Refusal{cause, lock.error, 0, lock.name};
  }
  const std::string& name = request.name;
  if (!edit)
    return RefusalOf(WriteRegistryValue(location, name, *request.value, kRegExpandSz));

  const StoredString stored = ReadRegistryString(location, name);
  const PathListUpdate update =
      UpdatePathList(request.addEntry ? PathEdit::Add : PathEdit::Remove, *request.value, stored);
  if (!update.newList)
    return update.alreadyDone ? std::nullopt : std::optional(RefusalOfRead(stored));
  const StoreError error = WriteRegistryValue(location, name, *update.newList, kRegExpandSz);
  // A list that is as asked already stays done when its write-back is refused.
  return update.alreadyDone ? std::nullopt : RefusalOf(error);
}

// The write or delete the request asks for; why nothing changed, if it did
// not. Throws std::bad_alloc only before anything is written.
std::optional<Refusal> WriteAsAsked(const UpdateRequest& request) {
  const EnvLocation location = LocationForScope(request.systemScope);
  if (IsPathName(request.name))
    return WritePathUnderLock(request, location);
  if (request.value)
    return RefusalOf(WriteRegistryValue(location, request.name, *request.value, kRegExpandSz));
  return RefusalOf(DeleteRegistryValue(location, request.name));
}

// Says on standard error why nothing was changed, where a caller reads it.
void ReportRefusal(const UpdateRequest& request, const Refusal& refusal) noexcept {
  try {
    const std::string message = refusal.error ? SystemMessage(refusal.error) : std::string();
    WriteToStandardError(RefusalLine(request, refusal, message));
  } catch (const std::bad_alloc&) {
    WriteToStandardError(kOutOfMemoryLine);
  }
}

}  // namespace

int RunUpdate(const UpdateRequest& request) noexcept {
  std::optional<Refusal> refusal;
  try {
    refusal = WriteAsAsked(request);
  } catch (const std::bad_alloc&) {
    WriteToStandardError(kOutOfMemoryLine);
    return kExitOutOfMemory;
  } catch (...) {
    // Nothing throws once a write is made, so nothing was written.
    WriteToStandardError(kUnexpectedErrorLine);
    AnnounceEnvironmentChange(NoticeReach::OwnDesktop);
    return kExitNothingChanged;
  }
  if (refusal)
    ReportRefusal(request, *refusal);
  const int exitCode = !refusal ? kExitDone : IsBusy(*refusal) ? kExitBusy : kExitNothingChanged;
  // The lock is released by now: the notice goes out without it.
  AnnounceEnvironmentChange(RelaysNotice(AccountSid(), request.systemScope, exitCode)
                                ? NoticeReach::OtherSessionsToo
                                : NoticeReach::OwnDesktop);
  return exitCode;
}
