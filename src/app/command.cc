#include "app/command.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/search_term.h"
#include "close/request_close.h"
#include "log/activity_log.h"
#include "log/text_output.h"
#include "match/spared_windows.h"
#include "match/visit_window.h"
#include "winsys/shift_jis.h"

namespace {

// Console messages, in Shift_JIS; each is printed as a format with no
// arguments, so %% shows as one percent sign.
// 【ERROR:0X0001】引数の数が間違っています。 (wrong number of arguments)
constexpr char kWrongCountMessage[] =
    "\x81\x79"
    "ERROR:0X0001\x81\x7a\x88\xf8\x90\x94\x82\xcc\x90\x94\x82\xaa"
    "\x8a\xd4\x88\xe1\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42\n";
// usage:Tesmarinds <タイトルの一部の文字列> (a part of a window title)
constexpr char kUsageMessage[] =
    "usage:Tesmarinds <\x83\x5e\x83\x43\x83\x67\x83\x8b\x82\xcc\x88\xea\x95\x94"
    "\x82\xcc\x95\xb6\x8e\x9a\x97\xf1>\n";
// 大文字小文字の区別はしません (upper and lower case are not distinguished)
constexpr char kCaseMessage[] =
    "\x91\xe5\x95\xb6\x8e\x9a\x8f\xac\x95\xb6\x8e\x9a\x82\xcc\x8b\xe6\x95\xca"
    "\x82\xcd\x82\xb5\x82\xdc\x82\xb9\x82\xf1\n";
// 【ERROR:0X0002】引数が長すぎます。32文字を超えています。 (too long)
constexpr char kTooLongMessage[] =
    "\x81\x79"
    "ERROR:0X0002\x81\x7a\x88\xf8\x90\x94\x82\xaa\x92\xb7\x82\xb7"
    "\x82\xac\x82\xdc\x82\xb7\x81\x42"
    "32\x95\xb6\x8e\x9a\x82\xf0\x92\xb4\x82"
    "\xa6\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42";
// 【ERROR:0X0003】引数に %% あるいは \ が含まれます。 (contains % or \)
constexpr char kForbiddenByteMessage[] =
    "\x81\x79"
    "ERROR:0X0003\x81\x7a\x88\xf8\x90\x94\x82\xc9 %% \x82\xa0\x82"
    "\xe9\x82\xa2\x82\xcd \\ \x82\xaa\x8a\xdc\x82\xdc\x82\xea\x82\xdc\x82\xb7"
    "\x81\x42";
// c:\tempへのログの書き込みに失敗しました (writing the log to c:\temp failed)
constexpr char kLogFailedMessage[] =
    "c:\\temp\x82\xd6\x82\xcc\x83\x8d\x83\x4f\x82\xcc\x8f\x91\x82\xab\x8d\x9e"
    "\x82\xdd\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd";

constexpr int kSweepCount = 3;
constexpr winsys::DWORD kPauseAfterSweepMs = 2000;

// Both bytes are searched for anywhere, with no regard to double-byte
// characters: ソ, 表 and 能 end in a backslash byte in Shift_JIS.
bool HasForbiddenByte(const char* argument) {
  return std::strchr(argument, '\\') != nullptr ||
         std::strchr(argument, '%') != nullptr;
}

}  // namespace

int RunCommand(int argc, const char* const argv[], std::FILE* console,
               const char* log_path) {
  if (argc != 2) {
    WriteConsoleMessage(console, kWrongCountMessage);
    WriteConsoleMessage(console, kUsageMessage);
    WriteConsoleMessage(console, kCaseMessage);
    return 1;
  }
  const char* argument = argv[1];
  // The length is tested first: an over-long argument is too long whatever
  // it holds.
  if (std::strlen(argument) > kLongestSearchTerm) {
    WriteConsoleMessage(console, kTooLongMessage);
    return 1;
  }
  StoreSearchTerm(argument);
  if (HasForbiddenByte(argument)) {
    WriteConsoleMessage(console, kForbiddenByteMessage);
    return 1;
  }

  if (OpenActivityLog(log_path)) {
    WriteStartLine();
  } else {
    WriteConsoleMessage(console, kLogFailedMessage);
  }
  RememberSparedWindows();
  StartCloseRequests();
  RunSweeps(VisitWindow);
  WriteEndLine();
  CloseActivityLog();
  return 0;
}

int RunCommandWithWideArguments(int argc, const winsys::WCHAR* const argv[],
                                std::FILE* console, const char* log_path) {
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc));
  for (int at = 0; at < argc; ++at) {
    arguments.push_back(InShiftJis(argv[at]));
  }
  std::vector<const char*> narrow(arguments.size() + 1, nullptr);
  std::transform(arguments.begin(), arguments.end(), narrow.begin(),
                 [](const std::string& argument) { return argument.c_str(); });
  return RunCommand(argc, narrow.data(), console, log_path);
}

void RunSweeps(winsys::WNDENUMPROC visitor) {
  for (int sweep = 0; sweep < kSweepCount; ++sweep) {
    winsys::EnumChildWindows(nullptr, visitor, 0);
    winsys::Sleep(kPauseAfterSweepMs);
  }
}
