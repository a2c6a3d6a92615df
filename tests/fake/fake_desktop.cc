#include "fake/fake_desktop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/bytes.h"

namespace fake {
namespace {

// Handles are small distinct numbers, never dereferenced.
winsys::HWND HandleFor(std::size_t index) {
  return reinterpret_cast<winsys::HWND>((index + 1) * 0x10);
}

std::size_t IndexOf(winsys::HWND window) {
  return reinterpret_cast<std::uintptr_t>(window) / 0x10 - 1;
}

const char* NameOf(Call call) {
  switch (call) {
    case Call::kEnumChildWindows:
      return "EnumChildWindows";
    case Call::kGetWindowTextW:
      return "GetWindowTextW";
    case Call::kGetClassNameW:
      return "GetClassNameW";
    case Call::kIsWindowVisible:
      return "IsWindowVisible";
    case Call::kIsWindowEnabled:
      return "IsWindowEnabled";
    case Call::kIsWindow:
      return "IsWindow";
    case Call::kSendMessageCallbackA:
      return "SendMessageCallbackA";
    case Call::kSleep:
      return "Sleep";
    case Call::kGetLastError:
      return "GetLastError";
    case Call::kFormatMessageW:
      return "FormatMessageW";
    case Call::kLocalFree:
      return "LocalFree";
    case Call::kGetAncestor:
      return "GetAncestor";
    case Call::kGetConsoleWindow:
      return "GetConsoleWindow";
    case Call::kSetLastError:
      return "SetLastError";
    case Call::kGetShellWindow:
      return "GetShellWindow";
    case Call::kIsHungAppWindow:
      return "IsHungAppWindow";
    case Call::kPeekMessageA:
      return "PeekMessageA";
    case Call::kMsgWaitForMultipleObjects:
      return "MsgWaitForMultipleObjects";
    case Call::kGetTickCount64:
      return "GetTickCount64";
    case Call::kWideCharToMultiByte:
      return "WideCharToMultiByte";
  }
  return "?";
}

// Copies at most max_count - 1 code units and a NUL, like the platform's
// readers; a missing window reads as empty.
int CopyTextOrEmpty(const std::u16string* source, winsys::WCHAR* target,
                    int max_count) {
  if (max_count <= 0) {
    return 0;
  }
  std::size_t length = source == nullptr ? 0 : source->size();
  if (length > static_cast<std::size_t>(max_count - 1)) {
    length = static_cast<std::size_t>(max_count - 1);
  }
  if (length > 0) {
    std::memcpy(target, source->data(), length * sizeof(winsys::WCHAR));
  }
  target[length] = 0;
  return static_cast<int>(length);
}

}  // namespace

void FakeDesktop::Reset() { *this = FakeDesktop(); }

winsys::HWND FakeDesktop::AddWindow(const std::string& title,
                                    const std::string& class_name) {
  return AddWindow(Utf16(title), Utf16(class_name));
}

winsys::HWND FakeDesktop::AddWindow(const std::u16string& title,
                                    const std::u16string& class_name) {
  FakeWindow window;
  window.handle = HandleFor(windows.size());
  window.title = title;
  window.class_name = class_name;
  windows.push_back(window);
  return window.handle;
}

void FakeDesktop::Hide(winsys::HWND window) {
  Window(window).visible = winsys::kFalse;
}

void FakeDesktop::Disable(winsys::HWND window) {
  Window(window).enabled = winsys::kFalse;
}

void FakeDesktop::SetStates(winsys::HWND window, winsys::BOOL visible,
                            winsys::BOOL enabled, winsys::BOOL valid) {
  FakeWindow& scripted = Window(window);
  scripted.visible = visible;
  scripted.enabled = enabled;
  scripted.valid = valid;
}

void FakeDesktop::RefuseClose(winsys::HWND window, int times) {
  Window(window).refusals_left = times;
}

void FakeDesktop::NeverAcceptClose(winsys::HWND window) {
  Window(window).refusals_left = kForever;
}

void FakeDesktop::StayOpenOnAccept(winsys::HWND window) {
  Window(window).closes_on_accept = false;
}

void FakeDesktop::PutOutOfReach(winsys::HWND window) {
  Window(window).out_of_reach = true;
}

void FakeDesktop::StopResponding(winsys::HWND window) {
  Window(window).hung = true;
}

void FakeDesktop::HangWhileClosing(winsys::HWND window,
                                   std::int64_t milliseconds) {
  FakeWindow& scripted = Window(window);
  scripted.hangs_on_close = true;
  scripted.hang_ms = milliseconds;
}

void FakeDesktop::TakeLongToAnswer(winsys::HWND window,
                                   winsys::DWORD milliseconds) {
  Window(window).answer_after_ms = milliseconds;
}

void FakeDesktop::SeemHungAfterRequests(winsys::HWND window,
                                        std::int64_t milliseconds) {
  Window(window).seems_hung_ms = milliseconds;
}

void FakeDesktop::SeemHungDuring(winsys::HWND window, std::int64_t from_ms,
                                 std::int64_t until_ms) {
  Window(window).seems_hung_during.emplace_back(from_ms, until_ms);
}

void FakeDesktop::FailSends(winsys::HWND window, winsys::DWORD error) {
  FakeWindow& scripted = Window(window);
  scripted.fails_sends = true;
  scripted.send_error = error;
  scripted.send_failure_sets_error = true;
}

void FakeDesktop::FailSendsSettingNoError(winsys::HWND window) {
  FailSends(window, 0);
  Window(window).send_failure_sets_error = false;
}

void FakeDesktop::SetShellWindow(winsys::HWND window) { shell_window = window; }

void FakeDesktop::SetConsoleWindow(winsys::HWND window) {
  console_window = window;
}

void FakeDesktop::SetOwner(winsys::HWND window, winsys::HWND owner) {
  Window(window).owner = owner;
}

void FakeDesktop::VanishAfterRequests(winsys::HWND window, int requests) {
  Window(window).vanish_after_requests = requests;
}

void FakeDesktop::VanishOnCall(winsys::HWND window, Call call) {
  FakeWindow& scripted = Window(window);
  scripted.vanish_on_call = true;
  scripted.vanish_call = call;
}

void FakeDesktop::GiveHandleToNewWindow(winsys::HWND handle,
                                        const std::string& title,
                                        const std::string& class_name) {
  FakeWindow fresh;
  fresh.handle = handle;
  fresh.title = Utf16(title);
  fresh.class_name = Utf16(class_name);
  Window(handle) = fresh;
  owed_answers.erase(std::remove_if(owed_answers.begin(), owed_answers.end(),
                                    [handle](const OwedAnswer& owed) {
                                      return owed.window == handle;
                                    }),
                     owed_answers.end());
}

void FakeDesktop::PresentInSweeps(winsys::HWND window, int first, int last) {
  FakeWindow& scripted = Window(window);
  scripted.first_sweep = first;
  scripted.last_sweep = last;
}

void FakeDesktop::FailTextReads(winsys::HWND window) {
  Window(window).text_reads_fail = true;
}

void FakeDesktop::SetLastErrorCode(winsys::DWORD code) {
  last_error = code;
  error_after_refusal = code;
}

void FakeDesktop::SetSystemText(winsys::DWORD code, const std::string& text) {
  system_texts[code] = Utf16(text);
}

FakeWindow& FakeDesktop::Window(winsys::HWND window) {
  FakeWindow* found = Find(window);
  if (found == nullptr) {
    std::fprintf(stderr, "fake desktop: no window %p\n",
                 static_cast<void*>(window));
    std::abort();
  }
  return *found;
}

FakeWindow* FakeDesktop::Find(winsys::HWND window) {
  std::size_t index = IndexOf(window);
  if (window == nullptr || index >= windows.size()) {
    return nullptr;
  }
  return &windows[index];
}

bool FakeDesktop::IsPresent(winsys::HWND window) {
  FakeWindow* found = Find(window);
  int sweep = sweeps == 0 ? 1 : sweeps;
  return found != nullptr && !found->destroyed && sweep >= found->first_sweep &&
         sweep <= found->last_sweep;
}

void FakeDesktop::Record(Call call, winsys::HWND window, std::uint64_t value) {
  if (recording) {
    calls.push_back(SeamCall{call, window, value, 0, 0, now_ms});
  }
}

FakeWindow* FakeDesktop::Touch(Call call, winsys::HWND window,
                               std::uint64_t value) {
  Record(call, window, value);
  FakeWindow* found = Find(window);
  if (found != nullptr && found->vanish_on_call && found->vanish_call == call) {
    found->vanish_on_call = false;
    found->destroyed = true;
  }
  return IsPresent(window) ? found : nullptr;
}

std::vector<std::string> FakeDesktop::Trace(
    const std::vector<Call>& kinds) const {
  std::vector<std::string> trace;
  for (const SeamCall& call : calls) {
    bool wanted = false;
    for (Call kind : kinds) {
      wanted = wanted || kind == call.call;
    }
    if (!wanted) {
      continue;
    }
    std::string line = NameOf(call.call);
    if (call.window != nullptr) {
      line += " #" + std::to_string(IndexOf(call.window) + 1);
    }
    if (call.call == Call::kSendMessageCallbackA) {
      char message[16];
      std::snprintf(message, sizeof message, " 0x%llx",
                    static_cast<unsigned long long>(call.value));
      line += message;
      if (call.wparam != 0 || call.lparam != 0) {
        line += " w=" + std::to_string(call.wparam) +
                " l=" + std::to_string(call.lparam);
      }
    } else if (call.call == Call::kSleep ||
               call.call == Call::kMsgWaitForMultipleObjects ||
               call.call == Call::kGetLastError ||
               call.call == Call::kSetLastError ||
               call.call == Call::kFormatMessageW) {
      line += " " + std::to_string(call.value);
    }
    trace.push_back(line);
  }
  return trace;
}

std::int64_t FakeDesktop::NextAnswerDue() const {
  std::int64_t next = kForever;
  for (const OwedAnswer& owed : owed_answers) {
    if (owed.due_ms != kForever && (next == kForever || owed.due_ms < next)) {
      next = owed.due_ms;
    }
  }
  return next;
}

winsys::LRESULT FakeDesktop::ProcessClose(FakeWindow* window) {
  ++window->close_requests;
  winsys::LRESULT answer = 0;
  if (window->refusals_left == kForever) {
    answer = 1;
  } else if (window->refusals_left > 0) {
    --window->refusals_left;
    answer = 1;
  } else if (window->closes_on_accept) {
    window->destroyed = true;
  }
  if (window->close_requests == window->vanish_after_requests) {
    window->destroyed = true;
  }
  if (answer != 0) {
    last_error = error_after_refusal;
  }
  return answer;
}

FakeDesktop& Desktop() {
  static FakeDesktop desktop;
  return desktop;
}

std::u16string Utf16(const std::string& utf8) {
  std::u16string units;
  std::size_t at = 0;
  while (at < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    int trail = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t point = trail == 0   ? lead
                     : trail == 1 ? lead & 0x1F
                     : trail == 2 ? lead & 0x0F
                                  : lead & 0x07;
    bool valid = (lead < 0x80 || lead >= 0xC2) && lead <= 0xF4 &&
                 at + trail < utf8.size();
    for (int i = 1; valid && i <= trail; ++i) {
      const auto next = static_cast<unsigned char>(utf8[at + i]);
      valid = (next & 0xC0) == 0x80;
      point = (point << 6) | (next & 0x3F);
    }
    if (!valid) {
      units.push_back(u'\uFFFD');
      ++at;
      continue;
    }
    at += trail + 1;
    if (point >= 0x10000) {
      point -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(point));
    }
  }
  return units;
}

}  // namespace fake

namespace winsys {

using fake::Call;
using fake::Desktop;
using fake::FakeWindow;

// Like the platform, the windows are listed when the enumeration starts and
// each is visited only if it still exists when its turn comes.
BOOL EnumChildWindows(HWND parent, WNDENUMPROC visitor, LPARAM param) {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kEnumChildWindows, parent, 0);
  if (parent != nullptr) {
    return kFalse;
  }
  ++desktop.sweeps;
  std::vector<HWND> listed;
  for (const FakeWindow& window : desktop.windows) {
    if (desktop.IsPresent(window.handle)) {
      listed.push_back(window.handle);
    }
  }
  for (HWND window : listed) {
    if (desktop.IsPresent(window) && visitor(window, param) == kFalse) {
      break;
    }
  }
  return kTrue;
}

int GetWindowTextW(HWND window, WCHAR* text, int max_count) {
  FakeWindow* found = Desktop().Touch(Call::kGetWindowTextW, window);
  if (found != nullptr && found->text_reads_fail) {
    return 0;
  }
  return fake::CopyTextOrEmpty(found ? &found->title : nullptr, text,
                               max_count);
}

int GetClassNameW(HWND window, WCHAR* name, int max_count) {
  FakeWindow* found = Desktop().Touch(Call::kGetClassNameW, window);
  if (found != nullptr && found->text_reads_fail) {
    return 0;
  }
  return fake::CopyTextOrEmpty(found ? &found->class_name : nullptr, name,
                               max_count);
}

BOOL IsWindowVisible(HWND window) {
  FakeWindow* found = Desktop().Touch(Call::kIsWindowVisible, window);
  return found ? found->visible : kFalse;
}

BOOL IsWindowEnabled(HWND window) {
  FakeWindow* found = Desktop().Touch(Call::kIsWindowEnabled, window);
  return found ? found->enabled : kFalse;
}

BOOL IsWindow(HWND window) {
  FakeWindow* found = Desktop().Touch(Call::kIsWindow, window);
  return found ? found->valid : kFalse;
}

HWND GetAncestor(HWND window, UINT flags) {
  fake::FakeDesktop& desktop = Desktop();
  FakeWindow* found = desktop.Touch(Call::kGetAncestor, window, flags);
  if (found == nullptr || flags != kGaRootOwner) {
    return nullptr;
  }
  while (found->owner != nullptr && desktop.Find(found->owner) != nullptr) {
    found = desktop.Find(found->owner);
  }
  return found->handle;
}

HWND GetConsoleWindow() {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kGetConsoleWindow, nullptr, 0);
  return desktop.console_window;
}

HWND GetShellWindow() {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kGetShellWindow, nullptr, 0);
  return desktop.shell_window;
}

BOOL IsHungAppWindow(HWND window) {
  fake::FakeDesktop& desktop = Desktop();
  FakeWindow* found = desktop.Touch(Call::kIsHungAppWindow, window);
  if (found == nullptr) {
    return kFalse;
  }
  if (found->hung) {
    return kTrue;
  }
  if (found->last_request_ms >= 0 &&
      desktop.now_ms < found->last_request_ms + found->seems_hung_ms) {
    return kTrue;
  }
  for (const auto& [from, until] : found->seems_hung_during) {
    if (desktop.now_ms >= from && desktop.now_ms < until) {
      return kTrue;
    }
  }
  // The platform's rule: no message read for 5 seconds.
  constexpr std::int64_t kHungAfterMs = 5000;
  const std::int64_t since = found->hung_since_ms;
  const bool recovered = found->hang_ms != fake::kForever &&
                         desktop.now_ms >= since + found->hang_ms;
  return since >= 0 && desktop.now_ms >= since + kHungAfterMs && !recovered
             ? kTrue
             : kFalse;
}

// Like the platform, a message that is not delivered fails the send and
// leaves the reason in the last error: a window that is gone, one of a
// program with higher rights, or one scripted to fail. A delivered one is
// answered when its window gets to it: at once, after a prompt, after a
// hang, or never while its program reads no messages.
BOOL SendMessageCallbackA(HWND window, UINT message, WPARAM wparam,
                          LPARAM lparam, SENDASYNCPROC on_answer,
                          DWORD_PTR data) {
  constexpr DWORD kErrorInvalidWindowHandle = 1400;
  fake::FakeDesktop& desktop = Desktop();
  FakeWindow* found =
      desktop.Touch(Call::kSendMessageCallbackA, window, message);
  if (desktop.recording) {
    desktop.calls.back().wparam = wparam;
    desktop.calls.back().lparam = lparam;
  }
  if (found == nullptr) {
    desktop.last_error = kErrorInvalidWindowHandle;
    return kFalse;
  }
  if (found->fails_sends) {
    if (found->send_failure_sets_error) {
      desktop.last_error = found->send_error;
    }
    return kFalse;
  }
  if (found->out_of_reach) {
    desktop.last_error = kErrorAccessDenied;
    return kFalse;
  }
  found->last_request_ms = desktop.now_ms;
  std::int64_t due = desktop.now_ms + found->answer_after_ms;
  if (found->hung) {
    due = fake::kForever;
  } else if (found->hangs_on_close && message == kWmClose) {
    found->hung_since_ms = desktop.now_ms;
    due = found->hang_ms == fake::kForever
              ? fake::kForever
              : desktop.now_ms + found->hang_ms + found->answer_after_ms;
  }
  desktop.owed_answers.push_back({window, on_answer, data, due});
  return kTrue;
}

// Hands on every answer that is due, as the platform does while this
// thread takes its messages; a window gone meanwhile answers nothing.
BOOL PeekMessageA(HWND /*window*/, UINT /*filter_min*/, UINT /*filter_max*/,
                  UINT /*remove_flags*/) {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kPeekMessageA, nullptr, 0);
  std::vector<fake::FakeDesktop::OwedAnswer> due;
  auto& owed = desktop.owed_answers;
  for (auto at = owed.begin(); at != owed.end();) {
    if (at->due_ms != fake::kForever && at->due_ms <= desktop.now_ms) {
      due.push_back(*at);
      at = owed.erase(at);
    } else {
      ++at;
    }
  }
  for (const auto& answer : due) {
    if (!desktop.IsPresent(answer.window)) {
      continue;
    }
    FakeWindow* found = desktop.Find(answer.window);
    LRESULT result = desktop.ProcessClose(found);
    answer.on_answer(answer.window, kWmClose, answer.data, result);
  }
  return kFalse;
}

// Wakes when an owed answer falls due, else after milliseconds; the clock
// moves on to then. An answer already due sits in the queue and wakes it at
// once, every time until it is taken: a millisecond passes, as it does on
// the platform for a tool that loops on a queue it never empties.
DWORD MsgWaitForMultipleObjects(DWORD /*count*/, const void* /*handles*/,
                                BOOL /*wait_all*/, DWORD milliseconds,
                                DWORD /*wake_mask*/) {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kMsgWaitForMultipleObjects, nullptr, milliseconds);
  const std::int64_t due = desktop.NextAnswerDue();
  if (due != fake::kForever && due <= desktop.now_ms) {
    desktop.now_ms += 1;
    return 0;
  }
  if (due != fake::kForever && due <= desktop.now_ms + milliseconds) {
    desktop.now_ms = due;
    return 0;
  }
  desktop.now_ms += milliseconds;
  return kWaitTimeout;
}

ULONGLONG GetTickCount64() {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kGetTickCount64, nullptr, 0);
  return static_cast<ULONGLONG>(desktop.now_ms);
}

void Sleep(DWORD milliseconds) {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kSleep, nullptr, milliseconds);
  desktop.now_ms += milliseconds;
  if (desktop.on_sleep) {
    desktop.on_sleep(milliseconds);
  }
}

DWORD GetLastError() {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kGetLastError, nullptr, desktop.last_error);
  return desktop.last_error;
}

void SetLastError(DWORD code) {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kSetLastError, nullptr, code);
  desktop.last_error = code;
}

// Only the allocating, system-text form the tool uses is realised; any other
// flags or language find no text, so a test sees the wrong call.
DWORD FormatMessageW(DWORD flags, const void* /*source*/, DWORD message_id,
                     DWORD language_id, WCHAR** text, DWORD /*min_size*/) {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kFormatMessageW, nullptr, message_id);
  auto found = desktop.system_texts.find(message_id);
  if (flags != kSystemTextFlags || language_id != kDefaultLanguage ||
      found == desktop.system_texts.end()) {
    return 0;
  }
  const std::u16string& system_text = found->second;
  const std::size_t bytes = (system_text.size() + 1) * sizeof(WCHAR);
  auto* copy = static_cast<WCHAR*>(std::malloc(bytes));
  std::memcpy(copy, system_text.c_str(), bytes);
  *text = copy;
  ++desktop.texts_outstanding;
  return static_cast<DWORD>(system_text.size());
}

void* LocalFree(void* memory) {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kLocalFree, nullptr, 0);
  if (memory == nullptr) {
    ++desktop.bad_frees;
    return memory;
  }
  std::free(memory);
  --desktop.texts_outstanding;
  return nullptr;
}

// Only code page 932 is realised, as the tool uses it; any other converts
// nothing. A unit at a time, so lone surrogates and each half of a pair
// outside the code page become '?', as under Wine.
int WideCharToMultiByte(UINT code_page, DWORD /*flags*/, const WCHAR* wide,
                        int wide_length, char* narrow, int narrow_size,
                        const char* /*default_char*/, BOOL* /*used_default*/) {
  constexpr DWORD kErrorInsufficientBuffer = 122;
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kWideCharToMultiByte, nullptr, code_page);
  if (code_page != kShiftJisCodePage) {
    return 0;
  }
  int size = 0;
  for (int at = 0; wide_length < 0 || at < wide_length; ++at) {
    char bytes[2] = {'\0', '\0'};
    const bool terminator = wide_length < 0 && wide[at] == 0;
    const int count = terminator ? 1 : CodeUnitInCp932(wide[at], bytes);
    if (narrow_size != 0) {
      if (size + count > narrow_size) {
        desktop.last_error = kErrorInsufficientBuffer;
        return 0;
      }
      std::memcpy(narrow + size, bytes, static_cast<std::size_t>(count));
    }
    size += count;
    if (terminator) {
      break;
    }
  }
  return size;
}

}  // namespace winsys
