#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake/fake_task_platform.h"
#include "messages.h"
#include "task/run_task.h"

namespace {

using fake::Machine;
using fake::TaskMachine;
using fake::TempFile;

constexpr char kLog[] = "Tesmarind.txt";
constexpr char kCopy[] = "Tesmarind-20261209-180000.txt";
constexpr char kCopy2[] = "Tesmarind-20261209-180000-2.txt";
const std::u16string kCopyPath =
    std::u16string(fake::kUserFolder) + u"Tesmarind-20261209-180000.txt";
const std::u16string kPackageKey = u"HKLM\\SOFTWARE\\tesmarinds";

ProgramRun Ran(unsigned long status) {
  ProgramRun run;
  run.started = true;
  run.status = status;
  return run;
}

RegistryValue Number(std::uint32_t number) {
  return {RegistryValue::kNumber, u"", number};
}

// The end event's inserts but for the user, the session and the process,
// which every row shares: the note, the seconds waited and the copy.
struct End {
  unsigned id;
  Note note;
  std::u16string waited = u"0";
  std::u16string copy;
};

struct Sequence {
  const char* name;
  std::function<void(TaskMachine&)> arrange;
  std::vector<std::u16string> arguments;
  int status;  // of the last run
  // The start event's term and where it came from, then the last end event.
  std::u16string term;
  std::u16string from;
  End end;
  std::function<void(const TaskMachine&)> check;
};

Note Done(const std::u16string& copy = kCopyPath) {
  return {{kNoteDone, {}}, {kNoteCopy, {copy}}};
}

// Each row arranges a PC, runs the task's action and reads what it
// recorded: its start event, its end event, the note shown, and the files
// left in c:\temp and in the user's own folder.
TEST(TaskRun, RecordsEachRunInTheEventLog) {
  const std::vector<Sequence> sequences = {
      {"ADoneRunIsRecordedAndItsLogCopiedAwayFromTheSharedFolder",
       [](TaskMachine& pc) {
         pc.tool = [](TaskMachine& m) {
           m.temp[kLog] = TempFile{fake::EndedLog()};
           // A runner stopped now, with its tool, leaves its start alone.
           EXPECT_EQ(1u, m.events.size());
           return Ran(0);
         };
       },
       {},
       0,
       u"売上",
       u"package",
       {kEventRunEnded, Done(), u"0", kCopyPath},
       [](const TaskMachine& pc) {
         EXPECT_EQ(fake::EndedLog(), pc.copies.at(kCopy).text);
         EXPECT_EQ("", pc.temp.at(kLog).text);
         EXPECT_EQ(std::vector<unsigned>{1800}, pc.tool_bounds_s);
       }},
      {"AToolStoppedFromOutsideIsAFourAndItsLogIsStillCopied",
       [](TaskMachine& pc) {
         pc.tool = [](TaskMachine& m) {
           m.temp[kLog] = TempFile{fake::UnendedLog()};
           return Ran(0xC000013A);
         };
       },
       {},
       4,
       u"売上",
       u"package",
       {kEventRunEnded4, {{kNoteToolStopped, {}}, {kNoteCopy, {kCopyPath}}},
        u"0", kCopyPath},
       nullptr},
      {"AToolStillRunningAtTheBoundIsEndedAndSaysSo",
       [](TaskMachine& pc) {
         pc.tool = [](TaskMachine& m) {
           m.temp[kLog] = TempFile{fake::UnendedLog()};
           ProgramRun run = Ran(1460);
           run.ran_too_long = true;
           return run;
         };
       },
       {},
       4,
       u"売上",
       u"package",
       {kEventRunEnded4,
        {{kNoteToolRanTooLong, {u"1800"}}, {kNoteCopy, {kCopyPath}}},
        u"0",
        kCopyPath},
       nullptr},
      {"AToolThatCannotBePutInAJobIsEndedAndSaysSo",
       [](TaskMachine& pc) {
         pc.temp[kLog] = TempFile{fake::EndedLog()};
         pc.tool = [](TaskMachine&) {
           ProgramRun run;
           run.job_error = 5;
           return run;
         };
       },
       {},
       3,
       u"売上",
       u"package",
       {kEventRunEnded3, {{kNoteToolNotInJob, {u"5"}}}, u"0", u""},
       [](const TaskMachine& pc) { EXPECT_TRUE(pc.copies.empty()); }},
      {"AFolderAtTheTurnsNameEndsTheRunAtOnce",
       [](TaskMachine& pc) { pc.temp["Tesmarind-turn.txt"].planted = true; },
       {},
       3,
       u"売上",
       u"package",
       {kEventRunEnded3, {{kNoteTurnUnusable, {u"5"}}}, u"0", u""},
       [](const TaskMachine& pc) {
         EXPECT_TRUE(pc.command_lines.empty());
         EXPECT_EQ(0u, pc.paused_s);
       }},
      {"ACopyNameTakenIsLeftAndTheNextNameUsed",
       [](TaskMachine& pc) { pc.copies[kCopy].planted = true; },
       {},
       0,
       u"売上",
       u"package",
       {kEventRunEnded,
        Done(std::u16string(fake::kUserFolder) + u"Tesmarind-20261209-"
                                                  u"180000-2.txt"),
        u"0",
        std::u16string(fake::kUserFolder) + u"Tesmarind-20261209-180000-2.txt"},
       [](const TaskMachine& pc) {
         EXPECT_TRUE(pc.copies.at(kCopy).planted);
         EXPECT_EQ(fake::EndedLog(), pc.copies.at(kCopy2).text);
       }},
      {"AReadErrorWhileCopyingIsAFailedCopyAndLeavesTheLog",
       [](TaskMachine& pc) {
         pc.tool = [](TaskMachine& m) {
           m.temp[kLog] = TempFile{fake::EndedLog(), false, false, true};
           return Ran(0);
         };
       },
       {},
       6,
       u"売上",
       u"package",
       {kEventRunEnded6,
        {{kNoteDone, {}}, {kNoteCopyFailed, {fake::kUserFolder}}},
        u"0",
        u""},
       [](const TaskMachine& pc) {
         EXPECT_TRUE(pc.copies.empty());
         EXPECT_EQ(fake::EndedLog(), pc.temp.at(kLog).text);
       }},
      {"ARunOutsideAUsersSessionRunsAndRemovesNothing",
       [](TaskMachine& pc) {
         pc.session = 0;
         pc.copies["Tesmarind-20201107-180000.txt"].text = "old";
       },
       {},
       7,
       u"売上",
       u"package",
       {kEventRunEnded7, {{kNoteNoUserSession, {}}}, u"0", u""},
       [](const TaskMachine& pc) {
         EXPECT_TRUE(pc.command_lines.empty());
         EXPECT_EQ(0u, pc.temp.count("Tesmarind-turn.txt"));
         EXPECT_TRUE(pc.removed.empty());
       }},
      {"OldCopiesGoPlantedLinksAndOtherFilesStay",
       [](TaskMachine& pc) {
         pc.copies["Tesmarind-20261107-180000.txt"].text = "old";
         pc.copies["Tesmarind-20261107-180000-2.txt"].text = "old";
         pc.copies["Tesmarind-20261108-180000.txt"].text = "kept";
         pc.copies["Tesmarind-20261001-180000.txt"].planted = true;
         pc.copies["Tesmarind-notes.txt"].text = "kept";
       },
       {},
       0,
       u"売上",
       u"package",
       {kEventRunEnded, Done(), u"0", kCopyPath},
       [](const TaskMachine& pc) {
         EXPECT_EQ((std::vector<std::string>{
                       "Tesmarind-20261107-180000-2.txt",
                       "Tesmarind-20261107-180000.txt"}),
                   pc.removed);
       }},
      {"KeepDaysZeroKeepsEveryCopy",
       [](TaskMachine& pc) {
         pc.SetSetting(SettingsPlace::kPackage32, u"KeepDays", Number(0));
         pc.copies["Tesmarind-20201107-180000.txt"].text = "old";
       },
       {},
       0,
       u"売上",
       u"package",
       {kEventRunEnded, Done(), u"0", kCopyPath},
       [](const TaskMachine& pc) { EXPECT_TRUE(pc.removed.empty()); }},
      // What administrators write for "forever" is no day count.
      {"KeepDaysOfAllOnesRemovesNothingAndSaysSo",
       [](TaskMachine& pc) {
         pc.SetSetting(SettingsPlace::kPolicy64, u"KeepDays",
                       Number(0xFFFFFFFF));
         pc.copies["Tesmarind-20201107-180000.txt"].text = "old";
       },
       {},
       0,
       u"売上",
       u"package",
       {kEventRunEnded,
        {{kNoteDone, {}},
         {kNoteCopy, {kCopyPath}},
         {kNoteKeepDaysIgnored, {u"HKLM\\SOFTWARE\\Policies\\tesmarinds"}}},
        u"0",
        kCopyPath},
       [](const TaskMachine& pc) { EXPECT_TRUE(pc.removed.empty()); }},
      {"KeepDaysWrittenAsTextRemovesNothingAndSaysSo",
       [](TaskMachine& pc) {
         pc.SetSetting(SettingsPlace::kPackage64, u"KeepDays",
                       {RegistryValue::kText, u"365", 0});
         pc.copies["Tesmarind-20261001-180000.txt"].text = "old";
       },
       {},
       0,
       u"売上",
       u"package",
       {kEventRunEnded,
        {{kNoteDone, {}},
         {kNoteCopy, {kCopyPath}},
         {kNoteKeepDaysIgnored, {kPackageKey}}},
        u"0",
        kCopyPath},
       [](const TaskMachine& pc) { EXPECT_TRUE(pc.removed.empty()); }},
      {"AClockEarlierThanTheNewestCopyRemovesNothing",
       [](TaskMachine& pc) {
         pc.copies["Tesmarind-20271209-180000.txt"].text = "from a clock ahead";
         pc.copies["Tesmarind-20261001-180000.txt"].text = "old";
       },
       {},
       0,
       u"売上",
       u"package",
       {kEventRunEnded,
        {{kNoteDone, {}},
         {kNoteCopy, {kCopyPath}},
         {kNoteClockBeforeNewestCopy, {u"Tesmarind-20271209-180000.txt"}}},
        u"0",
        kCopyPath},
       [](const TaskMachine& pc) { EXPECT_TRUE(pc.removed.empty()); }},
      {"AClockSoFarPastTheNewestCopyThatAllWouldGoRemovesNothing",
       [](TaskMachine& pc) {
         pc.copies["Tesmarind-20261107-180000.txt"].text = "32 days old";
         pc.copies["Tesmarind-20261101-180000.txt"].text = "38 days old";
       },
       {},
       0,
       u"売上",
       u"package",
       {kEventRunEnded,
        {{kNoteDone, {}},
         {kNoteCopy, {kCopyPath}},
         {kNoteClockFarPastNewestCopy,
          {u"Tesmarind-20261107-180000.txt", u"31"}}},
        u"0",
        kCopyPath},
       [](const TaskMachine& pc) { EXPECT_TRUE(pc.removed.empty()); }},
      {"APolicysTermWinsOverThePackages",
       [](TaskMachine& pc) {
         pc.SetSetting(SettingsPlace::kPolicy32, u"Term",
                       {RegistryValue::kText, u"集計", 0});
       },
       {},
       0,
       u"集計",
       u"policy",
       {kEventRunEnded, Done(), u"0", kCopyPath},
       [](const TaskMachine& pc) {
         EXPECT_EQ(
             u"\"C:\\Program Files\\tesmarinds\\tesmarinds.exe\" "
             u"\"集計\"",
             pc.command_lines.at(0));
       }},
      {"APolicysTermOfAnotherTypeIsNamedNotPassedOver",
       [](TaskMachine& pc) {
         pc.SetSetting(SettingsPlace::kPolicy64, u"Term",
                       {RegistryValue::kOther, u"", 0});
       },
       {},
       2,
       u"",
       u"none",
       {kEventRunEnded2,
        {{kNoteTermNotText, {u"HKLM\\SOFTWARE\\Policies\\tesmarinds"}}},
        u"0",
        u""},
       nullptr},
      // What a per-user task left with <Arguments>""</Arguments> gives.
      {"OneEmptyArgumentCountsAsNone",
       nullptr,
       {u""},
       0,
       u"売上",
       u"package",
       {kEventRunEnded, Done(), u"0", kCopyPath},
       nullptr},
      {"AnArgumentWinsOverTheRegistry",
       nullptr,
       {u"売上 report"},
       0,
       u"売上 report",
       u"argument",
       {kEventRunEnded, Done(), u"0", kCopyPath},
       nullptr},
  };
  for (const Sequence& sequence : sequences) {
    fake::ResetMachine();
    TaskMachine& pc = Machine();
    pc.SetSetting(SettingsPlace::kPackage64, u"Term",
                  {RegistryValue::kText, u"売上", 0});
    if (sequence.arrange) {
      sequence.arrange(pc);
    }
    std::vector<const char16_t*> argv = {u"tesmarinds-task.exe"};
    for (const std::u16string& argument : sequence.arguments) {
      argv.push_back(argument.c_str());
    }

    const int status = RunTask(static_cast<int>(argv.size()), argv.data());

    SCOPED_TRACE(sequence.name);
    EXPECT_EQ(sequence.status, status);
    ASSERT_EQ(2u, pc.events.size());
    const std::u16string note = fake::Shown(sequence.end.note);
    EXPECT_EQ(kEventRunStarted, pc.events[0].id);
    EXPECT_EQ(sequence.end.id, pc.events[1].id);
    const std::u16string session = pc.session == 0 ? u"0" : u"1";
    EXPECT_EQ((std::vector<std::u16string>{u"tanaka", session, sequence.term,
                                           sequence.from, u"4242"}),
              pc.events[0].inserts);
    EXPECT_EQ((std::vector<std::u16string>{u"tanaka", session, note,
                                           sequence.end.waited,
                                           sequence.end.copy, u"4242"}),
              pc.events[1].inserts);
    EXPECT_EQ(note, pc.note_shown);
    EXPECT_FALSE(pc.turn_held);
    if (sequence.check) {
      sequence.check(pc);
    }
  }
}

// The one channel left when the event log takes nothing is Task Scheduler's
// last result, and the console for whoever started the runner by hand.
TEST(TaskRun, ARunThatCannotBeRecordedSaysSoAndEndsEight) {
  fake::ResetMachine();
  TaskMachine& pc = Machine();
  pc.SetSetting(SettingsPlace::kPackage64, u"Term",
                {RegistryValue::kText, u"売上", 0});
  pc.event_error = 1502;
  const char16_t* argv[] = {u"tesmarinds-task.exe"};

  EXPECT_EQ(8, RunTask(1, argv));

  EXPECT_TRUE(pc.events.empty());
  EXPECT_EQ(fake::Shown({{kNoteEventNotWritten, {u"1502"}},
                         {kNoteDone, {}},
                         {kNoteCopy, {kCopyPath}}}),
            pc.note_shown);
  EXPECT_EQ(fake::EndedLog(), pc.copies.at(kCopy).text);
}

}  // namespace
