// A crowded desktop for timing sweeps under Wine: creates the windows of
// bench/desktop_titles.cc (the same titles, classes and states as the native
// benchmarks), signals that they exist, and keeps them until told to stop.
//
//   many_windows COUNT READY_FILE STOP_FILE
//
// READY_FILE is created once every window exists; the program ends when
// STOP_FILE appears, or after an hour in any case so that nothing lingers.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "../desktop_titles.h"

namespace {

constexpr DWORD kPollMs = 200;
constexpr DWORD kLongestLifeMs = 60 * 60 * 1000;

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                 LPARAM lparam) {
  // A sweep only reads; a stray close request must not shrink the desktop.
  if (message == WM_CLOSE) {
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

bool RegisterClassOnce(const std::string& name, std::set<std::string>* done) {
  if (done->count(name) != 0) {
    return true;
  }
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = name.c_str();
  if (RegisterClassA(&window_class) == 0) {
    return false;
  }
  done->insert(name);
  return true;
}

bool FileExists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: many_windows COUNT READY_FILE STOP_FILE\n");
    return 2;
  }
  long count = std::strtol(argv[1], nullptr, 10);
  const char* ready_file = argv[2];
  const char* stop_file = argv[3];

  std::set<std::string> registered;
  for (long index = 0; index < count; ++index) {
    bench::DesktopWindow made =
        bench::MakeDesktopWindow(static_cast<std::size_t>(index));
    if (!RegisterClassOnce(made.class_name, &registered)) {
      std::fprintf(stderr, "many_windows: cannot register %s\n",
                   made.class_name.c_str());
      return 1;
    }
    // Small and spread out, so a screenshot of the desktop shows windows.
    int x = static_cast<int>(index % 40) * 25;
    int y = static_cast<int>(index / 40 % 30) * 25;
    HWND window = CreateWindowExA(
        0, made.class_name.c_str(), made.title.c_str(), WS_OVERLAPPEDWINDOW,
        x, y, 160, 60, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
      std::fprintf(stderr, "many_windows: window %ld not created (%lu)\n",
                   index, GetLastError());
      return 1;
    }
    if (!made.enabled) {
      EnableWindow(window, FALSE);
    }
    if (made.visible) {
      ShowWindow(window, SW_SHOWNOACTIVATE);
    }
  }

  HANDLE ready = CreateFileA(ready_file, GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "many_windows: cannot create %s\n", ready_file);
    return 1;
  }
  CloseHandle(ready);

  DWORD started = GetTickCount();
  while (!FileExists(stop_file) && GetTickCount() - started < kLongestLifeMs) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  return 0;
}
