// Asking one window to close, for as long as it refuses.
#pragma once

#include "winsys/window_system.h"

// After a grace pause sends WM_CLOSE, and while the window refuses, pauses a
// second, logs the system's error text and sends again. Returns once a
// request is answered with 0: accepted, or the window is gone. A request the
// platform will not deliver (a target with higher rights, or one that is not
// responding) is logged as failed at once and not repeated.
void RequestClose(winsys::HWND window);
