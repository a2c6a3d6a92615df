// Helpers shared by the unit tests: expected bytes made from UTF-8 with
// iconv, files, and a fixture that runs the tool on a fresh fake desktop.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fake/fake_desktop.h"
#include "support/bytes.h"

// The Shift_JIS (code page 932) bytes of utf8, converted by iconv.
std::string Sjis(const std::string& utf8);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The names in directory, "." and ".." left out, in no particular order.
std::vector<std::string> EntriesOf(const std::string& directory);

struct RunResult {
  int status;
  std::string console;
};

// Each test gets a fresh desktop and its own directory holding the log.
class DesktopTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the tool with these arguments after the program name.
  RunResult Run(const std::vector<std::string>& arguments);
  // Runs the tool with these arguments, written in UTF-8 here, given to it
  // in UTF-16 as the platform gives them.
  RunResult RunWithWideArguments(
      const std::vector<std::string>& utf8_arguments);
  // Runs the tool with the single argument term.
  RunResult RunWithTerm(const std::string& term);
  std::string LogBytes() const { return ReadFileBytes(log_path_); }
  // Runs run with a console file and the log path; what it printed.
  RunResult RunCapturingConsole(
      const std::function<int(std::FILE*, const char*)>& run);

  fake::FakeDesktop& desktop_ = fake::Desktop();
  std::string directory_;
  std::string log_path_;
  std::string log_path_override_;
};
