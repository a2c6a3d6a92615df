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
using DWORD_PTR = std::uintptr_t;
using WNDENUMPROC = BOOL (*)(HWND, LPARAM);

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;
constexpr UINT kWmClose = 0x0010;
// GetAncestor's GA_ROOTOWNER: up the parent and owner chain to its root.
constexpr UINT kGaRootOwner = 3;
// ERROR_ACCESS_DENIED: what a send leaves when the target runs with higher
// rights and the message is not delivered.
constexpr DWORD kErrorAccessDenied = 5;
// ERROR_TIMEOUT: what a send with kSmtoAbortIfHung leaves when the target's
// thread is not responding (has read no message for 5 seconds).
constexpr DWORD kErrorTimeout = 1460;
// SMTO_ABORTIFHUNG: return at once, undelivered, when the target is hung.
constexpr UINT kSmtoAbortIfHung = 0x0002;
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
// The shell's desktop window; null when no shell is running.
HWND GetShellWindow();
// Delivers the message and waits, at most timeout_ms, until it is processed,
// storing the window's answer in *result; returns non-zero then. Returns 0
// when it was not delivered or not answered in time, with the reason in the
// last error (kErrorTimeout for a hung target under kSmtoAbortIfHung,
// kErrorAccessDenied when the target runs with higher rights).
LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam, UINT flags, UINT timeout_ms,
                            DWORD_PTR* result);
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
