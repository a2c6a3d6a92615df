// The floor under the tool's run: three enumerations of the top-level windows
// through the same seam, reading each window's title, class name and three
// states, with no log, no matching and no pauses. Prints how many windows
// each sweep saw.
#include <cstdio>

#include "winsys/window_system.h"

namespace {

struct SweepTally {
  long windows = 0;
  long checksum = 0;  // keeps every read in use
};

SweepTally tally;

winsys::BOOL ReadWindow(winsys::HWND window, winsys::LPARAM /*unused*/) {
  winsys::WCHAR title[1024];
  winsys::WCHAR class_name[1024];
  title[0] = 0;
  class_name[0] = 0;
  int title_length = winsys::GetWindowTextW(window, title, 1024);
  int class_length = winsys::GetClassNameW(window, class_name, 1024);
  tally.checksum += title_length + class_length + title[0] + class_name[0] +
                    winsys::IsWindowVisible(window) +
                    winsys::IsWindowEnabled(window) + winsys::IsWindow(window);
  ++tally.windows;
  return winsys::kTrue;
}

}  // namespace

int main() {
  for (int sweep = 1; sweep <= 3; ++sweep) {
    tally.windows = 0;
    winsys::EnumChildWindows(nullptr, ReadWindow, 0);
    std::printf("sweep %d: %ld windows (checksum %ld)\n", sweep, tally.windows,
                tally.checksum);
  }
  return 0;
}
