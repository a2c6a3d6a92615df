// The runner's whole sequence over task/platform.h: term, session, turn,
// the earlier run's record, the tool's run, its check, the copy, the
// record, the clearing of old copies. Returns the exit status.
#pragma once

int RunTask(int argc, const char16_t* const argv[]);
