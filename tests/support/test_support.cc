#include "support/test_support.h"

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "app/command.h"
#include "close/request_close.h"
#include "log/activity_log.h"
#include "match/spared_windows.h"

std::string Sjis(const std::string& utf8) {
  std::string cp932;
  if (!ConvertToCp932(utf8, &cp932)) {
    ADD_FAILURE() << "iconv cannot convert " << utf8 << " to CP932";
  }
  return cp932;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
}

std::vector<std::string> EntriesOf(const std::string& directory) {
  std::vector<std::string> names;
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) {
    ADD_FAILURE() << "cannot list " << directory;
    return names;
  }
  for (const dirent* entry = readdir(listing); entry != nullptr;
       entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") {
      names.push_back(name);
    }
  }
  closedir(listing);
  return names;
}

void DesktopTest::SetUp() {
  desktop_.Reset();
  // Tests that visit windows directly must not inherit an earlier run's
  // console; the fresh desktop has none, and the reading is not a call of
  // the test's own.
  RememberSparedWindows();
  // Nor an earlier test's requests given up or still awaited.
  StartCloseRequests();
  desktop_.calls.clear();
  std::string pattern = testing::TempDir() + "tesmarinds-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern.data()));
  directory_ = pattern;
  log_path_ = directory_ + "/Tesmarind.txt";
}

void DesktopTest::TearDown() {
  CloseActivityLog();
  std::remove(log_path_.c_str());
  rmdir(directory_.c_str());
}

RunResult DesktopTest::Run(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv{"tesmarinds.exe"};
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  argv.push_back(nullptr);
  return RunCapturingConsole([&](std::FILE* console, const char* log_path) {
    return RunCommand(static_cast<int>(argv.size() - 1), argv.data(), console,
                      log_path);
  });
}

RunResult DesktopTest::RunWithWideArguments(
    const std::vector<std::string>& utf8_arguments) {
  std::vector<std::u16string> wide{u"tesmarinds.exe"};
  for (const std::string& argument : utf8_arguments) {
    wide.push_back(fake::Utf16(argument));
  }
  std::vector<const winsys::WCHAR*> argv;
  for (const std::u16string& argument : wide) {
    argv.push_back(argument.c_str());
  }
  argv.push_back(nullptr);
  return RunCapturingConsole([&](std::FILE* console, const char* log_path) {
    return RunCommandWithWideArguments(static_cast<int>(argv.size() - 1),
                                       argv.data(), console, log_path);
  });
}

RunResult DesktopTest::RunCapturingConsole(
    const std::function<int(std::FILE*, const char*)>& run) {
  std::FILE* console = std::tmpfile();
  const std::string& log_path =
      log_path_override_.empty() ? log_path_ : log_path_override_;
  int status = run(console, log_path.c_str());
  std::rewind(console);
  std::string printed;
  for (int byte = std::fgetc(console); byte != EOF;
       byte = std::fgetc(console)) {
    printed.push_back(static_cast<char>(byte));
  }
  std::fclose(console);
  return RunResult{status, printed};
}

RunResult DesktopTest::RunWithTerm(const std::string& term) {
  return Run({term});
}
