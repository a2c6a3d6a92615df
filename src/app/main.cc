#include <cstdio>

#include "app/command.h"
#include "log/activity_log.h"
#include "log/text_output.h"

#ifdef _WIN32
// Arguments reach the checks as typed: * and ? are never expanded.
extern "C" {
int _dowildcard = 0;
}
#endif  // _WIN32

int main(int argc, char* argv[]) {
  UseUntranslatedBytes(stdout);
  return RunCommand(argc, argv, stdout, kLogPath);
}
