// The tool's run: argument checks, the activity log and the three sweeps.
#pragma once

#include <cstdio>

#include "winsys/window_system.h"

// Checks the single argument of argv, then logs to log_path while sweeping
// the desktop three times with VisitWindow. Console messages go to console.
// Returns the exit status: 1 for a rejected argument, 0 after the sweeps.
int RunCommand(int argc, const char* const argv[], std::FILE* console,
               const char* log_path);

// RunCommand for arguments as the platform gives them, in UTF-16: each is
// converted to code page 932 first, so the checks hold for its Shift_JIS
// bytes whatever the PC's code page.
int RunCommandWithWideArguments(int argc, const winsys::WCHAR* const argv[],
                                std::FILE* console, const char* log_path);

// Enumerates the top-level windows with visitor, then pauses, three times.
void RunSweeps(winsys::WNDENUMPROC visitor);
