// Fuzzes the command line: any argument bytes, any number of arguments, a log
// that can or cannot be created. The exit status, the console bytes, the log
// and the desktop's record must be exactly what the argument rules give.
//
// Input: byte 0 holds flags, the rest holds the arguments, split at NUL
// bytes (no NUL: one argument; an empty rest: one empty argument).
//   flag 0x01: the log's directory is missing, so the log cannot be created
//   flag 0x02: no argument at all; the rest is ignored
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/command.h"
#include "app/search_term.h"
#include "fake/fake_desktop.h"
#include "log/activity_log.h"
#include "reference.h"
#include "support/bytes.h"

namespace {

using reference::ExpectEqual;
using reference::Sjis;

constexpr std::uint8_t kLogMissingFlag = 0x01;
constexpr std::uint8_t kNoArgumentFlag = 0x02;

// What a rejected run must leave in the log: the earlier run's bytes.
const char kEarlierLog[] = "an earlier run\r\n";

struct Paths {
  std::string directory;
  std::string log;          // in a directory that exists
  std::string missing_log;  // in a directory that does not
};

const Paths& TheirPaths() {
  static const Paths paths = [] {
    char pattern[] = "/tmp/tesmarinds-arguments-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
      std::abort();
    }
    Paths made{pattern, std::string(pattern) + "/Tesmarind.txt",
               std::string(pattern) + "/missing/Tesmarind.txt"};
    return made;
  }();
  return paths;
}

// Best effort: a leftover temporary directory harms nothing.
void RemoveTheirFiles() {
  static_cast<void>(std::remove(TheirPaths().log.c_str()));
  static_cast<void>(rmdir(TheirPaths().directory.c_str()));
}

// Two windows on the desktop: one a term may select, one hidden. The
// reference needs to know only their titles, class names (in code page
// 932, as the tool logs them) and states.
struct Window {
  std::string title;
  std::string class_name;
  bool visible;
};

const std::vector<Window>& Windows() {
  static const std::vector<Window> windows = {
      // Every letter in both cases, and double-byte characters whose second
      // bytes are A, C, E and a backslash.
      {Sjis(
           "The Quick Brown Fox Jumps Over the Lazy Dog - Notepad アイウ 表示"),
       "Notepad", true},
      {"Hidden %s Tool", Sjis("ツール"), false},
  };
  return windows;
}

struct Outcome {
  int status = 0;
  std::string console;
  std::string log;  // the bytes of the log file after the run
  long long close_requests = 0;
  long long pause_ms = 0;
};

// The rules, restated: count, then length in bytes, then the two forbidden
// bytes anywhere; an accepted run logs every window it sees and closes the
// visible ones whose folded title holds the folded term.
Outcome Expected(const std::vector<std::string>& arguments, bool log_missing) {
  Outcome outcome;
  if (arguments.size() != 1) {
    outcome.status = 1;
    outcome.console = Sjis(
        "【ERROR:0X0001】引数の数が間違っています。\r\n"
        "usage:Tesmarinds <タイトルの一部の文字列>\r\n"
        "大文字小文字の区別はしません\r\n");
    outcome.log = kEarlierLog;
    return outcome;
  }
  const std::string& argument = arguments[0];
  if (argument.size() > 32) {
    outcome.status = 1;
    outcome.console =
        Sjis("【ERROR:0X0002】引数が長すぎます。32文字を超えています。");
    outcome.log = kEarlierLog;
    return outcome;
  }
  if (argument.find('\\') != std::string::npos ||
      argument.find('%') != std::string::npos) {
    outcome.status = 1;
    outcome.console =
        Sjis("【ERROR:0X0003】引数に % あるいは \\ が含まれます。");
    outcome.log = kEarlierLog;
    return outcome;
  }

  outcome.status = 0;
  if (log_missing) {
    outcome.console = Sjis("c:\\tempへのログの書き込みに失敗しました");
  }
  std::string log = Sjis("開始しました\r\n");
  std::vector<bool> closed(Windows().size(), false);
  for (int sweep = 0; sweep < 3; ++sweep) {
    for (std::size_t i = 0; i < Windows().size(); ++i) {
      const Window& window = Windows()[i];
      if (closed[i]) {
        continue;
      }
      log += reference::TextMode(window.title) +
             Sjis(" が見つかりました。クラス名：") +
             reference::TextMode(window.class_name) + "\r\n";
      if (window.visible &&
          reference::Contains(reference::FoldLetters(window.title),
                              reference::FoldLetters(argument))) {
        log += Sjis("指定したタイトルである ") +
               reference::TextMode(window.title) +
               Sjis(" が見つかりました\r\n");
        // The fake desktop's windows accept at once and are gone.
        closed[i] = true;
        ++outcome.close_requests;
        outcome.pause_ms += 5000;
      }
    }
    outcome.pause_ms += 2000;
  }
  log += Sjis("終了します\r\n");
  // Without its directory the tool writes no file at all, so the earlier
  // log, which lives elsewhere, is left alone.
  outcome.log = log_missing ? kEarlierLog : log;
  return outcome;
}

std::vector<std::string> SplitArguments(const std::uint8_t* data,
                                        std::size_t size) {
  std::vector<std::string> arguments;
  if (size == 0 || (data[0] & kNoArgumentFlag) != 0) {
    return arguments;
  }
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::size_t start = 0;
  for (;;) {
    std::size_t nul = rest.find('\0', start);
    if (nul == std::string::npos) {
      arguments.push_back(rest.substr(start));
      return arguments;
    }
    arguments.push_back(rest.substr(start, nul - start));
    start = nul + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  TheirPaths();
  if (std::atexit(RemoveTheirFiles) != 0) {
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const bool log_missing = size > 0 && (data[0] & kLogMissingFlag) != 0;
  const std::vector<std::string> arguments = SplitArguments(data, size);
  const std::string& log_path =
      log_missing ? TheirPaths().missing_log : TheirPaths().log;

  fake::FakeDesktop& desktop = fake::Desktop();
  desktop.Reset();
  for (const Window& window : Windows()) {
    // The windows hold their texts in UTF-16, as the platform does.
    winsys::HWND handle = desktop.AddWindow(Cp932ToUtf16(window.title),
                                            Cp932ToUtf16(window.class_name));
    if (!window.visible) {
      desktop.Hide(handle);
    }
  }
  {
    std::ofstream earlier(TheirPaths().log, std::ios::binary | std::ios::trunc);
    earlier << kEarlierLog;
  }

  std::vector<const char*> argv{"tesmarinds.exe"};
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  argv.push_back(nullptr);
  char* console_bytes = nullptr;
  std::size_t console_size = 0;
  FILE* console = open_memstream(&console_bytes, &console_size);
  if (console == nullptr) {
    std::abort();
  }
  const int status = RunCommand(static_cast<int>(argv.size() - 1), argv.data(),
                                console, log_path.c_str());
  if (std::fclose(console) != 0) {
    std::abort();
  }
  const std::string printed(console_bytes, console_size);
  std::free(console_bytes);

  const Outcome expected = Expected(arguments, log_missing);
  ExpectEqual("exit status", expected.status, status);
  ExpectEqual("console bytes", expected.console, printed);
  ExpectEqual("log left open", 0, IsActivityLogOpen() ? 1 : 0);
  ExpectEqual("missing log directory created", 0,
              reference::FileExists(TheirPaths().missing_log) ? 1 : 0);
  if (expected.status != 0) {
    ExpectEqual("log bytes after a rejection", expected.log,
                ReadFileBytes(TheirPaths().log));
    ExpectEqual("desktop calls after a rejection", 0,
                static_cast<long long>(desktop.calls.size()));
    return 0;
  }
  ExpectEqual("search term", arguments[0], SearchTerm());
  ExpectEqual("log bytes", expected.log, ReadFileBytes(TheirPaths().log));
  ExpectEqual("sweeps", 3, desktop.sweeps);
  ExpectEqual("close requests", expected.close_requests,
              static_cast<long long>(
                  desktop.Trace({fake::Call::kSendMessageCallbackA}).size()));
  ExpectEqual("time paused", expected.pause_ms, desktop.now_ms);
  return 0;
}
