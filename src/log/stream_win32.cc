#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "log/text_output.h"

namespace {

// No sharing at all: the C runtime's own opening lets other processes in
// under some runtimes (msvcrt.dll under Wine among them). A reparse point at
// the file itself is opened as it is, not followed.
HANDLE OpenUnshared(const char* path, DWORD disposition) {
  return CreateFileA(
      path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Opens the file that is there, or creates it only where nothing is: a
// dangling link makes creation fail instead of creating the link's target.
HANDLE OpenOrCreateWithoutTruncating(const char* path) {
  HANDLE file = OpenUnshared(path, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
    file = OpenUnshared(path, CREATE_NEW);
  }
  return file;
}

bool EndsWithIgnoringCase(const char* text, const char* ending) {
  std::size_t text_length = std::strlen(text);
  std::size_t ending_length = std::strlen(ending);
  return text_length >= ending_length &&
         _stricmp(text + text_length - ending_length, ending) == 0;
}

// The path the handle really leads to, links followed, in final_path; the
// length written, or the size needed when final_path is too small.
DWORD FinalPathOf(HANDLE file, std::string* final_path) {
  return GetFinalPathNameByHandleA(file, final_path->data(),
                                   static_cast<DWORD>(final_path->size()),
                                   FILE_NAME_NORMALIZED);
}

// The log's folder is open to other users on many machines, so whatever
// they may have planted at its name is checked before a byte of it is
// touched: another name for some other file (a hard link), a link or
// junction, a folder, or a handle that ended up at a file of another name.
bool IsThePlainFileAskedFor(HANDLE file, const char* path) {
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(file, &information) == 0 ||
      information.nNumberOfLinks > 1 ||
      (information.dwFileAttributes &
       (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  // The folders on the way may be links (a c:\temp kept on another drive);
  // only the file's own name has to be the one asked for.
  const char* separator = std::strrchr(path, '\\');
  const char* name_asked_for = separator != nullptr ? separator : path;
  std::string final_path(MAX_PATH, '\0');
  DWORD length = FinalPathOf(file, &final_path);
  if (length >= final_path.size()) {
    // Too small: length is the size needed, terminator included.
    final_path.resize(length);
    length = FinalPathOf(file, &final_path);
  }
  return length > 0 && length < final_path.size() &&
         EndsWithIgnoringCase(final_path.c_str(), name_asked_for);
}

bool Truncate(HANDLE file) {
  LARGE_INTEGER start{};
  return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0 &&
         SetEndOfFile(file) != 0;
}

}  // namespace

void UseUntranslatedBytes(std::FILE* stream) {
  _setmode(_fileno(stream), _O_BINARY);
}

std::FILE* OpenUnsharedForUpdate(const char* path) {
  HANDLE file = OpenOrCreateWithoutTruncating(path);
  if (file == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  if (!IsThePlainFileAskedFor(file, path) || !Truncate(file)) {
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
