#include <algorithm>
#include <string>
#include <vector>

#include "close/request_close.h"
#include "log/activity_log.h"
#include "support/test_support.h"

namespace {

using fake::Call;

constexpr winsys::DWORD kAccessDenied = 5;
const char kAccessDeniedText[] = "Access is denied.\r\n";
constexpr winsys::DWORD kTimeout = 1460;
const char kTimeoutText[] =
    "This operation returned because the timeout period expired.\r\n";

class CloseRequest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    desktop_.SetLastErrorCode(kAccessDenied);
    desktop_.SetSystemText(kAccessDenied, kAccessDeniedText);
    window_ = desktop_.AddWindow("Target", "TargetClass");
  }

  // Asks the window to close with the log open, and returns the log.
  std::string RequestCloseAndReadLog() {
    EXPECT_TRUE(OpenActivityLog(log_path_.c_str()));
    RequestClose(window_);
    CloseActivityLog();
    return LogBytes();
  }

  std::vector<std::string> PausesAndRequests() const {
    return desktop_.Trace({Call::kSleep, Call::kSendMessageCallbackA});
  }

  winsys::HWND window_ = nullptr;
};

// One refusal in the log: the system text as the platform gave it, its CR LF
// going out as CR CR LF, then the fixed failure line.
std::string RefusalLines(const std::string& system_text) {
  std::string text = system_text;
  std::string::size_type at = text.find('\n');
  if (at != std::string::npos) {
    text.replace(at, 1, "\r\n");
  }
  return text + Sjis("WM_CLOSEに失敗しました\r\n");
}

TEST_F(CloseRequest, AcceptedAtOnceAfterTheGracePause) {
  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(
      (std::vector<std::string>{"Sleep 5000", "SendMessageCallbackA #1 0x10"}),
      PausesAndRequests());
  EXPECT_EQ("", log);
  EXPECT_FALSE(desktop_.IsPresent(window_));
}

TEST_F(CloseRequest, RetriesEverySecondUntilAccepted) {
  desktop_.RefuseClose(window_, 3);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(
      (std::vector<std::string>{"Sleep 5000", "SendMessageCallbackA #1 0x10",
                                "Sleep 1000", "SendMessageCallbackA #1 0x10",
                                "Sleep 1000", "SendMessageCallbackA #1 0x10",
                                "Sleep 1000", "SendMessageCallbackA #1 0x10"}),
      PausesAndRequests());
  EXPECT_EQ(8000, desktop_.now_ms);
  EXPECT_EQ("Access is denied.\r\r\n" + Sjis("WM_CLOSEに失敗しました\r\n") +
                "Access is denied.\r\r\n" + Sjis("WM_CLOSEに失敗しました\r\n") +
                "Access is denied.\r\r\n" + Sjis("WM_CLOSEに失敗しました\r\n"),
            log);
  EXPECT_EQ(0, desktop_.texts_outstanding);
  EXPECT_EQ(0, desktop_.bad_frees);
}

TEST_F(CloseRequest, ReadsTheErrorCodeAfterThePauseAndReleasesTheText) {
  desktop_.RefuseClose(window_, 1);

  RequestCloseAndReadLog();

  // The code is read after the pause, not at the refusal; the answer of 0
  // that follows ends the request with no look at it.
  EXPECT_EQ((std::vector<std::string>{
                "Sleep 5000", "SendMessageCallbackA #1 0x10", "Sleep 1000",
                "GetLastError 5", "FormatMessageW 5", "LocalFree",
                "SendMessageCallbackA #1 0x10"}),
            desktop_.Trace({Call::kSleep, Call::kSendMessageCallbackA,
                            Call::kGetLastError, Call::kFormatMessageW,
                            Call::kLocalFree}));
}

TEST_F(CloseRequest, ReadsTheErrorCodeAfreshOnEveryRefusal) {
  desktop_.RefuseClose(window_, 2);
  desktop_.SetSystemText(6, "The handle is invalid.\r\n");
  // Whatever last set the code during each pause is what gets logged.
  winsys::DWORD next_code = kAccessDenied;
  desktop_.on_sleep = [&](winsys::DWORD milliseconds) {
    if (milliseconds == 1000) {
      desktop_.SetLastErrorCode(next_code++);
    }
  };

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(RefusalLines(kAccessDeniedText) +
                RefusalLines("The handle is invalid.\r\n"),
            log);
}

TEST_F(CloseRequest, WithoutASystemTextLogsOnlyTheFailureLine) {
  desktop_.RefuseClose(window_, 2);
  desktop_.SetLastErrorCode(0xDEAD);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(Sjis("WM_CLOSEに失敗しました\r\nWM_CLOSEに失敗しました\r\n"), log);
  EXPECT_TRUE(desktop_.Trace({Call::kLocalFree}).empty());
}

// The system's texts are read in UTF-16 and logged in code page 932, as a
// Japanese PC gives them, whatever the PC's own code page.
TEST_F(CloseRequest, LogsTheSystemTextInCodePage932) {
  desktop_.RefuseClose(window_, 1);
  desktop_.SetSystemText(kAccessDenied, "アクセスが拒否されました。\r\n");

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(Sjis("アクセスが拒否されました。\r\r\nWM_CLOSEに失敗しました\r\n"),
            log);
}

TEST_F(CloseRequest, SystemTextIsWrittenAsData) {
  desktop_.RefuseClose(window_, 1);
  desktop_.SetSystemText(kAccessDenied, "%1 is not %s valid %n.\r\n");

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(RefusalLines("%1 is not %s valid %n.\r\n"), log);
}

TEST_F(CloseRequest, EndsWithoutAFurtherLineWhenTheWindowVanishes) {
  desktop_.NeverAcceptClose(window_);
  desktop_.VanishAfterRequests(window_, 2);

  std::string log = RequestCloseAndReadLog();

  // The third request is not delivered and so answers 0.
  EXPECT_EQ(3u, desktop_.Trace({Call::kSendMessageCallbackA}).size());
  EXPECT_EQ(RefusalLines(kAccessDeniedText) + RefusalLines(kAccessDeniedText),
            log);
}

TEST_F(CloseRequest, GoneDuringTheGracePauseMeansOneUndeliveredRequest) {
  desktop_.NeverAcceptClose(window_);
  desktop_.VanishOnCall(window_, Call::kSendMessageCallbackA);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(
      (std::vector<std::string>{"Sleep 5000", "SendMessageCallbackA #1 0x10"}),
      PausesAndRequests());
  EXPECT_EQ("", log);
}

TEST_F(CloseRequest, UndeliveredRequestIsLoggedOnceAndNotRepeated) {
  desktop_.PutOutOfReach(window_);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(
      (std::vector<std::string>{"Sleep 5000", "SendMessageCallbackA #1 0x10"}),
      PausesAndRequests());
  EXPECT_EQ(RefusalLines(kAccessDeniedText), log);
  EXPECT_TRUE(desktop_.IsPresent(window_));
  EXPECT_EQ(0, desktop_.texts_outstanding);
  EXPECT_EQ(0, desktop_.bad_frees);
}

// A program that is not responding would never read the request: nothing
// is sent, the failure is logged once with the system's text for the
// time-out, and the window is left for the next sweep.
TEST_F(CloseRequest, AProgramNotRespondingIsLoggedOnceAndSentNothing) {
  desktop_.StopResponding(window_);
  desktop_.SetSystemText(kTimeout, kTimeoutText);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ((std::vector<std::string>{"Sleep 5000"}), PausesAndRequests());
  EXPECT_EQ(RefusalLines(kTimeoutText), log);
  // Made sure of for a second on end, and not a look longer.
  EXPECT_EQ(5000 + 1000, desktop_.now_ms);
  EXPECT_TRUE(desktop_.IsPresent(window_));
  EXPECT_EQ(0, desktop_.texts_outstanding);
  EXPECT_FALSE(CloseRequestsGivenUp());
}

// Watching a program that is not responding, the run empties its queue
// between looks: another window's late answer left there would wake every
// wait at once, a busy loop for the whole second.
TEST_F(CloseRequest, WatchingAProgramNotRespondingNeverSpinsOnItsQueue) {
  winsys::HWND late = desktop_.AddWindow("Late", "LateClass");
  // Given up at 11 s, it answers at 13 s, while the run pauses.
  desktop_.HangWhileClosing(late, 8000);
  desktop_.StopResponding(window_);
  RequestClose(late);
  const std::size_t waits_before =
      desktop_.Trace({Call::kMsgWaitForMultipleObjects}).size();

  RequestClose(window_);

  EXPECT_EQ(2u, desktop_.Trace({Call::kMsgWaitForMultipleObjects}).size() -
                    waits_before);
  EXPECT_EQ(11000 + 5000 + 1000, desktop_.now_ms);
}

// A window that keeps reading messages while it asks its user (a "save
// changes?" prompt shown in answer to the request) is waited for, the run
// blocked on its own queue half a second at a time, never spinning.
TEST_F(CloseRequest, AWindowAskingItsUserIsWaitedForUpToTenMinutes) {
  constexpr winsys::DWORD kAnsweredAfterMs = 10 * 60 * 1000 - 1000;
  desktop_.TakeLongToAnswer(window_, kAnsweredAfterMs);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ("", log);
  EXPECT_FALSE(desktop_.IsPresent(window_));
  EXPECT_EQ(5000 + kAnsweredAfterMs, desktop_.now_ms);
  std::vector<std::string> waits =
      desktop_.Trace({Call::kMsgWaitForMultipleObjects});
  EXPECT_EQ(kAnsweredAfterMs / 500, waits.size());
  EXPECT_EQ(0u, std::count(waits.begin(), waits.end(),
                           "MsgWaitForMultipleObjects 0"));
}

// Answered the next morning, a prompt would let the run go on to close what
// the user has opened since: past ten minutes the window is logged as
// failed with the time-out's text, and no window is asked again in the run.
TEST_F(CloseRequest, APromptNobodyAnswersIsGivenUpAfterTenMinutes) {
  desktop_.TakeLongToAnswer(window_, 14 * 60 * 60 * 1000);
  desktop_.SetSystemText(kTimeout, kTimeoutText);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(RefusalLines(kTimeoutText), log);
  EXPECT_EQ(1u, desktop_.Trace({Call::kSendMessageCallbackA}).size());
  EXPECT_EQ(5000 + 600000, desktop_.now_ms);
  EXPECT_TRUE(CloseRequestsGivenUp());
  EXPECT_TRUE(desktop_.IsPresent(window_));
}

TEST_F(CloseRequest, AWindowRefusingForeverIsAskedEverySecondForTenMinutes) {
  desktop_.NeverAcceptClose(window_);
  desktop_.SetSystemText(kTimeout, kTimeoutText);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(600u, desktop_.Trace({Call::kSendMessageCallbackA}).size());
  std::string expected;
  for (int i = 0; i < 600; ++i) {
    expected += RefusalLines(kAccessDeniedText);
  }
  EXPECT_EQ(expected + RefusalLines(kTimeoutText), log);
  EXPECT_EQ(5000 + 600000, desktop_.now_ms);
  EXPECT_TRUE(CloseRequestsGivenUp());
}

// A program that stops reading messages while it handles the request (a
// save to a share that is gone) is noticed when the platform calls it hung,
// logged once, and not sent a second request, in this visit or the next.
TEST_F(CloseRequest, AWindowHangingWhileClosingIsLoggedOnceAndAskedOnce) {
  desktop_.HangWhileClosing(window_, fake::kForever);
  desktop_.SetSystemText(kTimeout, kTimeoutText);

  std::string first = RequestCloseAndReadLog();
  std::int64_t noticed_at = desktop_.now_ms;
  std::string second = RequestCloseAndReadLog();

  EXPECT_EQ(RefusalLines(kTimeoutText), first);
  // Called hung 5 s after it took the request, and hung a second on end.
  EXPECT_EQ(5000 + 5000 + 1000, noticed_at);
  EXPECT_EQ(RefusalLines(kTimeoutText), second);
  EXPECT_EQ(1u, desktop_.Trace({Call::kSendMessageCallbackA}).size());
  EXPECT_FALSE(CloseRequestsGivenUp());
}

// The platform calls a thread that has waited long for a message hung for
// the moment between its waking for the request and its taking it, and a
// prompt waiting on its user for such moments now and then: moments more
// than a second apart are no second on end, and no reason to give up.
TEST_F(CloseRequest, AWindowCalledHungForMomentsIsStillWaitedFor) {
  desktop_.SeemHungAfterRequests(window_, 500);
  desktop_.SeemHungDuring(window_, 6000, 6500);
  desktop_.SeemHungDuring(window_, 7500, 8000);
  desktop_.TakeLongToAnswer(window_, 4000);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ("", log);
  EXPECT_FALSE(desktop_.IsPresent(window_));
  EXPECT_EQ(5000 + 4000, desktop_.now_ms);
}

// Recovered by the next visit but still owing its answer (it now asks its
// user), the window is waited for on the first request, not sent another.
TEST_F(CloseRequest, AnAnswerStillOwedIsWaitedForNotAskedForAgain) {
  desktop_.HangWhileClosing(window_, 8000);
  desktop_.TakeLongToAnswer(window_, 60000);
  desktop_.SetSystemText(kTimeout, kTimeoutText);

  std::string first = RequestCloseAndReadLog();
  std::string second = RequestCloseAndReadLog();

  EXPECT_EQ(RefusalLines(kTimeoutText), first);
  EXPECT_EQ("", second);
  EXPECT_EQ(1u, desktop_.Trace({Call::kSendMessageCallbackA}).size());
  EXPECT_FALSE(desktop_.IsPresent(window_));
  EXPECT_EQ(5000 + 8000 + 60000, desktop_.now_ms);
}

// Answered before the next visit (it answers 0 and stays, as a program that
// shows its prompt after answering), the earlier request is done with: the
// window, still there, is asked again.
TEST_F(CloseRequest, AnAnswerThatCameBeforeTheNextVisitIsNoAnswerToIt) {
  desktop_.HangWhileClosing(window_, 8000);
  desktop_.StayOpenOnAccept(window_);
  desktop_.SetSystemText(kTimeout, kTimeoutText);

  std::string first = RequestCloseAndReadLog();
  // Well again by the next visit.
  desktop_.Window(window_).hangs_on_close = false;
  std::string second = RequestCloseAndReadLog();

  EXPECT_EQ(RefusalLines(kTimeoutText), first);
  EXPECT_EQ("", second);
  EXPECT_EQ(2u, desktop_.Trace({Call::kSendMessageCallbackA}).size());
}

// A window closed by its user while its answer is awaited is forgotten: the
// platform may give its handle to a new window, which is asked like any.
TEST_F(CloseRequest, AWindowGoneWhileAwaitedLeavesNothingOwedToItsHandle) {
  desktop_.TakeLongToAnswer(window_, 3000);
  desktop_.VanishOnCall(window_, Call::kIsWindow);
  RequestClose(window_);
  desktop_.GiveHandleToNewWindow(window_, "Target again", "TargetClass");

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ("", log);
  EXPECT_EQ(2u, desktop_.Trace({Call::kSendMessageCallbackA}).size());
  EXPECT_FALSE(desktop_.IsPresent(window_));
  EXPECT_FALSE(CloseRequestsGivenUp());
}

// The platform does not always give a reason for a failed send, so a window
// that is still there after one is logged as failed, with the system's text
// only for a reason other than 0; a send that sets none leaves no older
// error to be logged in its place (access denied, from the fixture).
TEST_F(CloseRequest, AFailedSendToAWindowStillThereIsLoggedOnce) {
  desktop_.SetSystemText(0, "The operation completed successfully.\r\n");
  desktop_.SetSystemText(87, "The parameter is incorrect.\r\n");
  struct {
    bool sets_error;
    winsys::DWORD reason;
    std::string expected;
  } cases[] = {
      {false, 0, Sjis("WM_CLOSEに失敗しました\r\n")},
      {true, 0, Sjis("WM_CLOSEに失敗しました\r\n")},
      {true, 87, RefusalLines("The parameter is incorrect.\r\n")},
  };
  for (const auto& c : cases) {
    if (c.sets_error) {
      desktop_.FailSends(window_, c.reason);
    } else {
      desktop_.FailSendsSettingNoError(window_);
    }
    ASSERT_TRUE(OpenActivityLog(log_path_.c_str()));

    RequestClose(window_);

    CloseActivityLog();
    EXPECT_EQ(c.expected, LogBytes()) << c.sets_error << " " << c.reason;
  }
  EXPECT_EQ(3u, desktop_.Trace({Call::kSendMessageCallbackA}).size());
  EXPECT_TRUE(desktop_.IsPresent(window_));
}

// A window destroyed after a refusal fails the next send; being gone, it
// counts as accepted and leaves no failure of its own.
TEST_F(CloseRequest, AWindowGoneAfterARefusalEndsTheRequestQuietly) {
  desktop_.RefuseClose(window_, 1);
  desktop_.SetSystemText(1400, "Invalid window handle.\r\n");
  // The window is destroyed while the tool pauses after its refusal.
  desktop_.on_sleep = [&](winsys::DWORD milliseconds) {
    if (milliseconds == 1000) {
      desktop_.Window(window_).destroyed = true;
    }
  };

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ((std::vector<std::string>{"GetLastError 5", "GetLastError 1400"}),
            desktop_.Trace({Call::kGetLastError}));
  EXPECT_EQ(RefusalLines(kAccessDeniedText), log);
}

TEST_F(CloseRequest, KeepsAskingAWindowThatNeverAccepts) {
  desktop_.NeverAcceptClose(window_);
  // Stopped from outside after a hundred refusals.
  desktop_.VanishAfterRequests(window_, 100);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(101u, desktop_.Trace({Call::kSendMessageCallbackA}).size());
  EXPECT_EQ(5000 + 100 * 1000, desktop_.now_ms);
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    expected += RefusalLines(kAccessDeniedText);
  }
  EXPECT_EQ(expected, log);
}

TEST_F(CloseRequest, RetriesTheSameWithoutALog) {
  desktop_.RefuseClose(window_, 2);

  RequestClose(window_);

  EXPECT_EQ(3u, desktop_.Trace({Call::kSendMessageCallbackA}).size());
  EXPECT_EQ(2u, desktop_.Trace({Call::kLocalFree}).size());
  EXPECT_EQ(7000, desktop_.now_ms);
}

}  // namespace
