// The task's runner's calls to the platform (task/platform.h).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "log/activity_log.h"
#include "task/platform.h"
#include "tempdir/temp_files.h"
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
// The most of the history read to trim it: far more than a year of runs.
constexpr DWORD kLongestHistory = 16 * 1024 * 1024;
// How long a history line waits for a process holding the history (an
// editor open over the admin share), and how often it looks.
constexpr int kAppendAttempts = 20;
constexpr DWORD kAppendPauseMs = 500;
// How often the tool's messages are taken from the pipe while it runs.
constexpr DWORD kDrainEveryMs = 200;

// Up to bytes from the file's position; false on a read error, which is
// never taken for the file's end.
bool ReadAtMost(HANDLE file, DWORD bytes, std::string* text) {
  text->assign(bytes, '\0');
  DWORD read = 0;
  const bool ok = ReadFile(file, text->data(), bytes, &read, nullptr) != 0;
  text->resize(ok ? read : 0);
  return ok;
}

std::string ReadAtMost(HANDLE file, DWORD bytes) {
  std::string text;
  static_cast<void>(ReadAtMost(file, bytes, &text));
  return text;
}

bool Rewind(HANDLE file) {
  LARGE_INTEGER start{};
  return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0;
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

}  // namespace

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

// Services, and tasks run as SYSTEM or "whether the user is logged on or
// not", run in session 0, where no user signs in. Asked of kernel32 alone:
// the runner links no user32.
bool InUserSession() {
  DWORD session = 0;
  return ProcessIdToSessionId(GetCurrentProcessId(), &session) != 0 &&
         session != 0;
}

// Only a sharing violation is another run holding the turn; a file made at
// the same moment by another run is as good as held.
TurnAttempt TakeTurn(const char* path) {
  TurnAttempt attempt;
  OpenedLogFile facts;
  HANDLE file = OpenAsLog(path, GENERIC_READ | GENERIC_WRITE, 0,
                          /*create=*/true, &facts);
  if (file != INVALID_HANDLE_VALUE) {
    attempt.state = TurnAttempt::kTaken;
    attempt.held = HeldTurn(file);
    return attempt;
  }
  attempt.error = GetLastError();
  if (attempt.error == ERROR_SHARING_VIOLATION ||
      attempt.error == ERROR_FILE_EXISTS) {
    attempt.state = TurnAttempt::kBusy;
  } else if (attempt.error == ERROR_PATH_NOT_FOUND) {
    attempt.state = TurnAttempt::kNoFolder;
  }
  return attempt;
}

std::string ReadTurnFile(void* file) {
  return Rewind(file) ? ReadAtMost(file, 1024) : std::string();
}

void ReplaceTurnFileText(void* file, const std::string& text) {
  if (Rewind(file) && SetEndOfFile(file) != 0) {
    static_cast<void>(WriteAll(file, text));
  }
}

void CloseTurnFile(void* file) { CloseHandle(file); }

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

// The copy is a file this run makes: whatever already sits at its name, a
// planted link among them, is never opened, written or removed.
CopyOutcome CopyLog(const char* path, const std::string& copy_path) {
  OpenedLogFile facts;
  HANDLE from =
      OpenAsLog(path, GENERIC_READ, FILE_SHARE_READ, /*create=*/false, &facts);
  if (from == INVALID_HANDLE_VALUE) {
    return CopyOutcome::kFailed;
  }
  HANDLE to = CreateNewAsLog(copy_path.c_str(), GENERIC_WRITE, 0, &facts);
  if (to == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    CloseHandle(from);
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
               ? CopyOutcome::kNameTaken
               : CopyOutcome::kFailed;
  }
  bool copied = true;
  std::string chunk;
  while (copied) {
    copied = ReadAtMost(from, kCopyChunk, &chunk);
    if (!copied || chunk.empty()) {
      break;
    }
    copied = WriteAll(to, chunk);
  }
  if (!copied) {
    DeleteOnClose(to);
  }
  CloseHandle(to);
  CloseHandle(from);
  return copied ? CopyOutcome::kCopied : CopyOutcome::kFailed;
}

std::vector<std::string> ListFiles(const char* pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.emplace_back(found.cFileName);
    }
  } while (FindNextFileA(search, &found) != 0);
  FindClose(search);
  return names;
}

bool RemoveFile(const char* path) { return RemoveAsLog(path); }

// Runs on several sessions append to the one history, each line in one
// write at its end.
bool AppendToFile(const char* path, const std::string& text) {
  for (int attempt = 1;; ++attempt) {
    OpenedLogFile facts;
    HANDLE file = OpenAsLog(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE,
                            /*create=*/true, &facts);
    if (file != INVALID_HANDLE_VALUE) {
      const bool written = WriteAll(file, text);
      CloseHandle(file);
      return written;
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_FILE_EXISTS) ||
        attempt == kAppendAttempts) {
      return false;
    }
    Sleep(kAppendPauseMs);
  }
}

// Appending runs share the history for writing, so while it is rewritten
// here they wait (AppendToFile), and while one appends it is left as it is.
void RewriteFile(const char* path,
                 std::string (*keep)(const std::string& text,
                                     const LocalTime& today),
                 const LocalTime& today) {
  OpenedLogFile facts;
  HANDLE file = OpenAsLog(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                          /*create=*/false, &facts);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  LARGE_INTEGER size{};
  std::string text;
  if (GetFileSizeEx(file, &size) != 0 && size.QuadPart <= kLongestHistory &&
      ReadAtMost(file, static_cast<DWORD>(size.QuadPart), &text) &&
      text.size() == static_cast<std::size_t>(size.QuadPart)) {
    const std::string kept = keep(text, today);
    if (kept != text && Rewind(file) && WriteAll(file, kept)) {
      SetEndOfFile(file);
    }
  }
  CloseHandle(file);
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
  // The tool runs in a job that ends it when its last handle closes: this
  // program's, closed by the system when the task is ended (its time limit,
  // ［終了］, schtasks /end), so that the tool stops asking windows too.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job != nullptr) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                            sizeof limits);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer;
  startup.hStdError = writer;
  PROCESS_INFORMATION process{};
  // CreateProcessW may write to the command line it is given. The program
  // is its first part, a full path in quotation marks: nothing is searched.
  // Suspended until it is in the job, so it starts nothing outside it.
  std::u16string line = command_line;
  run.started =
      CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()), nullptr,
                     nullptr, TRUE, CREATE_NO_WINDOW | CREATE_SUSPENDED,
                     nullptr, nullptr, &startup, &process) != 0;
  run.start_error = run.started ? 0 : GetLastError();
  CloseHandle(writer);
  if (run.started) {
    if (job != nullptr) {
      AssignProcessToJobObject(job, process.hProcess);
    }
    ResumeThread(process.hThread);
    // Taken from the pipe while it runs, so that no amount of output can
    // block it, and to the end once it has ended, not until the pipe's end:
    // a process it starts (under Wine the desktop's own) may keep its end
    // open for ever.
    for (;;) {
      const DWORD waited = WaitForSingleObject(process.hProcess, kDrainEveryMs);
      DWORD waiting = 0;
      while (PeekNamedPipe(reader, nullptr, 0, nullptr, &waiting, nullptr) !=
                 0 &&
             waiting > 0) {
        const std::string chunk = ReadAtMost(reader, waiting);
        if (chunk.empty()) {
          break;
        }
        if (run.said.size() < kMostSaid) {
          run.said += chunk;
        }
      }
      if (waited != WAIT_TIMEOUT) {
        break;
      }
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    run.status = status;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(reader);
  // The job is kept to the end of this program: closing it would end
  // whatever the tool left running.
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
