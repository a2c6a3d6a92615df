#include <string>
#include <vector>

#include "app/command.h"
#include "log/activity_log.h"
#include "support/test_support.h"

namespace {

using fake::Call;

std::string SeenLine(const std::string& title, const std::string& class_name) {
  return title + Sjis(" が見つかりました。クラス名：") + class_name + "\r\n";
}

std::string SelectedLine(const std::string& title) {
  return Sjis("指定したタイトルである ") + title +
         Sjis(" が見つかりました\r\n");
}

const std::string kStart = Sjis("開始しました\r\n");
const std::string kEnd = Sjis("終了します\r\n");

// The first window accepts its request in the first sweep and is gone after.
const std::vector<std::string> kFirstWindowClosedInSweepOne{
    "EnumChildWindows", "Sleep 5000",       "SendMessageCallbackA #1 0x10",
    "Sleep 2000",       "EnumChildWindows", "Sleep 2000",
    "EnumChildWindows", "Sleep 2000"};

// The first window's request fails at once in every sweep; the second is
// closed in the first.
const std::vector<std::string> kFirstWindowFailedInEverySweep{
    "EnumChildWindows",
    "Sleep 5000",
    "SendMessageCallbackA #1 0x10",
    "Sleep 5000",
    "SendMessageCallbackA #2 0x10",
    "Sleep 2000",
    "EnumChildWindows",
    "Sleep 5000",
    "SendMessageCallbackA #1 0x10",
    "Sleep 2000",
    "EnumChildWindows",
    "Sleep 5000",
    "SendMessageCallbackA #1 0x10",
    "Sleep 2000"};

// The first window's program is not responding in any sweep: it is sent
// nothing; the second is closed in the first.
const std::vector<std::string> kFirstWindowNotRespondingInEverySweep{
    "EnumChildWindows", "Sleep 5000",
    "Sleep 5000",       "SendMessageCallbackA #2 0x10",
    "Sleep 2000",       "EnumChildWindows",
    "Sleep 5000",       "Sleep 2000",
    "EnumChildWindows", "Sleep 5000",
    "Sleep 2000"};

class Run : public DesktopTest {
 protected:
  std::vector<std::string> SweepsPausesAndRequests() const {
    return desktop_.Trace(
        {Call::kEnumChildWindows, Call::kSleep, Call::kSendMessageCallbackA});
  }
};

TEST_F(Run, WithNothingSelectedLogsEveryWindowInThreeSweeps) {
  desktop_.AddWindow("Untitled - Editor", "EditorFrame");
  desktop_.AddWindow("", "Shell_TrayWnd");

  RunResult result = RunWithTerm("nothing like it");

  EXPECT_EQ(0, result.status);
  EXPECT_EQ("", result.console);
  std::string sweep = SeenLine("Untitled - Editor", "EditorFrame") +
                      SeenLine("", "Shell_TrayWnd");
  EXPECT_EQ(kStart + sweep + sweep + sweep + kEnd, LogBytes());
  EXPECT_EQ((std::vector<std::string>{"EnumChildWindows", "Sleep 2000",
                                      "EnumChildWindows", "Sleep 2000",
                                      "EnumChildWindows", "Sleep 2000"}),
            SweepsPausesAndRequests());
  EXPECT_EQ(6000, desktop_.now_ms);
}

TEST_F(Run, ClosesAMatchingWindowAfterTheGracePause) {
  desktop_.AddWindow("Untitled - Notepad", "Notepad");
  desktop_.AddWindow("Calculator", "CalcFrame");

  RunResult result = RunWithTerm("NOTEPAD");

  EXPECT_EQ(0, result.status);
  EXPECT_EQ(kStart + SeenLine("Untitled - Notepad", "Notepad") +
                SelectedLine("Untitled - Notepad") +
                SeenLine("Calculator", "CalcFrame") +
                SeenLine("Calculator", "CalcFrame") +
                SeenLine("Calculator", "CalcFrame") + kEnd,
            LogBytes());
  EXPECT_EQ(kFirstWindowClosedInSweepOne, SweepsPausesAndRequests());
}

TEST_F(Run, SelectsAWindowAgainInEverySweepItStaysIn) {
  winsys::HWND window = desktop_.AddWindow("Stubborn", "StubbornClass");
  desktop_.StayOpenOnAccept(window);

  RunWithTerm("stub");

  std::string sweep =
      SeenLine("Stubborn", "StubbornClass") + SelectedLine("Stubborn");
  EXPECT_EQ(kStart + sweep + sweep + sweep + kEnd, LogBytes());
  EXPECT_EQ(3 * (5000 + 2000), desktop_.now_ms);
}

TEST_F(Run, JudgesWindowsAfreshAsTheyComeAndGo) {
  winsys::HWND early = desktop_.AddWindow("Early report", "Viewer");
  winsys::HWND late = desktop_.AddWindow("Late report", "Viewer");
  desktop_.PresentInSweeps(early, 1, 1);
  desktop_.PresentInSweeps(late, 3, 3);
  desktop_.StayOpenOnAccept(early);

  RunWithTerm("report");

  EXPECT_EQ(kStart + SeenLine("Early report", "Viewer") +
                SelectedLine("Early report") +
                SeenLine("Late report", "Viewer") +
                SelectedLine("Late report") + kEnd,
            LogBytes());
}

TEST_F(Run, EmptyTermSelectsEveryVisibleEnabledWindow) {
  desktop_.AddWindow("", "Blank");
  winsys::HWND hidden = desktop_.AddWindow("Hidden", "Tool");
  desktop_.Hide(hidden);
  desktop_.AddWindow("Shown", "Tool");

  RunResult result = RunWithTerm("");

  EXPECT_EQ(0, result.status);
  EXPECT_EQ((std::vector<std::string>{"SendMessageCallbackA #1 0x10",
                                      "SendMessageCallbackA #3 0x10"}),
            desktop_.Trace({Call::kSendMessageCallbackA}));
}

// The console a run reports in matches whenever the command line shown in
// its title holds the term; closing it would end the run before Notepad.
TEST_F(Run, NeverClosesItsOwnConsole) {
  winsys::HWND console = desktop_.AddWindow(
      "Command Prompt - tesmarinds.exe notepad", "ConsoleWindowClass");
  desktop_.AddWindow("Untitled - Notepad", "Notepad");
  desktop_.SetConsoleWindow(console);

  RunResult result = RunWithTerm("notepad");

  EXPECT_EQ(0, result.status);
  std::string console_seen =
      SeenLine("Command Prompt - tesmarinds.exe notepad", "ConsoleWindowClass");
  EXPECT_EQ(kStart + console_seen + SeenLine("Untitled - Notepad", "Notepad") +
                SelectedLine("Untitled - Notepad") + console_seen +
                console_seen + kEnd,
            LogBytes());
  EXPECT_EQ((std::vector<std::string>{"SendMessageCallbackA #2 0x10"}),
            desktop_.Trace({Call::kSendMessageCallbackA}));
}

// The console and the root of its owner chain are taken before the sweeps:
// a console the platform stops reporting mid-run (handed over, detached)
// is still spared in the later sweeps, with its terminal.
TEST_F(Run, SparesTheConsoleItStartedInForTheWholeRun) {
  winsys::HWND terminal = desktop_.AddWindow(
      "Command Prompt - tesmarinds.exe notepad", "TerminalHostingWindow");
  winsys::HWND console =
      desktop_.AddWindow("tesmarinds.exe notepad", "PseudoConsoleWindow");
  desktop_.SetOwner(console, terminal);
  desktop_.SetConsoleWindow(console);
  desktop_.on_sleep = [&](winsys::DWORD /*milliseconds*/) {
    desktop_.SetConsoleWindow(nullptr);
    desktop_.SetOwner(console, nullptr);
  };

  RunWithTerm("notepad");

  EXPECT_TRUE(desktop_.Trace({Call::kSendMessageCallbackA}).empty());
}

// Under Windows Terminal the console's own window is owned by the terminal's
// window, whose title shows the same command line; closing the terminal
// would close every tab in it.
TEST_F(Run, NeverClosesTheTerminalHostingItsConsole) {
  winsys::HWND terminal = desktop_.AddWindow(
      "Command Prompt - tesmarinds.exe notepad", "TerminalHostingWindow");
  winsys::HWND console =
      desktop_.AddWindow("tesmarinds.exe notepad", "PseudoConsoleWindow");
  desktop_.AddWindow("Untitled - Notepad", "Notepad");
  desktop_.SetOwner(console, terminal);
  desktop_.SetConsoleWindow(console);

  RunWithTerm("notepad");

  std::string spared =
      SeenLine("Command Prompt - tesmarinds.exe notepad",
               "TerminalHostingWindow") +
      SeenLine("tesmarinds.exe notepad", "PseudoConsoleWindow");
  EXPECT_EQ(kStart + spared + SeenLine("Untitled - Notepad", "Notepad") +
                SelectedLine("Untitled - Notepad") + spared + spared + kEnd,
            LogBytes());
  EXPECT_EQ((std::vector<std::string>{"SendMessageCallbackA #3 0x10"}),
            desktop_.Trace({Call::kSendMessageCallbackA}));
}

// A window of a program with higher rights never gets the request. It is
// logged as failed once in each sweep that meets it, and the windows after
// it are still closed.
TEST_F(Run, AWindowOutOfReachIsLoggedAsFailedAndTheRunGoesOn) {
  winsys::HWND elevated = desktop_.AddWindow("Admin - Notepad", "Notepad");
  desktop_.AddWindow("Untitled - Notepad", "Notepad");
  desktop_.PutOutOfReach(elevated);
  desktop_.SetSystemText(5, "Access is denied.\r\n");

  RunResult result = RunWithTerm("notepad");

  EXPECT_EQ(0, result.status);
  std::string elevated_lines =
      SeenLine("Admin - Notepad", "Notepad") + SelectedLine("Admin - Notepad") +
      "Access is denied.\r\r\n" + Sjis("WM_CLOSEに失敗しました\r\n");
  EXPECT_EQ(kStart + elevated_lines +
                SeenLine("Untitled - Notepad", "Notepad") +
                SelectedLine("Untitled - Notepad") + elevated_lines +
                elevated_lines + kEnd,
            LogBytes());
  EXPECT_EQ(kFirstWindowFailedInEverySweep, SweepsPausesAndRequests());
  EXPECT_TRUE(desktop_.IsPresent(elevated));
}

// Asked to close, the desktop offers to shut the PC down; the taskbars are
// windows of the shell too. A term such as "manager" matches the desktop's
// title, and the empty term every taskbar's.
TEST_F(Run, NeverAsksTheShellOrItsTaskbarsToClose) {
  winsys::HWND desktop_window =
      desktop_.AddWindow("Program Manager", "Progman");
  desktop_.AddWindow("Program Manager", "Shell_TrayWnd");
  desktop_.AddWindow("Program Manager", "Shell_SecondaryTrayWnd");
  desktop_.AddWindow("Program Manager", "AssetList");
  desktop_.SetShellWindow(desktop_window);

  RunResult result = RunWithTerm("manager");

  EXPECT_EQ(0, result.status);
  std::string shell = SeenLine("Program Manager", "Progman") +
                      SeenLine("Program Manager", "Shell_TrayWnd") +
                      SeenLine("Program Manager", "Shell_SecondaryTrayWnd");
  EXPECT_EQ(kStart + shell + SeenLine("Program Manager", "AssetList") +
                SelectedLine("Program Manager") + shell + shell + kEnd,
            LogBytes());
  EXPECT_EQ((std::vector<std::string>{"SendMessageCallbackA #4 0x10"}),
            desktop_.Trace({Call::kSendMessageCallbackA}));
  // Read once for the run, not once a window.
  EXPECT_EQ(1u, desktop_.Trace({Call::kGetShellWindow}).size());
}

// A program that has stopped reading its messages would never answer. Its
// window is logged as failed once in each sweep and sent nothing, the
// windows after it are still closed, and the run ends.
TEST_F(Run, AHungWindowHoldsNoSweepAndIsAskedAgainInTheNext) {
  winsys::HWND frozen = desktop_.AddWindow("Frozen - Editor", "Editor");
  desktop_.AddWindow("Untitled - Editor", "Editor");
  desktop_.StopResponding(frozen);
  desktop_.SetSystemText(1460,
                         "This operation returned because the timeout "
                         "period expired.\r\n");

  RunResult result = RunWithTerm("editor");

  EXPECT_EQ(0, result.status);
  std::string frozen_lines =
      SeenLine("Frozen - Editor", "Editor") + SelectedLine("Frozen - Editor") +
      "This operation returned because the timeout period expired.\r\r\n" +
      Sjis("WM_CLOSEに失敗しました\r\n");
  EXPECT_EQ(kStart + frozen_lines + SeenLine("Untitled - Editor", "Editor") +
                SelectedLine("Untitled - Editor") + frozen_lines +
                frozen_lines + kEnd,
            LogBytes());
  EXPECT_EQ(kFirstWindowNotRespondingInEverySweep, SweepsPausesAndRequests());
  EXPECT_TRUE(desktop_.IsPresent(frozen));
}

// A save prompt nobody answers by the next morning: once it has waited ten
// minutes the run asks no window to close, but it still logs every window
// it finds in every sweep and ends with its end line.
TEST_F(Run, APromptNobodyAnswersEndsTheRunsRequestsButNotItsLog) {
  winsys::HWND asking = desktop_.AddWindow("Report - Editor", "Editor");
  desktop_.AddWindow("Notes - Editor", "Editor");
  desktop_.TakeLongToAnswer(asking, 14 * 60 * 60 * 1000);
  desktop_.SetSystemText(1460, "Timeout.\r\n");

  RunResult result = RunWithTerm("editor");

  EXPECT_EQ(0, result.status);
  std::string sweep = SeenLine("Report - Editor", "Editor") +
                      SeenLine("Notes - Editor", "Editor");
  EXPECT_EQ(kStart + SeenLine("Report - Editor", "Editor") +
                SelectedLine("Report - Editor") + "Timeout.\r\r\n" +
                Sjis("WM_CLOSEに失敗しました\r\n") +
                SeenLine("Notes - Editor", "Editor") + sweep + sweep + kEnd,
            LogBytes());
  EXPECT_EQ((std::vector<std::string>{"SendMessageCallbackA #1 0x10"}),
            desktop_.Trace({Call::kSendMessageCallbackA}));
  EXPECT_EQ(5000 + 600000 + 3 * 2000, desktop_.now_ms);
}

// The stand-in Windows shows for a program that stopped responding carries
// its title, and the system's app hosts have titles ordinary terms match;
// a Store app's frame is the window its user closes, and is asked, as is a
// program's whose class name only begins like the system's, or is empty.
TEST_F(Run, NeverAsksTheSystemsStandInsOrAppHosts) {
  desktop_.AddWindow("Text Input", "Ghost");
  desktop_.AddWindow("Text Input", "Windows.UI.Core.CoreWindow");
  desktop_.AddWindow("Text Input", "ApplicationFrameWindow");
  desktop_.AddWindow("Text Input", "GhostwriterFrame");
  desktop_.AddWindow("Text Input", "");

  RunWithTerm("input");

  // Logged in every sweep; the others, closed in the first, in that one.
  std::string spared = SeenLine("Text Input", "Ghost") +
                       SeenLine("Text Input", "Windows.UI.Core.CoreWindow");
  EXPECT_EQ(kStart + spared + SeenLine("Text Input", "ApplicationFrameWindow") +
                SelectedLine("Text Input") +
                SeenLine("Text Input", "GhostwriterFrame") +
                SelectedLine("Text Input") + SeenLine("Text Input", "") +
                SelectedLine("Text Input") + spared + spared + kEnd,
            LogBytes());
  EXPECT_EQ((std::vector<std::string>{"SendMessageCallbackA #3 0x10",
                                      "SendMessageCallbackA #4 0x10",
                                      "SendMessageCallbackA #5 0x10"}),
            desktop_.Trace({Call::kSendMessageCallbackA}));
}

// A log held unshared by another program fails the same way; that case
// needs real Windows file sharing and is run under Wine.
TEST_F(Run, WithoutALogReportsItOnceAndStillDoesItsJob) {
  desktop_.AddWindow("Untitled - Notepad", "Notepad");
  log_path_override_ = directory_ + "/missing/Tesmarind.txt";

  RunResult result = RunWithTerm("notepad");

  EXPECT_EQ(0, result.status);
  EXPECT_EQ(Sjis("c:\\tempへのログの書き込みに失敗しました"), result.console);
  EXPECT_EQ(kFirstWindowClosedInSweepOne, SweepsPausesAndRequests());
  // Neither the log nor its missing folder was created.
  EXPECT_EQ(std::vector<std::string>{}, EntriesOf(directory_));
}

TEST_F(Run, WritesTheEndLineAfterTheLastPause) {
  std::string logged_at_last_pause;
  desktop_.on_sleep = [&](winsys::DWORD) {
    if (desktop_.sweeps == 3) {
      logged_at_last_pause = LogBytes();
    }
  };

  RunWithTerm("x");

  EXPECT_EQ(kStart, logged_at_last_pause);
  EXPECT_EQ(kStart + kEnd, LogBytes());
}

TEST_F(Run, StartsTheLogAnew) {
  WriteFileBytes(log_path_, std::string(5000, 'x'));

  RunWithTerm("x");

  EXPECT_EQ(kStart + kEnd, LogBytes());
}

TEST_F(Run, SweepsHandEveryWindowToTheVisitorInOrder) {
  desktop_.AddWindow("one");
  desktop_.AddWindow("two");
  static std::vector<winsys::HWND> visited;
  visited.clear();

  RunSweeps([](winsys::HWND window, winsys::LPARAM) -> winsys::BOOL {
    visited.push_back(window);
    return winsys::kTrue;
  });

  ASSERT_EQ(6u, visited.size());
  EXPECT_EQ(visited[0], visited[2]);
  EXPECT_EQ(visited[1], visited[5]);
  EXPECT_NE(visited[0], visited[1]);
}

// Each line is on disk as soon as it is written, so a run stopped from
// outside keeps what it logged.
TEST_F(Run, LinesReachTheFileBeforeTheLogIsClosed) {
  ASSERT_TRUE(OpenActivityLog(log_path_.c_str()));
  WriteStartLine();
  WriteWindowSeenLine("Refuser", "RefuserClass");
  WriteCloseRefusedLines("Access is denied.\r\n");

  EXPECT_EQ(kStart + SeenLine("Refuser", "RefuserClass") +
                "Access is denied.\r\r\n" + Sjis("WM_CLOSEに失敗しました\r\n"),
            LogBytes());
}

}  // namespace
