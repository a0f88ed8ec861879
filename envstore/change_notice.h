// The notice that tells running programs the environment has changed.
#pragma once

// Sends WM_SETTINGCHANGE with "Environment" to every top-level window,
// waiting at most 5000 ms in all. Windows of different threads are sent to
// side by side, the windows of one thread in turn; every window not told by
// then is handed the notice without waiting, to get it when its thread is
// free. The window list outlives every sending thread.
void AnnounceEnvironmentChange() noexcept;
