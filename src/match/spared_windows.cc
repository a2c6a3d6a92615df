#include "match/spared_windows.h"

#include <cstring>

namespace {

winsys::HWND console_window = nullptr;
winsys::HWND console_root_owner = nullptr;
winsys::HWND shell_window = nullptr;

// The main taskbar, and the one on each further monitor. Class names are
// compared exactly: the platform reports them as registered.
bool IsTaskbarClass(const char* class_name) {
  return std::strcmp(class_name, "Shell_TrayWnd") == 0 ||
         std::strcmp(class_name, "Shell_SecondaryTrayWnd") == 0;
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
         window == shell_window || IsTaskbarClass(class_name);
}
