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
using ULONGLONG = std::uint64_t;
// A UTF-16 code unit, as the window system speaks.
using WCHAR = char16_t;
using WNDENUMPROC = BOOL (*)(HWND, LPARAM);
// Receives the answer to a message sent with SendMessageCallbackA, with the
// data given at the send.
using SENDASYNCPROC = void (*)(HWND, UINT, DWORD_PTR, LRESULT);

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;
constexpr UINT kWmClose = 0x0010;
// GetAncestor's GA_ROOTOWNER: up the parent and owner chain to its root.
constexpr UINT kGaRootOwner = 3;
// ERROR_ACCESS_DENIED: what a send leaves when the target runs with higher
// rights and the message is not delivered.
constexpr DWORD kErrorAccessDenied = 5;
// ERROR_TIMEOUT: the error whose system text is logged for a window whose
// program is not responding, or that gave no answer in time.
constexpr DWORD kErrorTimeout = 1460;
// PM_REMOVE: PeekMessageA takes the message off the queue.
constexpr UINT kPmRemove = 0x0001;
// QS_ALLINPUT: MsgWaitForMultipleObjects wakes for anything in the queue.
constexpr DWORD kQsAllInput = 0x04FF;
// WAIT_TIMEOUT: MsgWaitForMultipleObjects woke for nothing.
constexpr DWORD kWaitTimeout = 258;
// FORMAT_MESSAGE_ALLOCATE_BUFFER | _FROM_SYSTEM | _IGNORE_INSERTS.
constexpr DWORD kSystemTextFlags = 0x1300;
// MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT).
constexpr DWORD kDefaultLanguage = 0x0400;
// Shift_JIS: the code page of the log, the console messages and the term.
constexpr UINT kShiftJisCodePage = 932;

// Calls visitor once per child of parent, or per top-level window when
// parent is null, until it returns kFalse. The tool ignores the result.
BOOL EnumChildWindows(HWND parent, WNDENUMPROC visitor, LPARAM param);
// Copies at most max_count - 1 code units of the title and a NUL; text is
// left alone when there is no title or the read fails. Returns the length.
int GetWindowTextW(HWND window, WCHAR* text, int max_count);
// Copies the class name like GetWindowTextW. Returns the length, 0 on
// failure.
int GetClassNameW(HWND window, WCHAR* name, int max_count);
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
// kTrue when the window's program has read no message for 5 seconds (not
// while it shows a prompt: a prompt keeps reading them).
BOOL IsHungAppWindow(HWND window);
// Queues the message for the window's thread and returns at once; the
// window's answer reaches on_answer, with data, later on this thread, in a
// PeekMessageA call. kFalse when the message was not delivered, the reason
// then in the last error (kErrorAccessDenied when the target runs with
// higher rights).
BOOL SendMessageCallbackA(HWND window, UINT message, WPARAM wparam,
                          LPARAM lparam, SENDASYNCPROC on_answer,
                          DWORD_PTR data);
// Takes the next message off this thread's queue and drops it (the tool
// owns no window), handing on the answers owed to SendMessageCallbackA on
// the way. kTrue when a message was taken.
BOOL PeekMessageA(HWND window, UINT filter_min, UINT filter_max,
                  UINT remove_flags);
// Blocks until something arrives in this thread's queue (with kQsAllInput
// and no handles) or milliseconds have passed; kWaitTimeout for the latter.
DWORD MsgWaitForMultipleObjects(DWORD count, const void* handles, BOOL wait_all,
                                DWORD milliseconds, DWORD wake_mask);
// Milliseconds since the system started; never wraps.
ULONGLONG GetTickCount64();
// Suspends the calling thread for milliseconds.
void Sleep(DWORD milliseconds);
// The calling thread's last-error code.
DWORD GetLastError();
// Sets the calling thread's last-error code.
void SetLastError(DWORD code);
// With kSystemTextFlags, points *text at a newly allocated NUL-terminated
// system text for message_id and returns its length; returns 0 and leaves
// *text alone when there is none.
DWORD FormatMessageW(DWORD flags, const void* source, DWORD message_id,
                     DWORD language_id, WCHAR** text, DWORD min_size);
// Releases a text allocated by FormatMessageW; returns null on success.
void* LocalFree(void* memory);
// Converts wide_length code units of wide (-1: up to and with its NUL) to
// code_page, with flags 0 as the narrow functions convert: a character the
// code page lacks becomes a near one or '?'. Writes at most narrow_size
// bytes and returns how many, or with narrow_size 0 only returns how many
// it would write; 0 when they do not fit.
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR* wide,
                        int wide_length, char* narrow, int narrow_size,
                        const char* default_char, BOOL* used_default);

}  // namespace winsys
