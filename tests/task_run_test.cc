#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake/fake_task_platform.h"
#include "support/test_support.h"
#include "task/run_task.h"
#include "tempdir/temp_files.h"

namespace {

using fake::Machine;
using fake::TaskMachine;
using fake::TempFile;

constexpr char kCopy[] = "c:\\temp\\Tesmarind-20261209-180000.txt";
constexpr char kCopy2[] = "c:\\temp\\Tesmarind-20261209-180000-2.txt";
constexpr char kDone[] =
    "最後まで実行しました。コピー: Tesmarind-20261209-180000.txt";

ProgramRun StoppedFromOutside(TaskMachine& pc) {
  pc.files[kLogPath] = TempFile{fake::UnendedLog()};
  ProgramRun run;
  run.started = true;
  run.status = 0xC000013A;
  return run;
}

struct Sequence {
  const char* name;
  std::function<void(TaskMachine&)> arrange;
  int runs;
  int status;  // of the last run
  // The history's lines after the date and time, UTF-8 here.
  std::vector<std::string> history;
  std::function<void(const TaskMachine&)> check;
};

// Each row arranges a PC, runs the task's action as many times as it says
// (the tool's script may change between runs) and reads the records left.
TEST(TaskRun, RecordsWhatHappenedOnAPcSharedByItsUsers) {
  const std::vector<Sequence> sequences = {
      {"AStoppedRunIsRecordedOnceByItsOwnRunner",
       [](TaskMachine& pc) {
         pc.tool = [](TaskMachine& m) {
           m.tool = [](TaskMachine& n) {
             n.files[kLogPath] = TempFile{fake::EndedLog()};
             return ProgramRun{true, 0, 0, ""};
           };
           return StoppedFromOutside(m);
         };
       },
       2,
       0,
       {"tanaka 4 tesmarinds が途中で止められました。",
        std::string("tanaka 0 ") + kDone},
       nullptr},
      {"ARunnerStoppedWithItsToolIsRecordedByTheNextRun",
       [](TaskMachine& pc) {
         pc.Text(kTurnPath) = "suzuki\r\n";
         pc.Text(kLogPath) = fake::UnendedLog();
       },
       1,
       0,
       {"tanaka - 前の実行のログが「終了します」で終わっていません"
        "（前に実行したユーザー: suzuki）。",
        std::string("tanaka 0 ") + kDone},
       [](const TaskMachine& pc) {
         EXPECT_EQ("", pc.files.at(kTurnPath).text);
       }},
      {"ARunnerStoppedAfterItsToolEndedHasItsLogCopiedFirst",
       [](TaskMachine& pc) {
         pc.Text(kTurnPath) = "Room 2 PC\r\n";
         pc.Text(kLogPath) = fake::EndedLog();
       },
       1,
       0,
       {"tanaka - 前の実行は最後まで実行しましたが、記録する前に止められました"
        "（前に実行したユーザー: Room 2 PC）。コピー: "
        "Tesmarind-20261209-180000.txt",
        "tanaka 0 最後まで実行しました。コピー: "
        "Tesmarind-20261209-180000-2.txt"},
       nullptr},
      {"AFolderAtTheTurnsNameEndsTheRunAtOnce",
       [](TaskMachine& pc) { pc.files[kTurnPath].planted = true; },
       1,
       3,
       {"tanaka 3 順番のファイル c:\\temp\\Tesmarind-turn.txt を使えません"
        "（エラー 5）。"},
       [](const TaskMachine& pc) {
         EXPECT_TRUE(pc.command_lines.empty());
         EXPECT_EQ(0u, pc.paused_s);
       }},
      {"ACopyNameTakenIsLeftAndTheNextNameUsed",
       [](TaskMachine& pc) { pc.files[kCopy].planted = true; },
       1,
       0,
       {"tanaka 0 最後まで実行しました。コピー: "
        "Tesmarind-20261209-180000-2.txt"},
       [](const TaskMachine& pc) {
         EXPECT_TRUE(pc.files.at(kCopy).planted);
         EXPECT_EQ(fake::EndedLog(), pc.files.at(kCopy2).text);
       }},
      {"AReadErrorWhileCopyingIsAFailedCopy",
       [](TaskMachine& pc) {
         pc.tool = [](TaskMachine& m) {
           m.files[kLogPath] = TempFile{fake::EndedLog(), false, false, true};
           return ProgramRun{true, 0, 0, ""};
         };
       },
       1,
       6,
       {"tanaka 6 ログをコピーできませんでした。"},
       [](const TaskMachine& pc) { EXPECT_EQ(0u, pc.files.count(kCopy)); }},
      {"ARunOutsideAUsersSessionRunsNothing",
       [](TaskMachine& pc) { pc.in_user_session = false; },
       1,
       7,
       {"tanaka 7 ユーザーがサインインしているセッションではないため、"
        "ウィンドウを閉じられません（SYSTEM や「ユーザーがログオンしているか"
        "どうかにかかわらず実行する」のタスク）。"},
       [](const TaskMachine& pc) {
         EXPECT_TRUE(pc.command_lines.empty());
         EXPECT_EQ(0u, pc.files.count(kTurnPath));
       }},
      {"OldCopiesGoPlantedLinksAndOtherFilesStay",
       [](TaskMachine& pc) {
         pc.Text("c:\\temp\\Tesmarind-20261107-180000.txt") = "old";
         pc.Text("c:\\temp\\Tesmarind-20261107-180000-2.txt") = "old";
         pc.Text("c:\\temp\\Tesmarind-20261108-180000.txt") = "kept";
         pc.files["c:\\temp\\Tesmarind-20261001-180000.txt"].planted = true;
         pc.Text("c:\\temp\\Tesmarind-notes.txt") = "kept";
         pc.Text(kHistoryPath) = Sjis("2025/12/07 18:00:00 sato 0 x\r\n") +
                                 Sjis("2025/12/08 18:00:00 sato 0 x\r\n");
       },
       1,
       0,
       {"sato 0 x", std::string("tanaka 0 ") + kDone},
       [](const TaskMachine& pc) {
         EXPECT_EQ((std::vector<std::string>{
                       "c:\\temp\\Tesmarind-20261107-180000-2.txt",
                       "c:\\temp\\Tesmarind-20261107-180000.txt"}),
                   pc.removed);
       }},
      {"KeepDaysZeroKeepsEveryCopy",
       [](TaskMachine& pc) {
         pc.SetSetting(SettingsPlace::kPackage32, u"KeepDays",
                       {RegistryValue::kNumber, u"", 0});
         pc.Text("c:\\temp\\Tesmarind-20201107-180000.txt") = "old";
       },
       1,
       0,
       {std::string("tanaka 0 ") + kDone},
       [](const TaskMachine& pc) { EXPECT_TRUE(pc.removed.empty()); }},
      {"APolicysTermWinsOverThePackages",
       [](TaskMachine& pc) {
         pc.SetSetting(SettingsPlace::kPackage64, u"Term",
                       {RegistryValue::kText, u"集計", 0});
         pc.SetSetting(SettingsPlace::kPolicy32, u"Term",
                       {RegistryValue::kText, u"売上", 0});
       },
       1,
       0,
       {std::string("tanaka 0 ") + kDone},
       [](const TaskMachine& pc) {
         EXPECT_EQ(
             u"\"C:\\Program Files\\tesmarinds\\tesmarinds.exe\" "
             u"\"売上\"",
             pc.command_lines.at(0));
       }},
      {"APolicysTermOfAnotherTypeIsNamedNotPassedOver",
       [](TaskMachine& pc) {
         pc.SetSetting(SettingsPlace::kPackage64, u"Term",
                       {RegistryValue::kText, u"集計", 0});
         pc.SetSetting(SettingsPlace::kPolicy64, u"Term",
                       {RegistryValue::kOther, u"", 0});
       },
       1,
       2,
       {"tanaka 2 HKLM\\SOFTWARE\\Policies\\tesmarinds の Term が文字列"
        "（REG_SZ）ではありません。"},
       nullptr},
  };
  for (const Sequence& sequence : sequences) {
    fake::ResetMachine();
    TaskMachine& pc = Machine();
    pc.SetSetting(SettingsPlace::kPackage64, u"Term",
                  {RegistryValue::kText, u"売上", 0});
    sequence.arrange(pc);
    const char16_t* argv[] = {u"tesmarinds-task.exe"};

    int status = -1;
    for (int run = 0; run < sequence.runs; ++run) {
      status = RunTask(1, argv);
    }

    EXPECT_EQ(sequence.status, status) << sequence.name;
    std::string expected;
    for (const std::string& line : sequence.history) {
      const bool old = line.rfind("sato", 0) == 0;
      expected += Sjis((old ? "2025/12/08 18:00:00 " : "2026/12/09 18:00:00 ") +
                       line + "\r\n");
    }
    EXPECT_EQ(expected, pc.files[kHistoryPath].text) << sequence.name;
    EXPECT_FALSE(pc.turn_held) << sequence.name;
    if (sequence.check) {
      SCOPED_TRACE(sequence.name);
      sequence.check(pc);
    }
  }
}

}  // namespace
