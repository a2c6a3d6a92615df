// The task's runner's calls to the platform (task/platform.h).
#include <windows.h>

#include <string>

#include "log/activity_log.h"
#include "task/platform.h"
#include "win/opened_file_win32.h"
#include "winsys/shift_jis.h"
#include "winsys/window_system.h"

namespace {

// The end line and a little more: enough to tell whether it ends the log.
constexpr DWORD kTailBytes = 64;
// The most of a program's messages kept, and what the pipe they come
// through holds, far more than the tool's longest message.
constexpr std::size_t kMostSaid = std::size_t{64} * 1024;
constexpr DWORD kPipeBytes = 64 * 1024;
constexpr DWORD kCopyChunk = 64 * 1024;

HANDLE turn_file = INVALID_HANDLE_VALUE;

std::string ReadAtMost(HANDLE file, DWORD bytes) {
  std::string text(bytes, '\0');
  DWORD read = 0;
  if (ReadFile(file, text.data(), bytes, &read, nullptr) == 0) {
    read = 0;
  }
  text.resize(read);
  return text;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                   &written, nullptr) != 0 &&
         written == bytes.size();
}

std::string LastBytes(HANDLE file) {
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) == 0) {
    return std::string();
  }
  LARGE_INTEGER start{};
  start.QuadPart = size.QuadPart > kTailBytes ? size.QuadPart - kTailBytes : 0;
  if (SetFilePointerEx(file, start, nullptr, FILE_BEGIN) == 0) {
    return std::string();
  }
  return ReadAtMost(file, kTailBytes);
}

// The registry value in one view; false when that view has no REG_SZ Term.
bool ReadTermInView(REGSAM view, std::u16string* term) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\tesmarinds", 0,
                    KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
    return false;
  }
  bool found = false;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, L"Term", nullptr, &type, nullptr, &size) ==
          ERROR_SUCCESS &&
      type == REG_SZ) {
    std::u16string value(size / sizeof(char16_t) + 1, u'\0');
    size = static_cast<DWORD>(value.size() * sizeof(char16_t));
    found = RegQueryValueExW(key, L"Term", nullptr, &type,
                             reinterpret_cast<BYTE*>(value.data()),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ;
    // Stored with or without its terminator: the text ends at the first.
    value.resize(size / sizeof(char16_t));
    *term = value.substr(0, value.find(u'\0'));
  }
  RegCloseKey(key);
  return found;
}

}  // namespace

// A 32-bit program reads the 64-bit view through the flag; on 32-bit
// Windows the flags are ignored and there is one view.
bool ReadTermFromRegistry(std::u16string* term) {
  return ReadTermInView(KEY_WOW64_64KEY, term) ||
         ReadTermInView(KEY_WOW64_32KEY, term);
}

bool ReadEnvironment(const char16_t* name, std::u16string* value) {
  const auto* wide_name = reinterpret_cast<const wchar_t*>(name);
  const DWORD size = GetEnvironmentVariableW(wide_name, nullptr, 0);
  if (size == 0) {
    return false;
  }
  std::u16string text(size, u'\0');
  const DWORD length = GetEnvironmentVariableW(
      wide_name, reinterpret_cast<wchar_t*>(text.data()), size);
  if (length == 0 || length >= size) {
    return false;
  }
  text.resize(length);
  *value = text;
  return true;
}

Turn TakeTurn(const char* path) {
  OpenedLogFile facts;
  turn_file = OpenAsLog(path, GENERIC_READ, 0, /*create=*/true, &facts);
  if (turn_file != INVALID_HANDLE_VALUE) {
    return Turn::kTaken;
  }
  return GetLastError() == ERROR_PATH_NOT_FOUND ? Turn::kNoFolder : Turn::kBusy;
}

void GiveBackTurn() {
  if (turn_file != INVALID_HANDLE_VALUE) {
    CloseHandle(turn_file);
    turn_file = INVALID_HANDLE_VALUE;
  }
}

// A run holds its log unshared; reading shares only with readers, so that
// nothing changes it while it is looked at.
LogState LookAtLog(const char* path) {
  OpenedLogFile facts;
  HANDLE file =
      OpenAsLog(path, GENERIC_READ, FILE_SHARE_READ, /*create=*/false, &facts);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? LogState::kHeld
                                                     : LogState::kMissing;
  }
  const bool ended = EndsWithEndLine(LastBytes(file));
  CloseHandle(file);
  return ended ? LogState::kEnded : LogState::kUnended;
}

// The copy is made anew: what sits at its name (a planted link among them)
// is removed, not written through, and the copy is read from a log that
// the log's rules take.
bool CopyLog(const char* path, const std::string& copy_name) {
  OpenedLogFile facts;
  HANDLE from =
      OpenAsLog(path, GENERIC_READ, FILE_SHARE_READ, /*create=*/false, &facts);
  if (from == INVALID_HANDLE_VALUE) {
    return false;
  }
  std::string target = path;
  target.erase(target.rfind('\\') + 1);
  target += copy_name;
  DeleteFileA(target.c_str());
  HANDLE to = CreateFileA(target.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool copied = to != INVALID_HANDLE_VALUE;
  while (copied) {
    const std::string chunk = ReadAtMost(from, kCopyChunk);
    if (chunk.empty()) {
      break;
    }
    copied = WriteAll(to, chunk);
  }
  if (to != INVALID_HANDLE_VALUE) {
    if (!copied) {
      DeleteOnClose(to);
    }
    CloseHandle(to);
  }
  CloseHandle(from);
  return copied;
}

// Runs on several sessions append to the one history, each line in one
// write at its end.
void AppendToFile(const char* path, const std::string& text) {
  OpenedLogFile facts;
  HANDLE file = OpenAsLog(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE,
                          /*create=*/true, &facts);
  if (file != INVALID_HANDLE_VALUE) {
    static_cast<void>(WriteAll(file, text));
    CloseHandle(file);
  }
}

void ReplaceFileText(const char* path, const std::string& text) {
  OpenedLogFile facts;
  HANDLE file = OpenAsLog(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ, /*create=*/true, &facts);
  if (file != INVALID_HANDLE_VALUE) {
    if (SetEndOfFile(file) != 0) {
      static_cast<void>(WriteAll(file, text));
    }
    CloseHandle(file);
  }
}

std::string ReadFileStart(const char* path) {
  OpenedLogFile facts;
  HANDLE file =
      OpenAsLog(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                /*create=*/false, &facts);
  if (file == INVALID_HANDLE_VALUE) {
    return std::string();
  }
  std::string text = ReadAtMost(file, 1024);
  CloseHandle(file);
  return text;
}

// The program gets this end of a pipe as its standard output and error and
// nothing else; with no console of its own, a console program writes its
// messages there as bytes.
ProgramRun RunWithoutConsole(const std::u16string& command_line) {
  ProgramRun run;
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  if (CreatePipe(&reader, &writer, &inherited, kPipeBytes) == 0) {
    run.start_error = GetLastError();
    return run;
  }
  SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer;
  startup.hStdError = writer;
  PROCESS_INFORMATION process{};
  // CreateProcessW may write to the command line it is given. The program
  // is its first part, a full path in quotation marks: nothing is searched.
  std::u16string line = command_line;
  run.started =
      CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()), nullptr,
                     nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                     &startup, &process) != 0;
  run.start_error = run.started ? 0 : GetLastError();
  CloseHandle(writer);
  if (run.started) {
    // Read after the program has ended, not until the pipe's end: a
    // process it starts (under Wine the desktop's own) may keep its end
    // open for ever. The pipe holds more than the tool ever writes.
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    run.status = status;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DWORD waiting = 0;
    while (run.said.size() < kMostSaid &&
           PeekNamedPipe(reader, nullptr, 0, nullptr, &waiting, nullptr) != 0 &&
           waiting > 0) {
      run.said += ReadAtMost(reader, waiting);
    }
  }
  CloseHandle(reader);
  return run;
}

std::u16string PathBesideThisProgram(const std::u16string& name) {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()),
                           static_cast<DWORD>(path.size()));
    if (length == 0) {
      return name;
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  path.erase(path.rfind(u'\\') + 1);
  return path + name;
}

std::string UserName() {
  // UNLEN, the longest user name, and its terminator.
  std::u16string name(257, u'\0');
  DWORD size = static_cast<DWORD>(name.size());
  if (GetUserNameW(reinterpret_cast<wchar_t*>(name.data()), &size) == 0) {
    return std::string();
  }
  return InShiftJis(name.c_str());
}

LocalTime Now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth,  now.wDay,
                   now.wHour, now.wMinute, now.wSecond};
}

void PauseSeconds(unsigned seconds) { Sleep(seconds * 1000); }

// A program of the Windows subsystem is given a console by no one: started
// at a prompt it writes to the prompt's console, which it attaches to.
void ShowNote(const std::string& note) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (output != nullptr && output != INVALID_HANDLE_VALUE &&
      GetConsoleMode(output, &mode) == 0) {
    static_cast<void>(WriteAll(output, note + "\r\n"));
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
  const std::wstring text =
      Widened(note.c_str(), winsys::kShiftJisCodePage) + L"\r\n";
  DWORD written = 0;
  WriteConsoleW(output, text.data(), static_cast<DWORD>(text.size()), &written,
                nullptr);
}
