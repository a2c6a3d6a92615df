#include "fake/fake_desktop.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    case Call::kGetWindowTextA:
      return "GetWindowTextA";
    case Call::kGetClassNameA:
      return "GetClassNameA";
    case Call::kIsWindowVisible:
      return "IsWindowVisible";
    case Call::kIsWindowEnabled:
      return "IsWindowEnabled";
    case Call::kIsWindow:
      return "IsWindow";
    case Call::kSendMessageTimeoutA:
      return "SendMessageTimeoutA";
    case Call::kSleep:
      return "Sleep";
    case Call::kGetLastError:
      return "GetLastError";
    case Call::kFormatMessageA:
      return "FormatMessageA";
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
  }
  return "?";
}

// Copies at most max_count - 1 bytes and a NUL, like the platform's readers;
// a missing window reads as empty.
int CopyTextOrEmpty(const std::string* source, char* target, int max_count) {
  if (max_count <= 0) {
    return 0;
  }
  std::size_t length = source == nullptr ? 0 : source->size();
  if (length > static_cast<std::size_t>(max_count - 1)) {
    length = static_cast<std::size_t>(max_count - 1);
  }
  if (length > 0) {
    std::memcpy(target, source->data(), length);
  }
  target[length] = '\0';
  return static_cast<int>(length);
}

}  // namespace

void FakeDesktop::Reset() { *this = FakeDesktop(); }

winsys::HWND FakeDesktop::AddWindow(const std::string& title,
                                    const std::string& class_name) {
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

void FakeDesktop::TakeLongToAnswer(winsys::HWND window,
                                   winsys::DWORD milliseconds) {
  Window(window).answer_after_ms = milliseconds;
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
  system_texts[code] = text;
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
    calls.push_back(SeamCall{call, window, value, 0, 0, 0, 0, now_ms});
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
    if (call.call == Call::kSendMessageTimeoutA) {
      char message[16];
      std::snprintf(message, sizeof message, " 0x%llx",
                    static_cast<unsigned long long>(call.value));
      line += message;
      if (call.wparam != 0 || call.lparam != 0) {
        line += " w=" + std::to_string(call.wparam) +
                " l=" + std::to_string(call.lparam);
      }
    } else if (call.call == Call::kSleep || call.call == Call::kGetLastError ||
               call.call == Call::kSetLastError ||
               call.call == Call::kFormatMessageA) {
      line += " " + std::to_string(call.value);
    }
    trace.push_back(line);
  }
  return trace;
}

FakeDesktop& Desktop() {
  static FakeDesktop desktop;
  return desktop;
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

int GetWindowTextA(HWND window, char* text, int max_count) {
  FakeWindow* found = Desktop().Touch(Call::kGetWindowTextA, window);
  if (found != nullptr && found->text_reads_fail) {
    return 0;
  }
  return fake::CopyTextOrEmpty(found ? &found->title : nullptr, text,
                               max_count);
}

int GetClassNameA(HWND window, char* name, int max_count) {
  FakeWindow* found = Desktop().Touch(Call::kGetClassNameA, window);
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

// Like the platform, a message that is not delivered fails the send and
// leaves the reason in the last error: a window that is gone, one of a
// program with higher rights, or a hung one when the send aborts on those.
// A window that takes long to answer moves the clock on by that long.
LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam, UINT flags, UINT timeout_ms,
                            DWORD_PTR* result) {
  constexpr DWORD kErrorInvalidWindowHandle = 1400;
  fake::FakeDesktop& desktop = Desktop();
  FakeWindow* found =
      desktop.Touch(Call::kSendMessageTimeoutA, window, message);
  if (desktop.recording) {
    desktop.calls.back().wparam = wparam;
    desktop.calls.back().lparam = lparam;
    desktop.calls.back().flags = flags;
    desktop.calls.back().timeout_ms = timeout_ms;
  }
  *result = 0;
  if (found == nullptr) {
    desktop.last_error = kErrorInvalidWindowHandle;
    return 0;
  }
  if (message != kWmClose) {
    return 1;
  }
  if (found->out_of_reach) {
    desktop.last_error = kErrorAccessDenied;
    return 0;
  }
  if (found->hung) {
    if ((flags & kSmtoAbortIfHung) != 0) {
      desktop.last_error = kErrorTimeout;
      return 0;
    }
    // The platform would wait here until the program recovers.
    ++desktop.waits_on_hung;
    return 1;
  }
  if (found->answer_after_ms > timeout_ms) {
    desktop.now_ms += timeout_ms;
    desktop.last_error = kErrorTimeout;
    return 0;
  }
  desktop.now_ms += found->answer_after_ms;
  ++found->close_requests;
  LRESULT answer = 0;
  if (found->refusals_left == fake::kForever) {
    answer = 1;
  } else if (found->refusals_left > 0) {
    --found->refusals_left;
    answer = 1;
  } else if (found->closes_on_accept) {
    found->destroyed = true;
  }
  if (found->close_requests == found->vanish_after_requests) {
    found->destroyed = true;
  }
  if (answer != 0) {
    desktop.last_error = desktop.error_after_refusal;
  }
  *result = static_cast<DWORD_PTR>(answer);
  return 1;
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
DWORD FormatMessageA(DWORD flags, const void* /*source*/, DWORD message_id,
                     DWORD language_id, char** text, DWORD /*min_size*/) {
  fake::FakeDesktop& desktop = Desktop();
  desktop.Record(Call::kFormatMessageA, nullptr, message_id);
  auto found = desktop.system_texts.find(message_id);
  if (flags != kSystemTextFlags || language_id != kDefaultLanguage ||
      found == desktop.system_texts.end()) {
    return 0;
  }
  const std::string& system_text = found->second;
  auto* copy = static_cast<char*>(std::malloc(system_text.size() + 1));
  std::memcpy(copy, system_text.c_str(), system_text.size() + 1);
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

}  // namespace winsys
