// Asking one window to close, for as long as it refuses, within a limit.
#pragma once

#include "winsys/window_system.h"

// Starts a run's requests: none given up, none awaited. Called once,
// before the sweeps.
void StartCloseRequests();

// After a grace pause sends WM_CLOSE and waits for the answer while the
// window's program reads its messages (a person may be answering a prompt);
// while the window refuses, pauses a second, logs the system's error text
// and asks again. Returns once the answer is 0 or the window is gone. A
// request the platform will not deliver, and one to a program that is not
// responding or stops responding while it handles it, is logged as failed
// at once and not repeated. A window still refusing or unanswered after
// kAnswerLimitMs is logged as failed and the run's requests are given up.
void RequestClose(winsys::HWND window);

// True once a window went unanswered past the limit: no window is asked
// to close for the rest of the run.
bool CloseRequestsGivenUp();
