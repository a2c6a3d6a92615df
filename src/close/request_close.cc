#include "close/request_close.h"

#include "log/activity_log.h"

namespace {

constexpr winsys::DWORD kGracePauseMs = 5000;
constexpr winsys::DWORD kRetryPauseMs = 1000;
// A window that answers is waited for as long as it takes (a "save
// changes?" prompt shown while handling the request keeps it answering);
// only a hung one makes the send give up. A time-out of 0 would block.
constexpr winsys::UINT kAnswerWaitMs = 0xFFFFFFFF;

// True when the window answered, its answer then in *answer. The last error
// is cleared first, so after a refusal the code logged is the one the
// platform left during the pause, and after a failed send it is the
// reason.
bool SendCloseRequest(winsys::HWND window, winsys::DWORD_PTR* answer) {
  winsys::SetLastError(0);
  return winsys::SendMessageTimeoutA(window, winsys::kWmClose, 0, 0,
                                     winsys::kSmtoAbortIfHung, kAnswerWaitMs,
                                     answer) != 0;
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
  winsys::DWORD_PTR answer = 0;
  while (SendCloseRequest(window, &answer)) {
    if (answer == 0) {
      return;
    }
    winsys::Sleep(kRetryPauseMs);
    // Whatever the thread holds after the pause, as the refusal left it.
    LogCloseFailure(winsys::GetLastError());
  }
  // Not delivered. A window of a program with higher rights never gets the
  // message, and a hung one will not read it: asking again could hold the
  // run forever, so the failure is logged once and the sweep goes on; the
  // next sweep asks a hung window again. A window that is gone is done.
  winsys::DWORD reason = winsys::GetLastError();
  if (reason == winsys::kErrorAccessDenied || reason == winsys::kErrorTimeout) {
    LogCloseFailure(reason);
  }
}
