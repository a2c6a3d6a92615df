// The windows a run never asks to close: the console it reports in, and the
// window at the root of that console's owner chain (the terminal hosting it
// under Windows Terminal, the console window itself under the classic host).
// Closing either would end the run before it reached the windows it was
// asked to close.
#pragma once

#include "winsys/window_system.h"

// Reads the run's console window and its root owner; called once, before
// the sweeps. Without a console there is nothing to spare.
void RememberOwnConsole();
// True for the console window and its root owner remembered last.
bool IsOwnConsole(winsys::HWND window);
