#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "log/text_output.h"

void UseUntranslatedBytes(std::FILE* stream) {
  _setmode(_fileno(stream), _O_BINARY);
}

// The C runtime's own opening lets other processes in under some runtimes
// (msvcrt.dll under Wine among them), so the file is created here with no
// sharing at all and only then handed to stdio.
std::FILE* OpenUnsharedForUpdate(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
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
