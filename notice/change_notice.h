// The notice that tells running programs the environment has changed.
#pragma once

// Who is told: the windows of this run's own desktop, or, for a change of
// the system environment made as SYSTEM, the people logged on to the other
// sessions too.
enum class NoticeReach { OwnDesktop, OtherSessionsToo };

// Sends WM_SETTINGCHANGE with "Environment" to every top-level window,
// waiting at most 5000 ms in all. Windows of different threads are sent to
// side by side, the windows of one thread in turn; when any window was not
// told by then, one broadcast hands the notice over without waiting, to be
// delivered when each thread is free. The window list outlives every
// sending thread. With OtherSessionsToo, the relay runs beside it, within the
// same 5000 ms.
void AnnounceEnvironmentChange(NoticeReach reach) noexcept;
