// The seam realised with user32 and kernel32. Text is read in UTF-16 and
// converted to a code page named by the caller, never the PC's own
// (code_page_win32.cc).
#include <windows.h>

#include "winsys/window_system.h"

static_assert(winsys::kGaRootOwner == GA_ROOTOWNER);
static_assert(winsys::kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(winsys::kErrorTimeout == ERROR_TIMEOUT);
static_assert(winsys::kPmRemove == PM_REMOVE);
static_assert(winsys::kWaitTimeout == WAIT_TIMEOUT);
// The headers' QS_ALLINPUT grows with the Windows version they target; the
// seam's is the one every Windows since XP takes, and wakes for answers.
static_assert((winsys::kQsAllInput & (QS_POSTMESSAGE | QS_SENDMESSAGE)) ==
              (QS_POSTMESSAGE | QS_SENDMESSAGE));

namespace {

struct EnumerationContext {
  winsys::WNDENUMPROC visitor;
  winsys::LPARAM param;
};

BOOL CALLBACK CallVisitor(HWND window, LPARAM context_address) {
  // EnumWindows hands the context back only as an integer.
  // NOLINTBEGIN(performance-no-int-to-ptr)
  const auto* context =
      reinterpret_cast<const EnumerationContext*>(context_address);
  // NOLINTEND(performance-no-int-to-ptr)
  return context->visitor(window, context->param);
}

// The platform calls back in its own calling convention; the tool has one
// receiver for every answer, kept here.
winsys::SENDASYNCPROC answer_receiver = nullptr;

VOID CALLBACK PassAnswerOn(HWND window, UINT message, ULONG_PTR data,
                           LRESULT answer) {
  if (answer_receiver != nullptr) {
    answer_receiver(window, message, data, answer);
  }
}

}  // namespace

namespace winsys {

// Wine enumerates nothing for EnumChildWindows with a null parent, which
// Windows documents as EnumWindows; EnumWindows does the same on both.
BOOL EnumChildWindows(HWND parent, WNDENUMPROC visitor, LPARAM param) {
  EnumerationContext context{visitor, param};
  auto context_address = reinterpret_cast<::LPARAM>(&context);
  if (parent == nullptr) {
    return ::EnumWindows(CallVisitor, context_address);
  }
  return ::EnumChildWindows(parent, CallVisitor, context_address);
}

// WCHAR is the seam's name for a UTF-16 code unit, which wchar_t is here.
static_assert(sizeof(WCHAR) == sizeof(::WCHAR));

int GetWindowTextW(HWND window, WCHAR* text, int max_count) {
  return ::GetWindowTextW(window, reinterpret_cast<LPWSTR>(text), max_count);
}

int GetClassNameW(HWND window, WCHAR* name, int max_count) {
  return ::GetClassNameW(window, reinterpret_cast<LPWSTR>(name), max_count);
}

BOOL IsWindowVisible(HWND window) { return ::IsWindowVisible(window); }

BOOL IsWindowEnabled(HWND window) { return ::IsWindowEnabled(window); }

BOOL IsWindow(HWND window) { return ::IsWindow(window); }

HWND GetAncestor(HWND window, UINT flags) {
  return ::GetAncestor(window, flags);
}

HWND GetConsoleWindow() { return ::GetConsoleWindow(); }

HWND GetShellWindow() { return ::GetShellWindow(); }

BOOL IsHungAppWindow(HWND window) { return ::IsHungAppWindow(window); }

BOOL SendMessageCallbackA(HWND window, UINT message, WPARAM wparam,
                          LPARAM lparam, SENDASYNCPROC on_answer,
                          DWORD_PTR data) {
  answer_receiver = on_answer;
  return ::SendMessageCallbackA(window, message, wparam, lparam, PassAnswerOn,
                                data);
}

BOOL PeekMessageA(HWND window, UINT filter_min, UINT filter_max,
                  UINT remove_flags) {
  MSG message;
  return ::PeekMessageA(&message, window, filter_min, filter_max, remove_flags);
}

DWORD MsgWaitForMultipleObjects(DWORD count, const void* handles, BOOL wait_all,
                                DWORD milliseconds, DWORD wake_mask) {
  return ::MsgWaitForMultipleObjects(count, static_cast<const HANDLE*>(handles),
                                     wait_all, milliseconds, wake_mask);
}

ULONGLONG GetTickCount64() { return ::GetTickCount64(); }

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

DWORD GetLastError() { return ::GetLastError(); }

void SetLastError(DWORD code) { ::SetLastError(code); }

DWORD FormatMessageW(DWORD flags, const void* source, DWORD message_id,
                     DWORD language_id, WCHAR** text, DWORD min_size) {
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument is the address
  // of the pointer to fill.
  return ::FormatMessageW(flags, source, message_id, language_id,
                          reinterpret_cast<LPWSTR>(text), min_size, nullptr);
}

void* LocalFree(void* memory) { return ::LocalFree(memory); }

}  // namespace winsys
