// The seam between the tool's logic and the Windows window manager and
// system services. src/win/window_system_win32.cc realises it for the
// executable; the unit tests link the fake desktop of tests/fake/ in its
// place.
#pragma once

#include <cstdint>

// The tag <windows.h> gives window handles, so the two HWND types agree.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
struct HWND__;

namespace winsys {

using HWND = ::HWND__*;
using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using WNDENUMPROC = BOOL (*)(HWND, LPARAM);

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;
constexpr UINT kWmClose = 0x0010;
// GetAncestor's GA_ROOTOWNER: up the parent and owner chain to its root.
constexpr UINT kGaRootOwner = 3;
// ERROR_ACCESS_DENIED: what SendMessageA leaves when the target runs with
// higher rights and the message is not delivered.
constexpr DWORD kErrorAccessDenied = 5;
// FORMAT_MESSAGE_ALLOCATE_BUFFER | _FROM_SYSTEM | _IGNORE_INSERTS.
constexpr DWORD kSystemTextFlags = 0x1300;
// MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT).
constexpr DWORD kDefaultLanguage = 0x0400;

// Calls visitor once per child of parent, or per top-level window when
// parent is null, until it returns kFalse. The tool ignores the result.
BOOL EnumChildWindows(HWND parent, WNDENUMPROC visitor, LPARAM param);
// Copies at most max_count - 1 bytes of the title and a NUL; text is left
// empty when there is no title or the read fails. Returns the length.
int GetWindowTextA(HWND window, char* text, int max_count);
// Copies the class name like GetWindowTextA; empty on failure. Returns the
// length, 0 on failure.
int GetClassNameA(HWND window, char* name, int max_count);
// kTrue when the window and its ancestors are visible.
BOOL IsWindowVisible(HWND window);
// kTrue when the window accepts input.
BOOL IsWindowEnabled(HWND window);
// kTrue when the handle still names a window.
BOOL IsWindow(HWND window);
// With kGaRootOwner, the window at the root of window's parent and owner
// chain (window itself when it has neither); null for no window.
HWND GetAncestor(HWND window, UINT flags);
// The window of the console the process is attached to; null without one.
HWND GetConsoleWindow();
// Delivers the message and waits until it is processed; returns the
// window's answer, or 0 when it could not be delivered, which sets the last
// error (kErrorAccessDenied when the target runs with higher rights).
LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Suspends the calling thread for milliseconds.
void Sleep(DWORD milliseconds);
// The calling thread's last-error code.
DWORD GetLastError();
// Sets the calling thread's last-error code.
void SetLastError(DWORD code);
// With kSystemTextFlags, points *text at a newly allocated NUL-terminated
// system text for message_id and returns its length; returns 0 and leaves
// *text alone when there is none.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD message_id,
                     DWORD language_id, char** text, DWORD min_size);
// Releases a text allocated by FormatMessageA; returns null on success.
void* LocalFree(void* memory);

}  // namespace winsys
