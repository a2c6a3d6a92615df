#include "close/request_close.h"

#include <algorithm>
#include <vector>

#include "close/answer_limit.h"
#include "log/activity_log.h"
#include "winsys/shift_jis.h"

namespace {

constexpr winsys::DWORD kGracePauseMs = 5000;
constexpr winsys::DWORD kRetryPauseMs = 1000;
// How long a wait blocks before it looks at the window again, unless an
// answer arrives first: twice a second costs next to nothing.
constexpr winsys::DWORD kWatchIntervalMs = 500;
// A program counts as not responding once the platform has called it so
// for this long on end: a thread that has waited over 5 s for a message is
// called hung for the moment between its waking for one and its taking it.
constexpr winsys::ULONGLONG kHungConfirmMs = 1000;

// What came of one request.
enum class Outcome {
  kAccepted,       // answered 0
  kRefused,        // answered anything else
  kGone,           // the window no longer exists
  kNotResponding,  // its program reads no messages
  kUndelivered,    // the platform would not deliver it
  kOutOfTime,      // no answer within the visit's limit
};

// A request sent and not yet answered. A program that stops responding
// while it handles one may answer it long after the run stopped waiting.
struct Request {
  winsys::HWND window;
  winsys::DWORD_PTR number;
  bool answered;
  winsys::LRESULT answer;
};

std::vector<Request> unanswered;
winsys::DWORD_PTR requests_sent = 0;
bool requests_given_up = false;

std::vector<Request>::iterator FindRequestTo(winsys::HWND window) {
  return std::find_if(
      unanswered.begin(), unanswered.end(),
      [window](const Request& request) { return request.window == window; });
}

Request* UnansweredRequestTo(winsys::HWND window) {
  auto found = FindRequestTo(window);
  return found != unanswered.end() ? &*found : nullptr;
}

// The platform's order of parameters for an answer's receiver.
// NOLINTBEGIN(bugprone-easily-swappable-parameters)
void OnAnswer(winsys::HWND /*window*/, winsys::UINT /*message*/,
              winsys::DWORD_PTR number, winsys::LRESULT answer) {
  // NOLINTEND(bugprone-easily-swappable-parameters)
  for (Request& request : unanswered) {
    if (request.number == number) {
      request.answered = true;
      request.answer = answer;
    }
  }
}

void Forget(winsys::HWND window) {
  auto found = FindRequestTo(window);
  if (found != unanswered.end()) {
    unanswered.erase(found);
  }
}

// The last error is cleared first, so after a refusal the code logged is
// the one the platform left during the pause.
bool Send(winsys::HWND window) {
  winsys::SetLastError(0);
  const winsys::DWORD_PTR number = ++requests_sent;
  unanswered.push_back(Request{window, number, false, 0});
  if (winsys::SendMessageCallbackA(window, winsys::kWmClose, 0, 0, OnAnswer,
                                   number) == 0) {
    unanswered.pop_back();
    return false;
  }
  return true;
}

// Empties this thread's queue, which hands on the answers owed to it. A
// queue left full would wake every wait on it at once.
void TakeQueuedMessages() {
  while (winsys::PeekMessageA(nullptr, 0, 0, winsys::kPmRemove) != 0) {
  }
}

// Blocks until something arrives in the emptied queue, at most
// milliseconds.
void WaitOnQueue(winsys::DWORD milliseconds) {
  winsys::MsgWaitForMultipleObjects(0, nullptr, winsys::kFalse, milliseconds,
                                    winsys::kQsAllInput);
}

// Whether the platform calls a window's program hung, and since when.
struct HungWatch {
  bool hung = false;
  winsys::ULONGLONG since = 0;
};

enum class Hung { kNo, kSoFar, kOnEnd };

// Looks at the window once: not hung, hung so far, or hung for
// kHungConfirmMs on end, as far as the looks of watch tell.
Hung LookForHang(HungWatch* watch, winsys::HWND window, winsys::ULONGLONG now) {
  if (winsys::IsHungAppWindow(window) == 0) {
    watch->hung = false;
    return Hung::kNo;
  }
  if (!watch->hung) {
    watch->hung = true;
    watch->since = now;
  }
  return now - watch->since >= kHungConfirmMs ? Hung::kOnEnd : Hung::kSoFar;
}

bool StaysNotResponding(winsys::HWND window) {
  HungWatch watch;
  for (;;) {
    switch (LookForHang(&watch, window, winsys::GetTickCount64())) {
      case Hung::kNo:
        return false;
      case Hung::kOnEnd:
        return true;
      case Hung::kSoFar:
        TakeQueuedMessages();
        WaitOnQueue(kWatchIntervalMs);
        break;
    }
  }
}

// Waits for the window's answer while it reads its messages (a person may
// be answering its prompt), blocked on this thread's queue between looks.
Outcome AwaitAnswer(winsys::HWND window, winsys::ULONGLONG deadline) {
  HungWatch watch;
  for (;;) {
    TakeQueuedMessages();
    const Request* request = UnansweredRequestTo(window);
    if (request != nullptr && request->answered) {
      const winsys::LRESULT answer = request->answer;
      Forget(window);
      return answer == 0 ? Outcome::kAccepted : Outcome::kRefused;
    }
    if (winsys::IsWindow(window) == 0) {
      Forget(window);
      return Outcome::kGone;
    }
    const winsys::ULONGLONG now = winsys::GetTickCount64();
    if (LookForHang(&watch, window, now) == Hung::kOnEnd) {
      return Outcome::kNotResponding;
    }
    if (now >= deadline) {
      return Outcome::kOutOfTime;
    }
    const winsys::ULONGLONG left = deadline - now;
    WaitOnQueue(left < kWatchIntervalMs ? static_cast<winsys::DWORD>(left)
                                        : kWatchIntervalMs);
  }
}

// Nothing is sent to a program that reads no messages, and nothing more to
// one still owing the answer to an earlier request: that one is waited for.
Outcome Ask(winsys::HWND window, winsys::ULONGLONG deadline,
            winsys::DWORD* reason) {
  if (StaysNotResponding(window)) {
    return Outcome::kNotResponding;
  }
  // An answer that came while the run was busy elsewhere is still in the
  // queue: taken now, it is seen to belong to an earlier visit.
  TakeQueuedMessages();
  const Request* earlier = UnansweredRequestTo(window);
  if (earlier != nullptr && earlier->answered) {
    // Answered after the run stopped waiting: this visit asks afresh.
    Forget(window);
    earlier = nullptr;
  }
  if (earlier == nullptr && !Send(window)) {
    *reason = winsys::GetLastError();
    // The platform does not always set the reason for a failed send; only
    // a window that is gone has surely been dealt with.
    return winsys::IsWindow(window) != 0 ? Outcome::kUndelivered
                                         : Outcome::kGone;
  }
  return AwaitAnswer(window, deadline);
}

// The text is logged in code page 932 like every other, and released in
// the same pass whether or not it was logged.
void LogCloseFailure(winsys::DWORD error) {
  winsys::WCHAR* system_text = nullptr;
  winsys::DWORD length =
      winsys::FormatMessageW(winsys::kSystemTextFlags, nullptr, error,
                             winsys::kDefaultLanguage, &system_text, 0);
  if (length == 0) {
    WriteCloseRefusedLines(nullptr);
    return;
  }
  WriteCloseRefusedLines(InShiftJis(system_text).c_str());
  winsys::LocalFree(system_text);
}

// After ten minutes on one window the desktop may have changed past what
// the run was started for: a prompt answered the next morning must not let
// the run go on to close what the user has opened since.
void GiveUpRequests() {
  LogCloseFailure(winsys::kErrorTimeout);
  requests_given_up = true;
}

}  // namespace

void StartCloseRequests() {
  unanswered.clear();
  requests_given_up = false;
}

bool CloseRequestsGivenUp() { return requests_given_up; }

void RequestClose(winsys::HWND window) {
  winsys::Sleep(kGracePauseMs);
  const winsys::ULONGLONG deadline = winsys::GetTickCount64() + kAnswerLimitMs;
  for (;;) {
    winsys::DWORD reason = 0;
    switch (Ask(window, deadline, &reason)) {
      case Outcome::kAccepted:
      case Outcome::kGone:
        return;
      case Outcome::kRefused:
        winsys::Sleep(kRetryPauseMs);
        // Whatever the thread holds after the pause, as the refusal left it.
        LogCloseFailure(winsys::GetLastError());
        if (winsys::GetTickCount64() >= deadline) {
          GiveUpRequests();
          return;
        }
        break;
      case Outcome::kNotResponding:
        // Logged once; the next sweep asks again.
        LogCloseFailure(winsys::kErrorTimeout);
        return;
      case Outcome::kUndelivered:
        // Code 0 has a text, but it says all went well.
        if (reason != 0) {
          LogCloseFailure(reason);
        } else {
          WriteCloseRefusedLines(nullptr);
        }
        return;
      case Outcome::kOutOfTime:
        GiveUpRequests();
        return;
    }
  }
}
