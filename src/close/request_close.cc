#include "close/request_close.h"

#include "log/activity_log.h"

namespace {

constexpr winsys::DWORD kGracePauseMs = 5000;
constexpr winsys::DWORD kRetryPauseMs = 1000;

winsys::LRESULT SendCloseRequest(winsys::HWND window) {
  return winsys::SendMessageA(window, winsys::kWmClose, 0, 0);
}

// The error code is the one the thread holds after the pause, whatever set
// it; the text is released in the same pass whether or not it was logged.
void LogRefusal() {
  winsys::DWORD error = winsys::GetLastError();
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
  winsys::LRESULT answer = SendCloseRequest(window);
  while (answer != 0) {
    winsys::Sleep(kRetryPauseMs);
    LogRefusal();
    answer = SendCloseRequest(window);
  }
}
