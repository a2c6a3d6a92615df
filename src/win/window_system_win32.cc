// The seam realised with user32 and kernel32, narrow forms throughout.
#include <windows.h>

#include "winsys/window_system.h"

static_assert(winsys::kGaRootOwner == GA_ROOTOWNER);
static_assert(winsys::kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(winsys::kErrorTimeout == ERROR_TIMEOUT);
static_assert(winsys::kSmtoAbortIfHung == SMTO_ABORTIFHUNG);

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

int GetWindowTextA(HWND window, char* text, int max_count) {
  return ::GetWindowTextA(window, text, max_count);
}

int GetClassNameA(HWND window, char* name, int max_count) {
  return ::GetClassNameA(window, name, max_count);
}

BOOL IsWindowVisible(HWND window) { return ::IsWindowVisible(window); }

BOOL IsWindowEnabled(HWND window) { return ::IsWindowEnabled(window); }

BOOL IsWindow(HWND window) { return ::IsWindow(window); }

HWND GetAncestor(HWND window, UINT flags) {
  return ::GetAncestor(window, flags);
}

HWND GetConsoleWindow() { return ::GetConsoleWindow(); }

HWND GetShellWindow() { return ::GetShellWindow(); }

LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam, UINT flags, UINT timeout_ms,
                            DWORD_PTR* result) {
  // The 32-bit headers spell DWORD_PTR as unsigned long, not uintptr_t.
  ::DWORD_PTR answer = 0;
  LRESULT sent = ::SendMessageTimeoutA(window, message, wparam, lparam, flags,
                                       timeout_ms, &answer);
  *result = answer;
  return sent;
}

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

DWORD GetLastError() { return ::GetLastError(); }

void SetLastError(DWORD code) { ::SetLastError(code); }

DWORD FormatMessageA(DWORD flags, const void* source, DWORD message_id,
                     DWORD language_id, char** text, DWORD min_size) {
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument is the address
  // of the pointer to fill.
  return ::FormatMessageA(flags, source, message_id, language_id,
                          reinterpret_cast<LPSTR>(text), min_size, nullptr);
}

void* LocalFree(void* memory) { return ::LocalFree(memory); }

}  // namespace winsys
