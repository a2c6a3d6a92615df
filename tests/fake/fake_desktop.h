// An in-memory desktop behind the window-system seam: scripted windows, a
// virtual clock that Sleep advances at once, and a record of every seam call
// in order, for tests, fuzz targets and benchmarks to read directly.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "winsys/window_system.h"

namespace fake {

enum class Call {
  kEnumChildWindows,
  kGetWindowTextW,
  kGetClassNameW,
  kIsWindowVisible,
  kIsWindowEnabled,
  kIsWindow,
  kSendMessageCallbackA,
  kSleep,
  kGetLastError,
  kFormatMessageW,
  kLocalFree,
  kGetAncestor,
  kGetConsoleWindow,
  kSetLastError,
  kGetShellWindow,
  kIsHungAppWindow,
  kPeekMessageA,
  kMsgWaitForMultipleObjects,
  kGetTickCount64,
  kWideCharToMultiByte,
};

struct SeamCall {
  Call call;
  winsys::HWND window;  // null for calls about no window
  // Sleep and MsgWaitForMultipleObjects: milliseconds;
  // SendMessageCallbackA: the message; GetLastError, SetLastError and
  // FormatMessageW: the error code; WideCharToMultiByte: the code page.
  std::uint64_t value;
  // SendMessageCallbackA's message parameters.
  std::uint64_t wparam;
  std::int64_t lparam;
  std::int64_t at_ms;  // the virtual clock when the call was made
};

constexpr int kForever = -1;

struct FakeWindow {
  winsys::HWND handle = nullptr;
  std::u16string title;
  std::u16string class_name;
  winsys::BOOL visible = winsys::kTrue;
  winsys::BOOL enabled = winsys::kTrue;
  winsys::BOOL valid = winsys::kTrue;
  int refusals_left = 0;              // kForever: never accepts
  bool closes_on_accept = true;       // false: answers 0 and stays open
  bool out_of_reach = false;          // WM_CLOSE is never delivered
  bool hung = false;                  // its thread reads no messages
  winsys::DWORD answer_after_ms = 0;  // how long each WM_CLOSE takes it
  bool fails_sends = false;           // every send fails with send_error
  winsys::DWORD send_error = 0;
  bool send_failure_sets_error = true;  // false: leaves the last error alone
  bool hangs_on_close = false;      // stops reading messages on taking WM_CLOSE
  std::int64_t hang_ms = kForever;  // for that long, then answers
  std::int64_t hung_since_ms = -1;  // when it took that WM_CLOSE
  std::int64_t seems_hung_ms = 0;   // after each request sent to it
  // Moments of the clock, [from, until), when it is called hung.
  std::vector<std::pair<std::int64_t, std::int64_t>> seems_hung_during;
  std::int64_t last_request_ms = -1;
  winsys::HWND owner = nullptr;
  int vanish_after_requests = 0;  // 0: never
  bool text_reads_fail = false;   // title and class reads write nothing
  bool vanish_on_call = false;
  Call vanish_call = Call::kSleep;
  int first_sweep = 1;
  int last_sweep = 1 << 30;
  bool destroyed = false;
  int close_requests = 0;
};

class FakeDesktop {
 public:
  // Forgets every window, record, text and the clock.
  void Reset();

  // Scenario builders.
  // The title and class name as the window holds them, in UTF-8 here, or
  // as any UTF-16 code units (characters outside the BMP, lone
  // surrogates).
  winsys::HWND AddWindow(const std::string& title,
                         const std::string& class_name = "FakeWindowClass");
  winsys::HWND AddWindow(const std::u16string& title,
                         const std::u16string& class_name);
  void Hide(winsys::HWND window);
  void Disable(winsys::HWND window);
  // Any values, including ones other than kTrue and kFalse.
  void SetStates(winsys::HWND window, winsys::BOOL visible,
                 winsys::BOOL enabled, winsys::BOOL valid);
  // Answers the first times WM_CLOSE requests with 1, then accepts.
  void RefuseClose(winsys::HWND window, int times);
  void NeverAcceptClose(winsys::HWND window);
  // Answers 0 to WM_CLOSE but stays on the desktop.
  void StayOpenOnAccept(winsys::HWND window);
  // Belongs to a program with higher rights: WM_CLOSE is not delivered, the
  // send answers 0 with the last error access denied, the window stays.
  void PutOutOfReach(winsys::HWND window);
  // Its program has stopped reading messages: IsHungAppWindow says so, and
  // a request sent to it is never answered.
  void StopResponding(winsys::HWND window);
  // Stops reading messages when it takes WM_CLOSE, as a program saving to a
  // share that is gone; IsHungAppWindow says so 5 s later, as the platform
  // does. After milliseconds (kForever: never) it reads them again and
  // answers, after its TakeLongToAnswer time if it has one.
  void HangWhileClosing(winsys::HWND window, std::int64_t milliseconds);
  // Takes that long to answer WM_CLOSE, still reading messages meanwhile,
  // as while it shows a "save changes?" prompt.
  void TakeLongToAnswer(winsys::HWND window, winsys::DWORD milliseconds);
  // IsHungAppWindow says it is hung for milliseconds after each request is
  // sent, as the platform does for a thread that had long waited for a
  // message, between its waking for the request and its taking it.
  void SeemHungAfterRequests(winsys::HWND window, std::int64_t milliseconds);
  // IsHungAppWindow says it is hung from from_ms until just before
  // until_ms on the clock, as it does for a moment while a prompt waits on
  // its user; may be given for several moments.
  void SeemHungDuring(winsys::HWND window, std::int64_t from_ms,
                      std::int64_t until_ms);
  // Every send to it fails with that last error while it stays.
  void FailSends(winsys::HWND window, winsys::DWORD error);
  // Every send to it fails and leaves the last error as it was, as the
  // platform's sends sometimes do.
  void FailSendsSettingNoError(winsys::HWND window);
  // The shell's desktop window, as GetShellWindow gives it.
  void SetShellWindow(winsys::HWND window);
  // The console the tool runs in, and who owns a window (the terminal that
  // hosts a console).
  void SetConsoleWindow(winsys::HWND window);
  void SetOwner(winsys::HWND window, winsys::HWND owner);
  // Gone right after answering its requests-th WM_CLOSE.
  void VanishAfterRequests(winsys::HWND window, int requests);
  // Gone just before the first seam call of that kind about it.
  void VanishOnCall(winsys::HWND window, Call call);
  // The window at that handle is gone and a new one, with these texts,
  // has been given the same handle, as the platform may give it again;
  // nothing owed to the old one reaches the new one.
  void GiveHandleToNewWindow(winsys::HWND handle, const std::string& title,
                             const std::string& class_name = "FakeWindowClass");
  // Present only in sweeps first to last (counted from 1).
  void PresentInSweeps(winsys::HWND window, int first, int last);
  // GetWindowTextW and GetClassNameW answer 0 and leave the buffer alone.
  void FailTextReads(winsys::HWND window);
  // The thread's last error from now on, and the one every refused WM_CLOSE
  // leaves behind, whatever was set before the request.
  void SetLastErrorCode(winsys::DWORD code);
  // A system text for code, in UTF-8 here; codes without one have no text.
  void SetSystemText(winsys::DWORD code, const std::string& text);

  FakeWindow& Window(winsys::HWND window);
  bool IsPresent(winsys::HWND window);
  // The record of the given kinds of call, each as a short text such as
  // "Sleep 5000" or "SendMessageCallbackA #2 0x10" (#2: the second window
  // added; message parameters other than 0 follow as " w=.. l=..").
  std::vector<std::string> Trace(const std::vector<Call>& kinds) const;

  // Public records.
  std::vector<SeamCall> calls;
  bool recording = true;  // off for benchmarks: recording allocates
  std::int64_t now_ms = 0;
  int sweeps = 0;
  int texts_outstanding = 0;
  int bad_frees = 0;
  // Called with the milliseconds of each Sleep once the clock has advanced:
  // a test's way to act while the tool pauses.
  std::function<void(winsys::DWORD)> on_sleep;

  // The seam's behaviour, called by the winsys:: functions.
  FakeWindow* Find(winsys::HWND window);
  FakeWindow* Touch(Call call, winsys::HWND window, std::uint64_t value = 0);
  void Record(Call call, winsys::HWND window, std::uint64_t value);
  std::vector<FakeWindow> windows;
  winsys::DWORD last_error = 0;
  winsys::DWORD error_after_refusal = 0;
  winsys::HWND console_window = nullptr;
  winsys::HWND shell_window = nullptr;
  std::map<winsys::DWORD, std::u16string> system_texts;
  // Requests sent with SendMessageCallbackA whose answers are still owed.
  struct OwedAnswer {
    winsys::HWND window;
    winsys::SENDASYNCPROC on_answer;
    winsys::DWORD_PTR data;
    std::int64_t due_ms;  // kForever: never
  };
  std::vector<OwedAnswer> owed_answers;
  // The earliest time an owed answer is due, or kForever.
  std::int64_t NextAnswerDue() const;
  // The window processes WM_CLOSE: its answer, and whether it stays.
  winsys::LRESULT ProcessClose(FakeWindow* window);
};

// The one desktop the seam functions act on.
FakeDesktop& Desktop();

// The UTF-16 code units of a UTF-8 text; an invalid byte becomes U+FFFD.
std::u16string Utf16(const std::string& utf8);

}  // namespace fake
