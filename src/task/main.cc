// The program a task starts on each PC, in place of a command prompt: it
// finds the term, waits its turn among the runs of the PC's sessions, runs
// tesmarinds.exe from its own folder without a console window, checks the
// log the run wrote, keeps a dated copy of it and records the run in the
// history, ending with a status that says whether the run did its job.
// Built for the Windows subsystem, it shows no window of its own, so
// nothing appears at the task's hour that a user could close.
#include "task/run_task.h"

// The term reaches the checks as written: * and ? are never expanded.
extern "C" {
int _dowildcard = 0;
}

int wmain(int argc, wchar_t* argv[]) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t),
                "Windows' wide characters are UTF-16 code units");
  return RunTask(argc, reinterpret_cast<const char16_t* const*>(argv));
}
