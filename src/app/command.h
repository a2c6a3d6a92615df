// The tool's run: argument checks, the activity log and the three sweeps.
#pragma once

#include <cstdio>

#include "winsys/window_system.h"

// Checks the single argument of argv, then logs to log_path while sweeping
// the desktop three times with VisitWindow. Console messages go to console.
// Returns the exit status: 1 for a rejected argument, 0 after the sweeps.
int RunCommand(int argc, const char* const argv[], std::FILE* console,
               const char* log_path);

// Enumerates the top-level windows with visitor, then pauses, three times.
void RunSweeps(winsys::WNDENUMPROC visitor);
