// The task's runner's calls to the platform that belong to no one place
// (task/platform.h): the environment, the session, the user, the clock, and
// where the runner itself is.
#include <windows.h>

#include <string>

#include "task/platform.h"

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

// Asked of kernel32 alone: the runner links no user32. A session that
// cannot be told is taken for session 0, where no user's window is.
unsigned long SessionId() {
  DWORD session = 0;
  return ProcessIdToSessionId(GetCurrentProcessId(), &session) != 0 ? session
                                                                    : 0;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

std::u16string UserName() {
  // UNLEN, the longest user name, and its terminator.
  std::u16string name(257, u'\0');
  DWORD size = static_cast<DWORD>(name.size());
  if (GetUserNameW(reinterpret_cast<wchar_t*>(name.data()), &size) == 0 ||
      size == 0) {
    return std::u16string();
  }
  name.resize(size - 1);
  return name;
}

LocalTime Now() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth,  now.wDay,
                   now.wHour, now.wMinute, now.wSecond};
}

void PauseSeconds(unsigned seconds) { Sleep(seconds * 1000); }

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
