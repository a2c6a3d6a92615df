#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

struct ArgumentCase {
  const char* name;
  std::vector<std::string> arguments;  // UTF-8, given to the tool as CP932
  const char* console;                 // UTF-8, expected as CP932
  int status;
};

const char kUsage[] =
    "【ERROR:0X0001】引数の数が間違っています。\r\n"
    "usage:Tesmarinds <タイトルの一部の文字列>\r\n"
    "大文字小文字の区別はしません\r\n";
const char kTooLong[] =
    "【ERROR:0X0002】引数が長すぎます。32文字を超えています。";
// The stored text holds %%; the console shows one percent sign.
const char kForbidden[] = "【ERROR:0X0003】引数に % あるいは \\ が含まれます。";

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) {
    text += piece;
  }
  return text;
}

const ArgumentCase kCases[] = {
    {"NoArgument", {}, kUsage, 1},
    {"TwoArguments", {"a", "b"}, kUsage, 1},
    {"ThreeArguments", {"a", "b", "c"}, kUsage, 1},
    {"ThirtyThreeBytes", {Repeat("a", 33)}, kTooLong, 1},
    // 34 bytes, although the message speaks of 32 characters.
    {"SeventeenDoubleByteCharacters", {Repeat("あ", 17)}, kTooLong, 1},
    // Length is tested before the forbidden bytes.
    {"FortyBytesHoldingPercent", {Repeat("a", 39) + "%"}, kTooLong, 1},
    {"FortyBytesHoldingBackslash", {"\\" + Repeat("a", 39)}, kTooLong, 1},
    // Short enough, so the forbidden byte is what is reported.
    {"ThirtyTwoBytesHoldingPercent", {Repeat("a", 31) + "%"}, kForbidden, 1},
    {"ThirtyTwoBytesEndingInSo", {Repeat("a", 30) + "ソ"}, kForbidden, 1},
    {"Backslash", {"a\\b"}, kForbidden, 1},
    {"Percent", {"100%"}, kForbidden, 1},
    {"PercentS", {"%s"}, kForbidden, 1},
    // Each ends in the byte 0x5C in Shift_JIS.
    {"KatakanaSo", {"ソフト"}, kForbidden, 1},
    {"KanjiHyou", {"表"}, kForbidden, 1},
    {"KanjiNou", {"能力"}, kForbidden, 1},
    {"ThirtyTwoBytes", {Repeat("a", 32)}, "", 0},
    {"SixteenDoubleByteCharacters", {Repeat("あ", 16)}, "", 0},
    {"Empty", {""}, "", 0},
    {"Wildcards", {"*?"}, "", 0},
};

void PrintTo(const ArgumentCase& c, std::ostream* out) { *out << c.name; }

class ArgumentTest : public DesktopTest,
                     public testing::WithParamInterface<ArgumentCase> {
 protected:
  void ExpectTheOutcome(const ArgumentCase& test_case,
                        const std::string& earlier_log,
                        const RunResult& result);
};

// The checks hold for the argument's code page 932 bytes, given as such or,
// as the platform gives it, in UTF-16 and converted first.
TEST_P(ArgumentTest, PrintsTheMessageAndExitStatus) {
  const ArgumentCase& test_case = GetParam();
  const std::string earlier_log = "an earlier run\r\n";
  for (bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "given in UTF-16" : "given in code page 932");
    desktop_.Reset();
    WriteFileBytes(log_path_, earlier_log);
    std::vector<std::string> arguments;
    for (const std::string& argument : test_case.arguments) {
      arguments.push_back(Sjis(argument));
    }

    RunResult result =
        wide ? RunWithWideArguments(test_case.arguments) : Run(arguments);

    ExpectTheOutcome(test_case, earlier_log, result);
  }
}

void ArgumentTest::ExpectTheOutcome(const ArgumentCase& test_case,
                                    const std::string& earlier_log,
                                    const RunResult& result) {
  EXPECT_EQ(Sjis(test_case.console), result.console);
  EXPECT_EQ(test_case.status, result.status);
  if (test_case.status == 1) {
    // A rejected argument touches neither the log nor the desktop; only
    // the conversion of an argument given in UTF-16 was asked of the
    // platform.
    EXPECT_EQ(earlier_log, LogBytes());
    for (const fake::SeamCall& call : desktop_.calls) {
      EXPECT_EQ(fake::Call::kWideCharToMultiByte, call.call);
    }
  } else {
    EXPECT_EQ(Sjis("開始しました\r\n終了します\r\n"), LogBytes());
    EXPECT_EQ(3, desktop_.sweeps);
  }
}

INSTANTIATE_TEST_SUITE_P(Arguments, ArgumentTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ArgumentCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
