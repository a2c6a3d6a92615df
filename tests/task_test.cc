#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "log/activity_log.h"
#include "support/test_support.h"
#include "task/command_line.h"
#include "task/records.h"
#include "task/verdict.h"

namespace {

// Facts of a run that went well, up to the stage the case names.
TaskFacts GoodFacts() {
  TaskFacts facts;
  facts.term = {0, true, u"売上", ""};
  facts.turn = {true, false, 0, 3600};
  facts.tool.tried = true;
  facts.tool.started = true;
  facts.tool.log = LogState::kEnded;
  facts.copy = {true, true, "Tesmarind-20261209-180012.txt"};
  return facts;
}

struct VerdictCase {
  const char* name;
  std::function<void(TaskFacts*)> change;
  Next next;
  int status;
  std::string note;  // UTF-8 here, Shift_JIS in the history
};

const char kLogFailed[] = "c:\\tempへのログの書き込みに失敗しました";
const char kNoTermAnywhere[] =
    "閉じたいウィンドウのタイトルの一部が、タスクの引数にも、レジストリの "
    "HKLM\\SOFTWARE\\Policies\\tesmarinds と HKLM\\SOFTWARE\\tesmarinds の "
    "Term にもありません。";

TEST(TaskVerdict, FromTheFactsGathered) {
  const std::vector<VerdictCase> cases = {
      {"TwoArguments",
       [](TaskFacts* f) {
         f->term = {2, false, u"", ""};
       },
       Next::kFinish, 1,
       "タスクの引数には、タイトルの一部を 1 つだけ指定します。"
       "空白を含むときは、全体を \" で囲んでください。"},
      {"NoTermAnywhere",
       [](TaskFacts* f) {
         f->term = {0, false, u"", ""};
       },
       Next::kFinish, 2, kNoTermAnywhere},
      {"EmptyArgument",
       [](TaskFacts* f) {
         f->term = {1, true, u"", ""};
       },
       Next::kFinish, 2, kNoTermAnywhere},
      {"Blank", [](TaskFacts* f) { f->term.text = u"   "; }, Next::kFinish, 2,
       "タイトルの一部に、空白だけを指定しないでください。"},
      {"FullWidthSpace", [](TaskFacts* f) { f->term.text = u"売上　集計"; },
       Next::kFinish, 2,
       "タイトルの一部に、全角の空白「　」があります。半角の空白にしてください"
       "。"},
      {"TermTooLongForACommandLine",
       [](TaskFacts* f) { f->term.text = std::u16string(257, u'a'); },
       Next::kFinish, 1,
       "タイトルの一部が長すぎます（Shift_JIS で 32 バイトまで）。"},
      {"TermFound", [](TaskFacts* f) { f->turn.tried = false; },
       Next::kTakeTurn, 0, ""},
      {"NotInAUsersSession", [](TaskFacts* f) { f->in_user_session = false; },
       Next::kFinish, 7,
       "ユーザーがサインインしているセッションではないため、ウィンドウを閉じ"
       "られません（SYSTEM や「ユーザーがログオンしているかどうかにかかわらず"
       "実行する」のタスク）。"},
      {"TurnFileUnusable", [](TaskFacts* f) { f->turn.unusable_error = 5; },
       Next::kFinish, 3,
       "順番のファイル c:\\temp\\Tesmarind-turn.txt を使えません（エラー "
       "5）。"},
      {"WaitedPastTheBound",
       [](TaskFacts* f) {
         f->turn = {true, true, 3600, 3600};
       },
       Next::kFinish, 5,
       "ほかの実行かプロセスが、3600 秒待っても終わりませんでした。"},
      {"InTurn", [](TaskFacts* f) { f->tool.tried = false; }, Next::kRunTool, 0,
       ""},
      {"ToolNotStarted",
       [](TaskFacts* f) {
         f->tool.started = false;
         f->tool.start_error = 2;
       },
       Next::kFinish, 3, "tesmarinds を起動できませんでした（エラー 2）。"},
      {"TermRejected",
       [](TaskFacts* f) {
         f->tool.status = 1;
         f->tool.said =
             Sjis("【ERROR:0X0002】引数が長すぎます。32文字を超えています。");
       },
       Next::kFinish, 1,
       "tesmarinds がタイトルの一部を受け付けませんでした。 "
       "【ERROR:0X0002】引数が長すぎます。32文字を超えています。"},
      {"MessageLinesOnOneLine",
       [](TaskFacts* f) {
         f->tool.status = 1;
         f->tool.said = Sjis("一行目\r\n二行目\r\n");
       },
       Next::kFinish, 1,
       "tesmarinds がタイトルの一部を受け付けませんでした。 一行目  二行目"},
      {"EndedOneSilently", [](TaskFacts* f) { f->tool.status = 1; },
       Next::kFinish, 4, "tesmarinds が途中で止められました。"},
      {"KilledOrCrashed", [](TaskFacts* f) { f->tool.status = 0xC000013A; },
       Next::kFinish, 4, "tesmarinds が途中で止められました。"},
      {"LogNotOpened",
       [](TaskFacts* f) {
         f->tool.said = Sjis(kLogFailed);
         f->tool.log = LogState::kMissing;
       },
       Next::kFinish, 3, std::string("ログを書けませんでした。 ") + kLogFailed},
      {"NoLogAfterTheRun",
       [](TaskFacts* f) { f->tool.log = LogState::kMissing; }, Next::kFinish, 3,
       "ログを書けませんでした。"},
      {"LogHeldAfterTheRun",
       [](TaskFacts* f) { f->tool.log = LogState::kHeld; }, Next::kFinish, 3,
       "ログを書けませんでした。"},
      {"LogWithoutItsEndLine",
       [](TaskFacts* f) { f->tool.log = LogState::kUnended; }, Next::kFinish, 4,
       "ログの最後が「終了します」ではありません。"},
      {"RunDone", [](TaskFacts* f) { f->copy.tried = false; }, Next::kCopyLog,
       0, ""},
      {"CopyFailed", [](TaskFacts* f) { f->copy.copied = false; },
       Next::kFinish, 6, "ログをコピーできませんでした。"},
      {"Done", [](TaskFacts*) {}, Next::kFinish, 0,
       "最後まで実行しました。コピー: Tesmarind-20261209-180012.txt"},
      {"DoneAfterWaiting", [](TaskFacts* f) { f->turn.waited_s = 10; },
       Next::kFinish, 0,
       "最後まで実行しました。コピー: Tesmarind-20261209-180012.txt"
       "（ほかの実行が終わるまで 10 秒待ちました）"},
  };
  for (const VerdictCase& c : cases) {
    TaskFacts facts = GoodFacts();
    c.change(&facts);

    const Verdict verdict = JudgeTask(facts);

    EXPECT_EQ(c.next, verdict.next) << c.name;
    if (c.next == Next::kFinish) {
      EXPECT_EQ(c.status, verdict.status) << c.name;
      EXPECT_EQ(Sjis(c.note), verdict.note) << c.name;
    }
  }
  EXPECT_EQ(Sjis("前の実行のログが「終了します」で終わっていません"
                 "（前に実行したユーザー: suzuki）。"),
            StoppedRunNote("suzuki"));
}

// The C runtime's split of a command line, written out from its documented
// rules apart from the code under test: the program name up to its closing
// quotation mark; then arguments between spaces or tabs, where 2n
// backslashes before a mark give n and the mark opens or closes a quoted
// part, 2n + 1 give n and a literal mark, and other backslashes are
// literal.
std::vector<std::u16string> SplitAsTheRuntimeDoes(const std::u16string& line) {
  std::vector<std::u16string> arguments;
  std::u16string::size_type at = 1;
  const std::u16string::size_type close = line.find(u'"', at);
  arguments.push_back(line.substr(at, close - at));
  at = close + 1;
  while (true) {
    while (at < line.size() && (line[at] == u' ' || line[at] == u'\t')) {
      ++at;
    }
    if (at >= line.size()) {
      return arguments;
    }
    std::u16string argument;
    bool quoted = false;
    while (at < line.size() &&
           (quoted || (line[at] != u' ' && line[at] != u'\t'))) {
      std::u16string::size_type backslashes = 0;
      while (at < line.size() && line[at] == u'\\') {
        ++backslashes;
        ++at;
      }
      if (at < line.size() && line[at] == u'"') {
        argument.append(backslashes / 2, u'\\');
        if (backslashes % 2 == 1) {
          argument += u'"';
        } else {
          quoted = !quoted;
        }
        ++at;
      } else {
        argument.append(backslashes, u'\\');
        if (at < line.size() &&
            (quoted || (line[at] != u' ' && line[at] != u'\t'))) {
          argument += line[at++];
        }
      }
    }
    arguments.push_back(argument);
  }
}

TEST(ToolCommandLine, GivesTheTermBackThroughTheRuntimesSplit) {
  const std::u16string program =
      u"C:\\Program Files (x86)\\tesmarinds\\tesmarinds.exe";
  const std::u16string terms[] = {
      u"notepad",      u"売上 集計",  u"R&D",         u"a^b",
      u"Hello!",       u"say \"hi\"", u"\"",          u"a\\b",
      u"ends with \\", u"\\\"",       u"two  spaces", u"tab\there",
      u"100%",         u"",           u"　",          u"(x86) | <y>",
  };
  for (std::size_t i = 0; i < std::size(terms); ++i) {
    EXPECT_EQ((std::vector<std::u16string>{program, terms[i]}),
              SplitAsTheRuntimeDoes(ToolCommandLine(program, terms[i])))
        << "term " << i;
  }
}

TEST(TaskRecords, ReadTheSameOnEveryPc) {
  const LocalTime evening{2026, 1, 9, 8, 5, 3};
  EXPECT_EQ(Sjis("2026/01/09 08:05:03 tanaka 0 最後まで\r\n"),
            HistoryLine(evening, "tanaka", "0", Sjis("最後まで")));
  // Windows user names hold no quotation mark, so every one reads back.
  EXPECT_EQ("2026/01/09 08:05:03 \"Room 2 PC\" 0 x\r\n",
            HistoryLine(evening, "Room 2 PC", "0", "x"));
  EXPECT_EQ("2026/01/09 08:05:03 \"\" 0 x\r\n",
            HistoryLine(evening, "", "0", "x"));
  EXPECT_EQ("Tesmarind-20260109-080503.txt", CopyName(evening));
  EXPECT_EQ("Tesmarind-20260109-080503-2.txt", CopyName(evening, 2));
  EXPECT_EQ("suzuki", StarterFromFile(StarterFileText("suzuki")));
  EXPECT_EQ("?", StarterFromFile(StarterFileText("")));
  EXPECT_EQ("", StarterFromFile(""));

  const LocalTime today{2026, 3, 1, 18, 0, 0};
  const std::pair<const char*, bool> copies[] = {
      {"Tesmarind-20260129-235959.txt", false},  // 31 days
      {"Tesmarind-20260128-000000.txt", true},   // 32 days
      {"Tesmarind-20260128-000000-9.txt", true},
      {"Tesmarind-20260128-000000-1.txt", false},
      {"Tesmarind-20260128-000000-10.txt", false},
      {"Tesmarind-20260128-0000.txt", false},
      {"Tesmarind-20260128-000000.txt.lnk", false},
      {"Tesmarind-2026012-1000000.txt", false},
      {"Tesmarind-history.txt", false},
      {"tesmarind-20200128-000000.txt", false},
      {"Tesmarind-20201328-000000.txt", false},
  };
  for (const auto& [name, expired] : copies) {
    EXPECT_EQ(expired, IsExpiredCopy(name, today, 31)) << name;
  }
  EXPECT_FALSE(IsExpiredCopy("Tesmarind-20000101-000000.txt", today, 0));

  const std::u16string settings[] = {u"5",  u"0",  u"3600", u"9999",
                                     u"-5", u"5s", u""};
  const unsigned bounds[] = {5, 0, 3600, 3600, 3600, 3600, 3600};
  for (std::size_t i = 0; i < std::size(settings); ++i) {
    EXPECT_EQ(bounds[i], WaitBoundSeconds(&settings[i])) << i;
  }
  EXPECT_EQ(3600u, WaitBoundSeconds(nullptr));

  const std::string end = Sjis("終了します\r\n");
  EXPECT_TRUE(EndsWithEndLine(end));
  EXPECT_TRUE(EndsWithEndLine(Sjis("開始しました\r\n") + end));
  EXPECT_FALSE(EndsWithEndLine(Sjis("開始しました\r\n")));
  EXPECT_FALSE(EndsWithEndLine(Sjis("x 終了します\r\n")));
  EXPECT_FALSE(EndsWithEndLine(end + "\r\n"));
  EXPECT_FALSE(EndsWithEndLine(""));
}

}  // namespace
