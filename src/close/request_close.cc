#include "close/request_close.h"

#include "log/activity_log.h"

namespace {

constexpr winsys::DWORD kGracePauseMs = 5000;
constexpr winsys::DWORD kRetryPauseMs = 1000;

// The last error is cleared first so that, after an answer of 0, it tells a
// request the platform would not deliver from one the window accepted.
winsys::LRESULT SendCloseRequest(winsys::HWND window) {
  winsys::SetLastError(0);
  return winsys::SendMessageA(window, winsys::kWmClose, 0, 0);
}

// The text is released in the same pass whether or not it was logged.
void LogCloseFailure(winsys::DWORD error) {
  char* system_text = nullptr;
  winsys::DWORD length =
      winsys::FormatMessageA(winsys::kSystemTextFlags, nullptr, error,
                             winsys::kDefaultLanguage, &system_text, 0);
  WriteCloseRefusedLines(length != 0 ? system_text : nullptr);
  if (length != 0) {
    winsys::LocalFree(system_text);
  }
}

}  // namespace

void RequestClose(winsys::HWND window) {
  winsys::Sleep(kGracePauseMs);
  while (SendCloseRequest(window) != 0) {
    winsys::Sleep(kRetryPauseMs);
    // Whatever the thread holds after the pause, as the refusal left it.
    LogCloseFailure(winsys::GetLastError());
  }
  // A window of a program with higher rights is never handed the message.
  // Asking again could never get through and would hold the run forever, so
  // the failure is logged once and the sweep goes on.
  if (winsys::GetLastError() == winsys::kErrorAccessDenied) {
    LogCloseFailure(winsys::kErrorAccessDenied);
  }
}
