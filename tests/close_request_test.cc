#include <string>
#include <vector>

#include "close/request_close.h"
#include "log/activity_log.h"
#include "support/test_support.h"

namespace {

using fake::Call;

constexpr winsys::DWORD kAccessDenied = 5;
const char kAccessDeniedText[] = "Access is denied.\r\n";

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
    return desktop_.Trace({Call::kSleep, Call::kSendMessageTimeoutA});
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
      (std::vector<std::string>{"Sleep 5000", "SendMessageTimeoutA #1 0x10"}),
      PausesAndRequests());
  EXPECT_EQ("", log);
  EXPECT_FALSE(desktop_.IsPresent(window_));
}

TEST_F(CloseRequest, RetriesEverySecondUntilAccepted) {
  desktop_.RefuseClose(window_, 3);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(
      (std::vector<std::string>{"Sleep 5000", "SendMessageTimeoutA #1 0x10",
                                "Sleep 1000", "SendMessageTimeoutA #1 0x10",
                                "Sleep 1000", "SendMessageTimeoutA #1 0x10",
                                "Sleep 1000", "SendMessageTimeoutA #1 0x10"}),
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
                "Sleep 5000", "SendMessageTimeoutA #1 0x10", "Sleep 1000",
                "GetLastError 5", "FormatMessageA 5", "LocalFree",
                "SendMessageTimeoutA #1 0x10"}),
            desktop_.Trace({Call::kSleep, Call::kSendMessageTimeoutA,
                            Call::kGetLastError, Call::kFormatMessageA,
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
  EXPECT_EQ(3u, desktop_.Trace({Call::kSendMessageTimeoutA}).size());
  EXPECT_EQ(RefusalLines(kAccessDeniedText) + RefusalLines(kAccessDeniedText),
            log);
}

TEST_F(CloseRequest, GoneDuringTheGracePauseMeansOneUndeliveredRequest) {
  desktop_.NeverAcceptClose(window_);
  desktop_.VanishOnCall(window_, Call::kSendMessageTimeoutA);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(
      (std::vector<std::string>{"Sleep 5000", "SendMessageTimeoutA #1 0x10"}),
      PausesAndRequests());
  EXPECT_EQ("", log);
}

TEST_F(CloseRequest, UndeliveredRequestIsLoggedOnceAndNotRepeated) {
  desktop_.PutOutOfReach(window_);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(
      (std::vector<std::string>{"Sleep 5000", "SendMessageTimeoutA #1 0x10"}),
      PausesAndRequests());
  EXPECT_EQ(RefusalLines(kAccessDeniedText), log);
  EXPECT_TRUE(desktop_.IsPresent(window_));
  EXPECT_EQ(0, desktop_.texts_outstanding);
  EXPECT_EQ(0, desktop_.bad_frees);
}

// A program that is not responding never reads the request: it is logged
// once, with the system's text for the time-out, and not asked again.
TEST_F(CloseRequest, AHungWindowIsLoggedOnceAndNotRepeated) {
  desktop_.StopResponding(window_);
  desktop_.SetSystemText(1460, "Timeout.\r\n");

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ(
      (std::vector<std::string>{"Sleep 5000", "SendMessageTimeoutA #1 0x10"}),
      PausesAndRequests());
  EXPECT_EQ(RefusalLines("Timeout.\r\n"), log);
  EXPECT_EQ(0, desktop_.waits_on_hung);
  EXPECT_TRUE(desktop_.IsPresent(window_));
  EXPECT_EQ(0, desktop_.texts_outstanding);
}

// A window that keeps reading messages while it asks its user (a "save
// changes?" prompt shown in answer to the request) is waited for however
// long the user takes, here a night.
TEST_F(CloseRequest, AWindowAskingItsUserIsWaitedForHoweverLong) {
  constexpr winsys::DWORD kNightMs = 14 * 60 * 60 * 1000;
  desktop_.TakeLongToAnswer(window_, kNightMs);

  std::string log = RequestCloseAndReadLog();

  EXPECT_EQ("", log);
  EXPECT_FALSE(desktop_.IsPresent(window_));
  EXPECT_EQ(5000 + static_cast<std::int64_t>(kNightMs), desktop_.now_ms);
}

// Only access denied after an answer of 0 means the request never arrived;
// the code is cleared before every request, so one left over from earlier
// (SetUp's access denied) does not count.
TEST_F(CloseRequest, AnswerOfZeroIsAcceptedUnlessAccessWasDenied) {
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

  EXPECT_EQ(101u, desktop_.Trace({Call::kSendMessageTimeoutA}).size());
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

  EXPECT_EQ(3u, desktop_.Trace({Call::kSendMessageTimeoutA}).size());
  EXPECT_EQ(2u, desktop_.Trace({Call::kLocalFree}).size());
  EXPECT_EQ(7000, desktop_.now_ms);
}

}  // namespace
