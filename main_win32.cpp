// Morlex: makes one environment variable persistent in the user or the
// system scope, and tells running programs that the environment changed.
// The entry, as a table of contents: the start-up settings, the request or
// the usage, the update, the exit code.

#include <windows.h>

#include <new>
#include <optional>

#include "cmdline/check_request.h"
#include "cmdline/split_command_tail.h"
#include "cmdline/usage_box.h"
#include "notice/change_notice.h"
#include "notice/notice_relay.h"
#include "process/exit_status.h"
#include "process/standard_error.h"
#include "process/start_up.h"
#include "update/messages.h"
#include "update/run_update.h"

namespace {

// Checks the command line, then carries out the update. Throws
// std::bad_alloc only before anything is written.
int Run() {
  const ArgumentVector args = ThisProcessArguments();
  if (OnlyAnnounces(args, ThisProcessRelayMarker())) {
    // A child of the relay, in a user's session: it reads and writes
    // nothing, and says nothing.
    AnnounceEnvironmentChange(NoticeReach::OwnDesktop);
    return kExitDone;
  }
  const std::optional<UpdateRequest> request = BuildUpdateRequest(args);
  if (!request)
    return ShowUsage();
  return RunUpdate(*request);
}

}  // namespace

// Nothing that may throw runs after a write, so a run that ends here has
// written nothing.
int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*tail*/, int /*show*/) {
  MakeStartUpSettings();
  try {
    return Run();
  } catch (const std::bad_alloc&) {
    WriteToStandardError(kOutOfMemoryLine);
    return kExitOutOfMemory;
  } catch (...) {
    WriteToStandardError(kUnexpectedErrorLine);
    return kExitNothingChanged;
  }
}
