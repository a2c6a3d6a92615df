// The program a task starts on each PC, in place of a command prompt: it
// finds the term, waits its turn among the runs of the PC's sessions, runs
// tesmarinds.exe from its own folder without a console window, checks the
// log the run wrote, keeps a dated copy of it and records the run in the
// history, ending with a status that says whether the run did its job.
// Built for the Windows subsystem, it shows no window of its own, so
// nothing appears at the task's hour that a user could close.
#include <string>

#include "log/activity_log.h"
#include "task/command_line.h"
#include "task/platform.h"
#include "task/records.h"
#include "task/verdict.h"

#ifdef _WIN32
// The term reaches the checks as written: * and ? are never expanded.
extern "C" {
int _dowildcard = 0;
}
#endif  // _WIN32

namespace {

constexpr unsigned kLookEveryS = 5;
// The status of the line recording a run stopped before its end line.
constexpr char kStoppedRunStatus[] = "-";

// The one argument a per-user task carries, else the value a package or a
// policy wrote.
TermFacts FindTerm(int argc, const char16_t* const argv[]) {
  TermFacts term;
  term.arguments = argc - 1;
  if (term.arguments == 1) {
    term.found = true;
    term.text = argv[1];
  } else if (term.arguments == 0) {
    term.found = ReadTermFromRegistry(&term.text);
  }
  return term;
}

unsigned WaitBound() {
  std::u16string setting;
  return WaitBoundSeconds(ReadEnvironment(u"TESMARINDS_WAIT_SECONDS", &setting)
                              ? &setting
                              : nullptr);
}

// One run at a time per PC: another session's run holds the turn file, and
// a tesmarinds started by hand holds the log; both are looked at every 5 s
// up to the bound. Without c:\temp there is no turn, and the tool runs
// without its log.
TurnFacts WaitForTurn(unsigned bound_s) {
  TurnFacts turn;
  turn.tried = true;
  turn.bound_s = bound_s;
  for (;;) {
    const Turn taken = TakeTurn(kTurnPath);
    if (taken == Turn::kNoFolder) {
      return turn;
    }
    if (taken == Turn::kTaken) {
      if (LookAtLog(kLogPath) != LogState::kHeld) {
        return turn;
      }
      GiveBackTurn();
    }
    if (turn.waited_s >= bound_s) {
      turn.timed_out = true;
      return turn;
    }
    PauseSeconds(kLookEveryS);
    turn.waited_s += kLookEveryS;
  }
}

void Record(const std::string& status, const std::string& note) {
  AppendToFile(kHistoryPath, HistoryLine(Now(), UserName(), status, note));
}

// A log not ending with the end line is a run stopped from outside: it is
// recorded with the user who started it, and this run's user is kept for
// the next to do the same.
void RecordStoppedRunAndStarter() {
  if (LookAtLog(kLogPath) == LogState::kUnended) {
    Record(kStoppedRunStatus,
           StoppedRunNote(StarterFromFile(ReadFileStart(kStarterPath))));
  }
  ReplaceFileText(kStarterPath, StarterFileText(UserName()));
}

ToolFacts RunTool(const std::u16string& term) {
  const std::u16string tool = PathBesideThisProgram(u"tesmarinds.exe");
  const ProgramRun run = RunWithoutConsole(ToolCommandLine(tool, term));
  ToolFacts facts;
  facts.tried = true;
  facts.started = run.started;
  facts.start_error = run.start_error;
  facts.status = run.status;
  facts.said = run.said;
  facts.log = LookAtLog(kLogPath);
  return facts;
}

CopyFacts KeepCopy() {
  CopyFacts copy;
  copy.tried = true;
  copy.name = CopyName(Now());
  copy.copied = CopyLog(kLogPath, copy.name);
  return copy;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t),
                "Windows' wide characters are UTF-16 code units");
  TaskFacts facts;
  facts.term = FindTerm(argc, reinterpret_cast<const char16_t* const*>(argv));
  Verdict verdict = JudgeTask(facts);
  if (verdict.next == Next::kTakeTurn) {
    facts.turn = WaitForTurn(WaitBound());
    verdict = JudgeTask(facts);
  }
  if (verdict.next == Next::kRunTool) {
    RecordStoppedRunAndStarter();
    facts.tool = RunTool(facts.term.text);
    verdict = JudgeTask(facts);
  }
  if (verdict.next == Next::kCopyLog) {
    facts.copy = KeepCopy();
    verdict = JudgeTask(facts);
  }
  // Recorded in the turn, so that the history's lines follow the runs.
  Record(std::to_string(verdict.status), verdict.note);
  GiveBackTurn();
  ShowNote(verdict.note);
  return verdict.status;
}
