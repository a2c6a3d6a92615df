// The seam's one conversion of UTF-16 text to a code page, kept apart from
// the window functions: the task's runner converts text too, and opens no
// window.
#include <windows.h>

#include "winsys/window_system.h"

namespace winsys {

int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide,
                        int wide_length, char* narrow, int narrow_size,
                        const char* default_char, BOOL* used_default) {
  return ::WideCharToMultiByte(code_page, flags, reinterpret_cast<LPCWCH>(wide),
                               wide_length, narrow, narrow_size, default_char,
                               used_default);
}

}  // namespace winsys
