#include "match/own_console.h"

namespace {

winsys::HWND console_window = nullptr;
winsys::HWND console_root_owner = nullptr;

}  // namespace

void RememberOwnConsole() {
  console_window = winsys::GetConsoleWindow();
  console_root_owner =
      console_window != nullptr
          ? winsys::GetAncestor(console_window, winsys::kGaRootOwner)
          : nullptr;
}

// A handle is an opaque name, never dereferenced; it keeps the seam's type.
// cppcheck-suppress constParameter
bool IsOwnConsole(winsys::HWND window) {
  return window != nullptr &&
         (window == console_window || window == console_root_owner);
}
