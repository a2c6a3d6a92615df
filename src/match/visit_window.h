// What each sweep does to one top-level window.
#pragma once

#include "winsys/window_system.h"

// Logs the window's title and class name; when the title contains the search
// term (A-Z folded to a-z byte by byte) and the window is visible, enabled
// and still a window, logs it as selected and asks it to close. Always
// returns kTrue so the enumeration goes on.
winsys::BOOL VisitWindow(winsys::HWND window, winsys::LPARAM unused);
