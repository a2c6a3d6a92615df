// c:\temp as the task's runner uses it: the turn and the tool's log, each
// opened in the folder's one handle and judged (task/platform.h).
#include <windows.h>

#include <string>

#include "log/activity_log.h"
#include "task/platform.h"
#include "tempdir/temp_files.h"
#include "win/opened_file_win32.h"
#include "win/task_places_win32.h"

namespace {

// The end line and a little more: enough to tell whether it ends the log.
constexpr DWORD kTailBytes = 64;
constexpr DWORD kCopyChunk = 64 * 1024;

constexpr wchar_t kTempPath[] = L"c:\\temp";
constexpr wchar_t kLog[] = L"Tesmarind.txt";
constexpr wchar_t kTurn[] = L"Tesmarind-turn.txt";

// Up to bytes from the file's position; false on a read error, which is
// never taken for the file's end.
bool ReadAtMost(HANDLE file, DWORD bytes, std::string* text) {
  text->assign(bytes, '\0');
  DWORD read = 0;
  const bool ok = ReadFile(file, text->data(), bytes, &read, nullptr) != 0;
  text->resize(ok ? read : 0);
  return ok;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                   &written, nullptr) != 0 &&
         written == bytes.size();
}

bool MoveTo(HANDLE file, LONGLONG offset) {
  LARGE_INTEGER position{};
  position.QuadPart = offset;
  return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) != 0;
}

// The log opened in c:\temp, or INVALID_HANDLE_VALUE with the last error.
HANDLE OpenLog(DWORD access, DWORD share) {
  DWORD error = 0;
  const JudgedFolder* temp = TempFolder(&error);
  if (temp == nullptr) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  OpenedFileFacts facts;
  return OpenJudged(*temp, kLog, access, share, /*create=*/false, &facts);
}

}  // namespace

// Opened at the run's first look, so that every later file is judged
// against the folder as it was then, not as its name leads later.
const JudgedFolder* TempFolder(DWORD* error) {
  static JudgedFolder folder;
  static const DWORD open_error =
      OpenFolder(kTempPath, &folder) ? 0 : GetLastError();
  *error = open_error;
  return open_error == 0 ? &folder : nullptr;
}

struct Turn {
  HANDLE file;
};

void GiveBackTurn(Turn* turn) {
  CloseHandle(turn->file);
  delete turn;
}

// Held unshared for reading alone: the turn is in who holds the file, never
// in what it says. Only a sharing violation is another run holding it; a
// file made at the same moment by another run is as good as held.
TurnAttempt TakeTurn() {
  TurnAttempt attempt;
  DWORD error = 0;
  const JudgedFolder* temp = TempFolder(&error);
  if (temp == nullptr) {
    attempt.error = error;
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      attempt.state = TurnAttempt::kNoFolder;
    }
    return attempt;
  }
  OpenedFileFacts facts;
  HANDLE file =
      OpenJudged(*temp, kTurn, GENERIC_READ, 0, /*create=*/true, &facts);
  if (file != INVALID_HANDLE_VALUE) {
    attempt.state = TurnAttempt::kTaken;
    attempt.held = HeldTurn(new Turn{file});
    return attempt;
  }
  attempt.error = GetLastError();
  if (attempt.error == ERROR_SHARING_VIOLATION ||
      attempt.error == ERROR_FILE_EXISTS) {
    attempt.state = TurnAttempt::kBusy;
  }
  return attempt;
}

// A run holds its log unshared; reading shares only with readers, so that
// nothing changes it while it is looked at.
LogState LookAtLog() {
  HANDLE file = OpenLog(GENERIC_READ, FILE_SHARE_READ);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? LogState::kHeld
                                                     : LogState::kMissing;
  }
  LARGE_INTEGER size{};
  std::string tail;
  const bool read =
      GetFileSizeEx(file, &size) != 0 &&
      MoveTo(file, size.QuadPart > kTailBytes ? size.QuadPart - kTailBytes
                                              : 0) &&
      ReadAtMost(file, kTailBytes, &tail);
  CloseHandle(file);
  if (!read) {
    return LogState::kMissing;
  }
  if (size.QuadPart == 0) {
    return LogState::kEmpty;
  }
  return EndsWithEndLine(tail) ? LogState::kEnded : LogState::kUnended;
}

// Held unshared from the copy to the emptying, so that no other process
// reads the titles in between or writes a line that would be lost. The copy
// is a file this run makes: whatever already sits at its name is never
// opened, written or removed.
CopyOutcome CopyLogAway(const std::string& name) {
  HANDLE from = OpenLog(GENERIC_READ | GENERIC_WRITE, 0);
  if (from == INVALID_HANDLE_VALUE) {
    return CopyOutcome::kFailed;
  }
  DWORD error = 0;
  const JudgedFolder* copies = UserCopiesFolder(/*make=*/true, &error);
  OpenedFileFacts facts;
  HANDLE to = copies == nullptr
                  ? INVALID_HANDLE_VALUE
                  : CreateNewJudged(*copies, std::wstring(name.begin(),
                                                          name.end()),
                                    GENERIC_WRITE, &facts);
  if (to == INVALID_HANDLE_VALUE) {
    error = copies == nullptr ? error : GetLastError();
    CloseHandle(from);
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
               ? CopyOutcome::kNameTaken
               : CopyOutcome::kFailed;
  }
  bool copied = true;
  bool more = true;
  std::string chunk;
  while (copied && more) {
    copied = ReadAtMost(from, kCopyChunk, &chunk);
    more = copied && !chunk.empty();
    if (more) {
      copied = WriteAll(to, chunk);
    }
  }
  if (copied) {
    static_cast<void>(MoveTo(from, 0) && SetEndOfFile(from) != 0);
  } else {
    DeleteOnClose(to);
  }
  CloseHandle(to);
  CloseHandle(from);
  return copied ? CopyOutcome::kCopied : CopyOutcome::kFailed;
}
