#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "log/log_file_check.h"
#include "log/text_output.h"
#include "win/opened_file_win32.h"
#include "winsys/window_system.h"

namespace {

using winsys::kShiftJisCodePage;

HANDLE OpenFile(const char* path, DWORD access, DWORD share,
                DWORD disposition) {
  return CreateFileA(path, access, share, nullptr, disposition, kLogOpenFlags,
                     nullptr);
}

// Opens the file that is there without truncating it, or with create makes
// it only where nothing is: a dangling link makes creation fail instead of
// creating the link's target. *created tells whether the file is new.
HANDLE OpenOrCreateWithoutTruncating(const char* path, DWORD access,
                                     DWORD share, bool create, bool* created) {
  *created = false;
  HANDLE file = OpenFile(path, access, share, OPEN_EXISTING);
  if (create && file == INVALID_HANDLE_VALUE &&
      GetLastError() == ERROR_FILE_NOT_FOUND) {
    // DELETE, so that a new file that is then refused can be taken away.
    file = OpenFile(path, access | DELETE, share, CREATE_NEW);
    *created = file != INVALID_HANDLE_VALUE;
  }
  return file;
}

// What follows the last backslash of path.
std::wstring LastPartOf(const std::wstring& path) {
  std::wstring::size_type separator = path.rfind(L'\\');
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

// The path the handle really leads to, links followed and without the
// volume, which some RAM disks and mounted images cannot name.
std::wstring FinalPathOf(HANDLE file) {
  const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_NONE;
  std::wstring final_path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(
      file, final_path.data(), static_cast<DWORD>(final_path.size()), flags);
  if (length >= final_path.size()) {
    // Too small: length is the size needed, terminator included.
    final_path.resize(length);
    length = GetFinalPathNameByHandleW(
        file, final_path.data(), static_cast<DWORD>(final_path.size()), flags);
  }
  if (length == 0 || length >= final_path.size()) {
    return std::wstring();
  }
  final_path.resize(length);
  return final_path;
}

// What the file open at path reports about itself, for the rules of
// log/log_file_check.h.
OpenedLogFile Describe(HANDLE file, const char* path, bool created) {
  OpenedLogFile facts;
  facts.created = created;
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(file, &information) == 0) {
    return facts;
  }
  facts.described = true;
  facts.attributes = information.dwFileAttributes;
  facts.link_count = information.nNumberOfLinks;
  std::wstring name_asked_for = LastPartOf(Widened(path, CP_ACP));
  std::wstring final_name = LastPartOf(FinalPathOf(file));
  facts.final_name_matches =
      !name_asked_for.empty() &&
      CompareStringOrdinal(final_name.c_str(), -1, name_asked_for.c_str(), -1,
                           TRUE) == CSTR_EQUAL;
  return facts;
}

bool Truncate(HANDLE file) {
  LARGE_INTEGER start{};
  return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0 &&
         SetEndOfFile(file) != 0;
}

}  // namespace

// text in UTF-16, read in code_page; empty when it is not valid there.
std::wstring Widened(const char* text, UINT code_page) {
  int size = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text, -1,
                                 nullptr, 0);
  std::wstring wide(size > 0 ? size : 0, L'\0');
  if (size <= 0 || MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text,
                                       -1, wide.data(), size) != size) {
    return std::wstring();
  }
  wide.resize(size - 1);
  return wide;
}

void DeleteOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  static_cast<void>(SetFileInformationByHandle(
      file, FileDispositionInfo, &disposition, sizeof disposition));
}

HANDLE OpenAsLog(const char* path, DWORD access, DWORD share, bool create,
                 OpenedLogFile* facts) {
  bool created = false;
  HANDLE file =
      OpenOrCreateWithoutTruncating(path, access, share, create, &created);
  if (file == INVALID_HANDLE_VALUE) {
    return file;
  }
  *facts = Describe(file, path, created);
  const LogFileVerdict verdict = JudgeOpenedLogFile(*facts);
  if (verdict == LogFileVerdict::kUse) {
    return file;
  }
  if (verdict == LogFileVerdict::kRefuseAndDelete) {
    DeleteOnClose(file);
  }
  CloseHandle(file);
  SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}

bool WriteToConsoleWindow(std::FILE* stream, const std::string& text) {
  // A console answers GetConsoleMode; a file or a pipe does not. The C
  // runtime hands the stream's handle over as an integer.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  auto* handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) {
    return false;
  }
  if (text.empty()) {
    return true;
  }
  const std::wstring wide = Widened(text.c_str(), kShiftJisCodePage);
  if (wide.empty()) {
    return false;
  }
  // Whatever went to the stream before comes first.
  static_cast<void>(std::fflush(stream));
  DWORD written = 0;
  return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()),
                       &written, nullptr) != 0;
}

void UseUntranslatedBytes(std::FILE* stream) {
  _setmode(_fileno(stream), _O_BINARY);
}

// No sharing at all: the C runtime's own opening lets other processes in
// under some runtimes (msvcrt.dll under Wine among them).
std::FILE* OpenUnsharedForUpdate(const char* path) {
  OpenedLogFile facts;
  HANDLE file =
      OpenAsLog(path, GENERIC_READ | GENERIC_WRITE, 0, /*create=*/true, &facts);
  if (file == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  if (!Truncate(file)) {
    if (RefusalOf(facts) == LogFileVerdict::kRefuseAndDelete) {
      DeleteOnClose(file);
    }
    CloseHandle(file);
    return nullptr;
  }
  int descriptor =
      _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* stream = _fdopen(descriptor, "w+b");
  if (stream == nullptr) {
    _close(descriptor);
  }
  return stream;
}
