// The windows a run never asks to close, whatever their titles:
// - the console it reports in, and the window at the root of that console's
//   owner chain (the terminal hosting it under Windows Terminal, the console
//   window itself under the classic host): closing either would end the run
//   before it reached the windows it was asked to close;
// - the shell's desktop window and its taskbars: asked to close, the desktop
//   offers to shut the PC down, and neither is a window anyone means;
// - the stand-ins Windows shows for programs that stopped responding, and
//   the windows of the system's app hosts, which no one means either.
#pragma once

#include "winsys/window_system.h"

// Reads the run's console window, its root owner and the shell's window;
// called once, before the sweeps. What is missing spares nothing.
void RememberSparedWindows();
// True for a window remembered last, or one of the system's by its class
// name.
bool IsSpared(winsys::HWND window, const char* class_name);
