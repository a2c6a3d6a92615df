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

// The arguments are taken in UTF-16, as typed, not in the PC's code page,
// which may lack the characters of a Japanese term.
int wmain(int argc, wchar_t* argv[]) {
  static_assert(sizeof(wchar_t) == sizeof(winsys::WCHAR),
                "Windows' wide characters are UTF-16 code units");
  UseUntranslatedBytes(stdout);
  return RunCommandWithWideArguments(
      argc, reinterpret_cast<const winsys::WCHAR* const*>(argv), stdout,
      kLogPath);
}
