// Fuzzes one window's visit on the fake desktop: any title and class name,
// any search term, any three state values, refusals (or a refusal every
// time, until the run gives up), system texts and a window that vanishes
// part way. The selection, the close requests and the
// log bytes must be exactly what the rules give.
//
// Input, in order (a short input leaves the later fields empty or zero):
//   3 bytes   visible, enabled, valid: each byte below 0xC0 gives its low
//             bit (0 or 1), any other gives the byte minus 0xE0 (-32..31)
//   1 byte    options:
//               bits 0-1  refusals before the window accepts (0-2), or
//                         3: it never accepts
//               bits 2-3  the system text of the error code (0: none)
//               bit 4     no log open
//               bits 5-7  the seam call the window vanishes on (0: never,
//                         then GetWindowTextA, GetClassNameA,
//                         IsWindowVisible, IsWindowEnabled, IsWindow,
//                         SendMessageCallbackA, and 7: after its first request)
//   1 byte    term length, modulo 33; the term ends early at a NUL
//   n bytes   the term
//   2 bytes   title length, big-endian, modulo 1280
//   n bytes   the title, as UTF-8 (a byte that is not becomes U+FFFD)
//   the rest  the class name, likewise
// The tool reads at most 1023 code units of a title or class name, up to the
// first NUL, and keeps at most 1023 bytes of them in code page 932; both
// are longer here so the reference must cut them.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/search_term.h"
#include "close/request_close.h"
#include "fake/fake_desktop.h"
#include "log/activity_log.h"
#include "match/visit_window.h"
#include "reference.h"
#include "support/bytes.h"

namespace {

using fake::Call;
using reference::ExpectEqual;
using reference::Sjis;
using reference::TextMode;

constexpr winsys::DWORD kErrorCode = 5;
constexpr std::size_t kLongestText = 1023;
constexpr int kNeverAccepts = 3;
// Ten minutes of asking every second.
constexpr long long kRequestsBeforeGivingUp = 600;
constexpr winsys::DWORD kTimeoutCode = 1460;
const char kTimeoutText[] = "Timeout.\r\n";

// Index 0 stands for no system text for the code.
const char* const kSystemTexts[] = {
    nullptr,
    "Access is denied.\r\n",
    "%1 is not %s valid %n.\n",
    "bare\rCR and\n\nLF",
};

enum VanishPoint {
  kNever,
  kOnTitle,
  kOnClassName,
  kOnVisible,
  kOnEnabled,
  kOnValid,
  kOnFirstRequest,
  kAfterFirstRequest,
};

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size) {}

  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

  std::string Bytes(std::size_t count) {
    std::size_t available = size_ - at_;
    if (count > available) {
      count = available;
    }
    std::string bytes(reinterpret_cast<const char*>(data_ + at_), count);
    at_ += count;
    return bytes;
  }

  std::string Rest() { return Bytes(size_ - at_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

winsys::BOOL StateFrom(std::uint8_t byte) {
  if (byte < 0xC0) {
    return byte & 1;
  }
  return static_cast<winsys::BOOL>(byte) - 0xE0;
}

struct Scenario {
  winsys::BOOL visible;
  winsys::BOOL enabled;
  winsys::BOOL valid;
  int refusals;
  const char* system_text;
  bool log_open;
  VanishPoint vanish;
  std::string term;
  std::u16string title;       // as set on the window, maybe over-long
  std::u16string class_name;  // likewise
};

Scenario Decode(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  Scenario scenario{};
  scenario.visible = StateFrom(input.Byte());
  scenario.enabled = StateFrom(input.Byte());
  scenario.valid = StateFrom(input.Byte());
  std::uint8_t options = input.Byte();
  scenario.refusals = options & 0x3;
  scenario.system_text = kSystemTexts[(options >> 2) & 0x3];
  scenario.log_open = (options & 0x10) == 0;
  scenario.vanish = static_cast<VanishPoint>(options >> 5);
  std::string term = input.Bytes(input.Byte() % 33);
  scenario.term = term.substr(0, term.find('\0'));
  std::size_t title_length = input.Byte() << 8;
  title_length = (title_length | input.Byte()) % 1280;
  scenario.title = fake::Utf16(input.Bytes(title_length));
  scenario.class_name = fake::Utf16(input.Rest());
  return scenario;
}

struct Expectation {
  std::string log;
  long long requests = 0;
  long long refusals_logged = 0;
  long long pause_ms = 0;
  bool undelivered = false;
  bool given_up = false;
};

// The rules, restated. A window that has vanished reads as empty and as not
// visible, enabled or valid from the call it vanished on; a request to it is
// not delivered and so answers 0.
Expectation Expected(const Scenario& s) {
  const bool gone_for_title = s.vanish == kOnTitle;
  const bool gone_for_class = gone_for_title || s.vanish == kOnClassName;
  const bool gone_for_visible = gone_for_class || s.vanish == kOnVisible;
  const bool gone_for_enabled = gone_for_visible || s.vanish == kOnEnabled;
  const bool gone_for_valid = gone_for_enabled || s.vanish == kOnValid;

  const std::string title =
      gone_for_title ? "" : reference::ReadInCp932(s.title, kLongestText);
  const std::string class_name =
      gone_for_class ? "" : reference::ReadInCp932(s.class_name, kLongestText);
  const winsys::BOOL visible = gone_for_visible ? 0 : s.visible;
  const winsys::BOOL enabled = gone_for_enabled ? 0 : s.enabled;
  const winsys::BOOL valid = gone_for_valid ? 0 : s.valid;

  Expectation expected;
  expected.log = TextMode(title) + Sjis(" が見つかりました。クラス名：") +
                 TextMode(class_name) + "\r\n";
  const bool selected =
      reference::Contains(reference::FoldLetters(title),
                          reference::FoldLetters(s.term)) &&
      visible == 1 && enabled == 1 && valid == 1 &&
      class_name != "Shell_TrayWnd" && class_name != "Shell_SecondaryTrayWnd" &&
      class_name != "Ghost" && class_name != "Windows.UI.Core.CoreWindow";
  if (selected) {
    expected.log += Sjis("指定したタイトルである ") + TextMode(title) +
                    Sjis(" が見つかりました\r\n");
    if (s.vanish == kOnFirstRequest) {
      expected.refusals_logged = 0;
    } else if (s.vanish == kAfterFirstRequest) {
      expected.refusals_logged = s.refusals > 0 ? 1 : 0;
    } else if (s.refusals == kNeverAccepts) {
      expected.refusals_logged = kRequestsBeforeGivingUp;
      expected.given_up = true;
    } else {
      expected.refusals_logged = s.refusals;
    }
    // Given up after its last refusal, the window is not asked again.
    expected.requests = expected.refusals_logged + (expected.given_up ? 0 : 1);
    // The last request is not delivered when the window is gone by then.
    expected.undelivered = s.vanish == kOnFirstRequest ||
                           (s.vanish == kAfterFirstRequest && s.refusals > 0);
    expected.pause_ms = 5000 + 1000 * expected.refusals_logged;
    for (long long i = 0; i < expected.refusals_logged; ++i) {
      if (s.system_text != nullptr) {
        expected.log += TextMode(s.system_text);
      }
      expected.log += Sjis("WM_CLOSEに失敗しました\r\n");
    }
    if (expected.given_up) {
      expected.log +=
          TextMode(kTimeoutText) + Sjis("WM_CLOSEに失敗しました\r\n");
    }
  }
  if (!s.log_open) {
    expected.log.clear();
  }
  return expected;
}

const std::string& LogPath() {
  static const std::string path = [] {
    char pattern[] = "/tmp/tesmarinds-visit-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      std::abort();
    }
    return std::string(pattern) + "/Tesmarind.txt";
  }();
  return path;
}

// Best effort: a leftover temporary directory harms nothing.
void RemoveLog() {
  static_cast<void>(std::remove(LogPath().c_str()));
  static_cast<void>(rmdir(LogPath().substr(0, LogPath().rfind('/')).c_str()));
}

void SetUpWindow(const Scenario& s) {
  fake::FakeDesktop& desktop = fake::Desktop();
  desktop.Reset();
  winsys::HWND window = desktop.AddWindow(s.title, s.class_name);
  desktop.SetStates(window, s.visible, s.enabled, s.valid);
  if (s.refusals == kNeverAccepts) {
    desktop.NeverAcceptClose(window);
  } else {
    desktop.RefuseClose(window, s.refusals);
  }
  desktop.SetSystemText(kTimeoutCode, kTimeoutText);
  desktop.SetLastErrorCode(kErrorCode);
  if (s.system_text != nullptr) {
    desktop.SetSystemText(kErrorCode, s.system_text);
  }
  const Call vanish_calls[] = {
      Call::kGetWindowTextW,  Call::kGetClassNameW,
      Call::kIsWindowVisible, Call::kIsWindowEnabled,
      Call::kIsWindow,        Call::kSendMessageCallbackA};
  if (s.vanish == kAfterFirstRequest) {
    desktop.VanishAfterRequests(window, 1);
  } else if (s.vanish != kNever) {
    desktop.VanishOnCall(window, vanish_calls[s.vanish - kOnTitle]);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  LogPath();
  if (std::atexit(RemoveLog) != 0) {
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const Scenario scenario = Decode(data, size);
  SetUpWindow(scenario);
  StoreSearchTerm(scenario.term.c_str());
  StartCloseRequests();
  // Absent already after a run without the log; a run with it recreates it.
  static_cast<void>(std::remove(LogPath().c_str()));
  if (scenario.log_open && !OpenActivityLog(LogPath().c_str())) {
    std::abort();
  }

  fake::FakeDesktop& desktop = fake::Desktop();
  const winsys::BOOL answer =
      VisitWindow(desktop.windows.front().handle, 0x5EED);
  CloseActivityLog();

  const Expectation expected = Expected(scenario);
  ExpectEqual("visitor's answer", winsys::kTrue, answer);
  ExpectEqual("log bytes", expected.log, ReadFileBytes(LogPath()));
  ExpectEqual("close requests", expected.requests,
              static_cast<long long>(
                  desktop.Trace({Call::kSendMessageCallbackA}).size()));
  // The error code is read after the pause for each refusal, and at once
  // after a request that was not delivered.
  ExpectEqual(
      "error codes read",
      expected.refusals_logged + (expected.undelivered ? 1 : 0),
      static_cast<long long>(desktop.Trace({Call::kGetLastError}).size()));
  ExpectEqual("requests given up", expected.given_up ? 1 : 0,
              CloseRequestsGivenUp() ? 1 : 0);
  ExpectEqual("system texts released",
              (scenario.system_text != nullptr ? expected.refusals_logged : 0) +
                  (expected.given_up ? 1 : 0),
              static_cast<long long>(desktop.Trace({Call::kLocalFree}).size()));
  ExpectEqual("system texts outstanding", 0, desktop.texts_outstanding);
  ExpectEqual("bad releases", 0, desktop.bad_frees);
  ExpectEqual("time paused", expected.pause_ms, desktop.now_ms);
  return 0;
}
