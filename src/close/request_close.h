// Asking one window to close, for as long as it refuses.
#pragma once

#include "winsys/window_system.h"

// After a grace pause sends WM_CLOSE, and while the window refuses, pauses a
// second, logs the system's error text and sends again. Returns once a
// request is answered with 0, which is also the answer when the window is
// gone or out of reach.
void RequestClose(winsys::HWND window);
