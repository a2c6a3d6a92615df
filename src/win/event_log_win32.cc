// The runner's records where Windows keeps them: its start and end in the
// Application event log under the source tesmarinds, and the notes it shows,
// both from the message table built into it (task/messages.mc,
// task/platform.h).
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "task/platform.h"
#include "winsys/shift_jis.h"

namespace {

constexpr wchar_t kSource[] = L"tesmarinds";
// The notes are in Japanese, as the tool's own messages are.
constexpr DWORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);
// %1 to %99 are what a message's text may name.
constexpr std::size_t kMostInserts = 99;

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

WORD TypeOf(EventLevel level) {
  switch (level) {
    case EventLevel::kInformation:
      return EVENTLOG_INFORMATION_TYPE;
    case EventLevel::kWarning:
      return EVENTLOG_WARNING_TYPE;
    default:
      return EVENTLOG_ERROR_TYPE;
  }
}

// The running user's SID, which Event Viewer shows as the event's user;
// null when it cannot be read. Kept for the run's two events.
PSID ThisUser() {
  static std::vector<BYTE> user;
  static bool read = false;
  if (!read) {
    read = true;
    HANDLE token = nullptr;
    DWORD size = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) != 0) {
      GetTokenInformation(token, TokenUser, nullptr, 0, &size);
      user.resize(size);
      if (size == 0 || GetTokenInformation(token, TokenUser, user.data(), size,
                                           &size) == 0) {
        user.clear();
      }
      CloseHandle(token);
    }
  }
  return user.empty() ? nullptr
                      : reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
}

// One message of this program's own table with its inserts, in Japanese.
std::wstring MessageText(const NotePiece& piece) {
  std::vector<DWORD_PTR> inserts;
  std::transform(piece.inserts.begin(), piece.inserts.end(),
                 std::back_inserter(inserts),
                 [](const std::u16string& insert) {
                   return reinterpret_cast<DWORD_PTR>(Wide(insert));
                 });
  // A message never reads past its inserts, whatever %n its text holds.
  inserts.resize(std::max<std::size_t>(inserts.size(), kMostInserts),
                 reinterpret_cast<DWORD_PTR>(L""));
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
          FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, piece.message, kJapanese, reinterpret_cast<wchar_t*>(&text), 0,
      reinterpret_cast<va_list*>(inserts.data()));
  std::wstring message;
  if (length != 0 && text != nullptr) {
    message.assign(text, length);
  } else {
    // A number the table lacks still says which note it was.
    message = L"#" + std::to_wstring(piece.message);
    for (const std::u16string& insert : piece.inserts) {
      message += L" " + std::wstring(Wide(insert));
    }
  }
  LocalFree(text);
  return message;
}

}  // namespace

// The source is registered by the packages; unregistered (the zip's task on
// a PC without them), Windows still records the event and its inserts,
// and Event Viewer says it has no description for them.
unsigned long WriteEvent(unsigned event, EventLevel level,
                         const std::vector<std::u16string>& inserts) {
  static HANDLE source = RegisterEventSourceW(nullptr, kSource);
  static const DWORD register_error = source == nullptr ? GetLastError() : 0;
  if (source == nullptr) {
    return register_error != 0 ? register_error : ERROR_INVALID_HANDLE;
  }
  std::vector<const wchar_t*> strings;
  std::transform(inserts.begin(), inserts.end(), std::back_inserter(strings),
                 Wide);
  if (ReportEventW(source, TypeOf(level), 0, event, ThisUser(),
                   static_cast<WORD>(strings.size()), 0, strings.data(),
                   nullptr) == 0) {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_WRITE_FAULT;
  }
  return 0;
}

std::u16string NoteText(const Note& note) {
  std::wstring text;
  for (const NotePiece& piece : note) {
    text += MessageText(piece);
  }
  return std::u16string(text.begin(), text.end());
}

// A program of the Windows subsystem is given a console by no one: started
// at a prompt it writes to the prompt's console, which it attaches to.
void ShowNote(const std::u16string& note) {
  const std::wstring text = std::wstring(Wide(note)) + L"\r\n";
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (output != nullptr && output != INVALID_HANDLE_VALUE &&
      GetConsoleMode(output, &mode) == 0) {
    const std::string bytes =
        InShiftJis(reinterpret_cast<const char16_t*>(text.c_str()));
    DWORD written = 0;
    WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
    return;
  }
  if (output == nullptr || output == INVALID_HANDLE_VALUE) {
    if (AttachConsole(ATTACH_PARENT_PROCESS) == 0) {
      return;
    }
    output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  }
  DWORD written = 0;
  WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written,
                nullptr);
}
