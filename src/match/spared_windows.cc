#include "match/spared_windows.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

winsys::HWND console_window = nullptr;
winsys::HWND console_root_owner = nullptr;
winsys::HWND shell_window = nullptr;

// Windows of the system's own, by class name, compared exactly as the
// platform reports them registered:
// - the main taskbar, and the one on each further monitor;
// - the stand-in Windows shows, titled like it, for a program's window that
//   stopped responding: asked to close, it offers to end the program;
// - the windows of the system's app hosts (the touch keyboard and emoji
//   panel, the Start menu's and search's hosts), hidden from the user but
//   reported visible, with titles such as "Microsoft Text Input
//   Application" that ordinary terms match.
constexpr const char* kSystemClasses[] = {
    "Shell_TrayWnd",
    "Shell_SecondaryTrayWnd",
    "Ghost",
    "Windows.UI.Core.CoreWindow",
};

bool IsSystemClass(const char* class_name) {
  return std::any_of(std::begin(kSystemClasses), std::end(kSystemClasses),
                     [class_name](const char* system_class) {
                       return std::strcmp(class_name, system_class) == 0;
                     });
}

}  // namespace

void RememberSparedWindows() {
  console_window = winsys::GetConsoleWindow();
  console_root_owner =
      console_window != nullptr
          ? winsys::GetAncestor(console_window, winsys::kGaRootOwner)
          : nullptr;
  shell_window = winsys::GetShellWindow();
}

// A handle is an opaque name, never dereferenced; it keeps the seam's type.
// cppcheck-suppress constParameter
bool IsSpared(winsys::HWND window, const char* class_name) {
  if (window == nullptr) {
    return false;
  }
  return window == console_window || window == console_root_owner ||
         window == shell_window || IsSystemClass(class_name);
}
