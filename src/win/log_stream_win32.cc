#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "log/text_output.h"
#include "tempdir/temp_files.h"
#include "win/opened_file_win32.h"
#include "winsys/window_system.h"

namespace {

using winsys::kShiftJisCodePage;

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
  const std::wstring wide_path = Widened(path, CP_ACP);
  const std::wstring::size_type separator = wide_path.rfind(L'\\');
  JudgedFolder folder;
  if (separator == std::wstring::npos ||
      !OpenFolder(wide_path.substr(0, separator), &folder)) {
    return nullptr;
  }
  OpenedFileFacts facts;
  HANDLE file = OpenJudged(folder, wide_path.substr(separator + 1),
                           GENERIC_READ | GENERIC_WRITE, 0, /*create=*/true,
                           &facts);
  CloseFolder(&folder);
  if (file == INVALID_HANDLE_VALUE) {
    return nullptr;
  }
  if (!Truncate(file)) {
    if (RefusalOf(facts) == FileVerdict::kRefuseAndDelete) {
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
