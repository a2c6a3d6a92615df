#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fake/fake_task_platform.h"
#include "log/activity_log.h"
#include "messages.h"
#include "support/test_support.h"
#include "task/command_line.h"
#include "task/copies.h"
#include "task/verdict.h"

namespace {

// Facts of a run that went well, up to the stage the case names.
TaskFacts GoodFacts() {
  TaskFacts facts;
  facts.term = {0, TermSource::kPackage, u"売上", ""};
  facts.turn.tried = true;
  facts.turn.bound_s = 3600;
  facts.tool.tried = true;
  facts.tool.started = true;
  facts.tool.log = LogState::kEnded;
  facts.copy = {true, true, u"C:\\u\\", "Tesmarind-20261209-180012.txt",
                u"C:\\u\\Tesmarind-20261209-180012.txt"};
  return facts;
}

struct VerdictCase {
  const char* name;
  std::function<void(TaskFacts*)> change;
  Next next;
  int status;
  Note note;
};

const std::u16string kCopyMade = u"C:\\u\\Tesmarind-20261209-180012.txt";

TEST(TaskVerdict, FromTheFactsGathered) {
  const NotePiece copied{kNoteCopy, {kCopyMade}};
  const std::vector<VerdictCase> cases = {
      {"TwoArguments",
       [](TaskFacts* f) {
         f->term = {2, TermSource::kNone, u"", ""};
       },
       Next::kFinish, 1, {{kNoteTooManyArguments, {}}}},
      {"NoTermAnywhere",
       [](TaskFacts* f) {
         f->term = {0, TermSource::kNone, u"", ""};
       },
       Next::kFinish, 2, {{kNoteNoTerm, {}}}},
      {"EmptyTermInThePackage", [](TaskFacts* f) { f->term.text = u""; },
       Next::kFinish, 2, {{kNoteNoTerm, {}}}},
      {"Blank", [](TaskFacts* f) { f->term.text = u"   "; }, Next::kFinish, 2,
       {{kNoteBlankTerm, {}}}},
      {"FullWidthSpace", [](TaskFacts* f) { f->term.text = u"売上　集計"; },
       Next::kFinish, 2, {{kNoteFullWidthSpace, {}}}},
      {"TermTooLongForACommandLine",
       [](TaskFacts* f) { f->term.text = std::u16string(257, u'a'); },
       Next::kFinish, 1, {{kNoteTermTooLong, {}}}},
      {"TermFound", [](TaskFacts* f) { f->turn.tried = false; },
       Next::kTakeTurn, 0, {}},
      {"NotInAUsersSession", [](TaskFacts* f) { f->in_user_session = false; },
       Next::kFinish, 7, {{kNoteNoUserSession, {}}}},
      // Whatever the error, even none the platform could name.
      {"TurnFileUnusable", [](TaskFacts* f) { f->turn.unusable = true; },
       Next::kFinish, 3, {{kNoteTurnUnusable, {u"0"}}}},
      {"WaitedPastTheBound",
       [](TaskFacts* f) {
         f->turn.timed_out = true;
         f->turn.waited_s = 3600;
       },
       Next::kFinish, 5, {{kNoteWaitedTooLong, {u"3600"}}}},
      {"InTurn", [](TaskFacts* f) { f->tool.tried = false; }, Next::kRunTool, 0,
       {}},
      {"ToolNotStarted",
       [](TaskFacts* f) {
         f->tool.started = false;
         f->tool.start_error = 2;
       },
       Next::kFinish, 3, {{kNoteToolNotStarted, {u"2"}}}},
      {"TermRejected",
       [](TaskFacts* f) {
         f->tool.status = 1;
         f->tool.said = u"【ERROR:0X0002】引数が長すぎます。32文字を超えています。";
       },
       Next::kFinish, 1,
       {{kNoteToolRefusedTerm, {}},
        {kNoteToolSaid,
         {u"【ERROR:0X0002】引数が長すぎます。32文字を超えています。"}}}},
      {"MessageLinesOnOneLine",
       [](TaskFacts* f) {
         f->tool.status = 1;
         f->tool.said = u"一行目\r\n二行目\r\n";
       },
       Next::kFinish, 1,
       {{kNoteToolRefusedTerm, {}}, {kNoteToolSaid, {u"一行目  二行目"}}}},
      {"EndedOneSilently", [](TaskFacts* f) { f->tool.status = 1; },
       Next::kFinish, 4, {{kNoteToolStopped, {}}, copied}},
      {"KilledOrCrashed",
       [](TaskFacts* f) {
         f->tool.status = 0xC000013A;
         f->tool.log = LogState::kEmpty;
       },
       Next::kFinish, 4, {{kNoteToolStopped, {}}}},
      {"LogNotOpened",
       [](TaskFacts* f) {
         f->tool.said = u"c:\\tempへのログの書き込みに失敗しました";
         f->tool.log = LogState::kMissing;
       },
       Next::kFinish, 3,
       {{kNoteLogNotWritten, {}},
        {kNoteToolSaid, {u"c:\\tempへのログの書き込みに失敗しました"}}}},
      {"NoLogAfterTheRun",
       [](TaskFacts* f) { f->tool.log = LogState::kMissing; }, Next::kFinish, 3,
       {{kNoteLogNotWritten, {}}}},
      {"LogHeldAfterTheRun",
       [](TaskFacts* f) { f->tool.log = LogState::kHeld; }, Next::kFinish, 3,
       {{kNoteLogNotWritten, {}}}},
      {"LogWithoutItsEndLine",
       [](TaskFacts* f) { f->tool.log = LogState::kUnended; }, Next::kFinish, 4,
       {{kNoteNoEndLine, {}}, copied}},
      {"RunDone", [](TaskFacts* f) { f->copy.tried = false; }, Next::kCopyLog,
       0, {}},
      {"StoppedRunToCopy",
       [](TaskFacts* f) {
         f->tool.log = LogState::kUnended;
         f->copy.tried = false;
       },
       Next::kCopyLog, 0, {}},
      {"CopyFailed", [](TaskFacts* f) { f->copy.copied = false; },
       Next::kFinish, 6, {{kNoteDone, {}}, {kNoteCopyFailed, {u"C:\\u\\"}}}},
      {"Done", [](TaskFacts*) {}, Next::kFinish, 0, {{kNoteDone, {}}, copied}},
      {"DoneAfterWaiting", [](TaskFacts* f) { f->turn.waited_s = 10; },
       Next::kFinish, 0,
       {{kNoteDone, {}}, copied, {kNoteWaited, {u"10"}}}},
  };
  for (const VerdictCase& c : cases) {
    TaskFacts facts = GoodFacts();
    c.change(&facts);

    const Verdict verdict = JudgeTask(facts);

    EXPECT_EQ(c.next, verdict.next) << c.name;
    if (c.next == Next::kFinish) {
      EXPECT_EQ(c.status, verdict.status) << c.name;
      EXPECT_EQ(fake::Shown(c.note), fake::Shown(verdict.note)) << c.name;
    }
  }
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

TEST(TaskRecords, CopiesAreNamedAndClearedByTheirDay) {
  const LocalTime evening{2026, 1, 9, 8, 5, 3};
  EXPECT_EQ("Tesmarind-20260109-080503.txt", CopyName(evening));
  EXPECT_EQ("Tesmarind-20260109-080503-2.txt", CopyName(evening, 2));

  // Days counted against dates known apart from the code: across a
  // February, leap years and not, year ends, and far from 1970.
  const std::pair<std::array<int, 3>, std::int64_t> days[] = {
      {{1970, 1, 1}, 0},          {{2000, 2, 29}, 11016},
      {{2000, 3, 1}, 11017},      {{2024, 2, 29}, 19782},
      {{2025, 3, 1}, 20148},      {{2026, 12, 31}, 20818},
      {{2027, 1, 1}, 20819},      {{2100, 3, 1}, 47541},
      {{9999, 12, 31}, 2932896},
  };
  for (const auto& [date, expected] : days) {
    EXPECT_EQ(expected, DaysSinceEpoch(date[0], date[1], date[2]))
        << date[0] << "-" << date[1] << "-" << date[2];
  }

  const LocalTime today{2026, 3, 1, 18, 0, 0};
  const std::vector<std::string> names = {
      "Tesmarind-20260129-235959.txt",  // 31 days: kept
      "Tesmarind-20260128-000000.txt",  // 32 days: gone
      "Tesmarind-20260128-000000-9.txt",
      "Tesmarind-20260128-000000-1.txt",
      "Tesmarind-20260128-000000-10.txt",
      "Tesmarind-20260128-0000.txt",
      "Tesmarind-20260128-000000.txt.lnk",
      "Tesmarind-2026012-1000000.txt",
      "Tesmarind-history.txt",
      "tesmarind-20200128-000000.txt",
      "Tesmarind-20201328-000000.txt",
  };
  const std::vector<std::string> expired = {"Tesmarind-20260128-000000.txt",
                                            "Tesmarind-20260128-000000-9.txt"};
  EXPECT_EQ(expired, PlanClearing(names, "", today, KeepDays{}).expired);
  // 365 days kept across 2024's February 29: the year before is 366 days.
  EXPECT_EQ(std::vector<std::string>{"Tesmarind-20230301-180000.txt"},
            PlanClearing({"Tesmarind-20230301-180000.txt",
                          "Tesmarind-20230302-180000.txt"},
                         "", LocalTime{2024, 3, 1, 18, 0, 0},
                         KeepDays{true, 365, ""})
                .expired);

  const std::u16string settings[] = {u"5",  u"0",  u"3600", u"9999",
                                     u"-5", u"5s", u""};
  const unsigned bounds[] = {5, 0, 3600, 3600, 3600, 3600, 3600};
  for (std::size_t i = 0; i < std::size(settings); ++i) {
    EXPECT_EQ(bounds[i], BoundSeconds(&settings[i], 3600)) << i;
  }
  EXPECT_EQ(3600u, BoundSeconds(nullptr, 3600));

  const std::string end = Sjis("終了します\r\n");
  EXPECT_TRUE(EndsWithEndLine(end));
  EXPECT_TRUE(EndsWithEndLine(Sjis("開始しました\r\n") + end));
  EXPECT_FALSE(EndsWithEndLine(Sjis("開始しました\r\n")));
  EXPECT_FALSE(EndsWithEndLine(Sjis("x 終了します\r\n")));
  EXPECT_FALSE(EndsWithEndLine(end + "\r\n"));
  EXPECT_FALSE(EndsWithEndLine(""));
}

}  // namespace
