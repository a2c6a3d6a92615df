// The running user's own folder for the log's copies,
// %LOCALAPPDATA%\tesmarinds: it inherits the profile's permissions, so no
// other user of the PC can read what is in it or put anything there
// (task/platform.h).
#include <windows.h>

#include <string>
#include <vector>

#include "task/platform.h"
#include "win/opened_file_win32.h"
#include "win/task_places_win32.h"

namespace {

// Read as the runner reads every variable (task/platform.h).
std::wstring CopiesPath() {
  std::u16string local;
  if (!ReadEnvironment(u"LOCALAPPDATA", &local)) {
    return std::wstring();
  }
  return std::wstring(local.begin(), local.end()) + L"\\tesmarinds";
}

bool IsAscii(const wchar_t* name) {
  for (; *name != L'\0'; ++name) {
    if (*name > 0x7F) {
      return false;
    }
  }
  return true;
}

}  // namespace

const JudgedFolder* UserCopiesFolder(bool make, DWORD* error) {
  static JudgedFolder folder;
  static DWORD open_error = ERROR_PATH_NOT_FOUND;
  if (open_error != 0) {
    const std::wstring path = CopiesPath();
    if (path.empty()) {
      open_error = ERROR_ENVVAR_NOT_FOUND;
    } else if (make && CreateDirectoryW(path.c_str(), nullptr) == 0 &&
               GetLastError() != ERROR_ALREADY_EXISTS) {
      open_error = GetLastError();
    } else {
      open_error = OpenFolder(path, &folder) ? 0 : GetLastError();
    }
  }
  *error = open_error;
  return open_error == 0 ? &folder : nullptr;
}

std::u16string UserFolder() {
  const std::wstring path = CopiesPath();
  return path.empty() ? std::u16string()
                      : std::u16string(path.begin(), path.end()) + u"\\";
}

// Only names of ASCII: a copy's name is.
std::vector<std::string> ListUserFiles(const char* pattern) {
  std::vector<std::string> names;
  DWORD error = 0;
  const JudgedFolder* folder = UserCopiesFolder(/*make=*/false, &error);
  if (folder == nullptr) {
    return names;
  }
  const std::string wanted = pattern;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(
      (folder->path + L"\\" + std::wstring(wanted.begin(), wanted.end()))
          .c_str(),
      &found);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        IsAscii(found.cFileName)) {
      const std::wstring name = found.cFileName;
      names.emplace_back(name.begin(), name.end());
    }
  } while (FindNextFileW(search, &found) != 0);
  FindClose(search);
  return names;
}

bool RemoveUserFile(const std::string& name) {
  DWORD error = 0;
  const JudgedFolder* folder = UserCopiesFolder(/*make=*/false, &error);
  return folder != nullptr &&
         RemoveJudged(*folder, std::wstring(name.begin(), name.end()));
}
