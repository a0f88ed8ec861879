// Every line Morlex writes to standard error, the usage text aside: why a
// run changed nothing, as the one line a caller that captures standard
// error reads (what was asked, in which scope and key, and the reason), and
// the lines for memory that ran out and for an unexpected error; with the
// system's message for an error code (base/system_message.h), which a refusal line quotes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "store/registry_data.h"
#include "update/request.h"

enum class RefusalCause {
  Registry,      // the registry refused
  PathNotText,   // the stored Path is of a type that is not text
  PathAfterNul,  // the stored Path holds data after a NUL
  PathHalfUnit,  // the stored Path ends in half a UTF-16 unit
  LockTimedOut,  // the scope's lock was not had within the wait
  LockInUse,     // another program kept the lock open, unshared, for the wait
  LockFailed,    // the scope's lock could not be had at all
  LockUnsafe,    // the scope's lock is not its holders' alone
};

struct Refusal {
  RefusalCause cause = RefusalCause::Registry;
  std::uint32_t error = 0;  // the system's error code, for Registry and LockFailed
  std::uint32_t type = 0;   // the stored type, for PathNotText
  std::string lock = {};    // the lock's name, for the Lock causes
};

// Whether the refusal is a busy lock, which the same command may get past
// when tried again.
bool IsBusy(const Refusal& refusal);

// Why a read of Path that is neither found nor absent leaves nothing to write.
Refusal RefusalOfRead(const StoredString& stored);

// The most bytes of UTF-8 a line of Morlex's takes, CR LF included, so that
// writing it never waits for a reader that has given a small pipe.
inline constexpr std::size_t kMostLineBytes = 1024;

// "Morlex: ", what the request could not do, where and why, on one line that
// ends with CR LF, within kMostLineBytes. systemMessage is the system's text
// for the refusal's error code (empty when there is none). A long name, value
// or message shows its beginning and its end with "..." between.
std::string RefusalLine(const UpdateRequest& request, const Refusal& refusal,
                        std::string_view systemMessage);

inline constexpr char kOutOfMemoryLine[] = "Morlex: memory ran out; nothing was changed.\r\n";
inline constexpr char kUnexpectedErrorLine[] =
    "Morlex: an unexpected error ended the run; nothing was changed.\r\n";
