#include "task/run_task.h"

#include <string>
#include <utility>

#include "task/command_line.h"
#include "task/platform.h"
#include "task/records.h"
#include "task/verdict.h"
#include "tempdir/temp_files.h"

namespace {

constexpr unsigned kLookEveryS = 5;
// How long the dated copies are kept when no KeepDays is set.
constexpr unsigned kDefaultKeepDays = 31;
// The status of the line recording a run whose runner was stopped.
constexpr char kStoppedRunStatus[] = "-";

// The one argument a per-user task carries, else the value a policy or the
// package wrote.
TermFacts FindTerm(int argc, const char16_t* const argv[]) {
  TermFacts term;
  term.arguments = argc - 1;
  if (term.arguments == 1) {
    term.found = true;
    term.text = argv[1];
  } else if (term.arguments == 0) {
    const FoundSetting setting = FindSetting(u"Term");
    term.found = setting.value.kind == RegistryValue::kText;
    term.text = setting.value.text;
    if (setting.value.kind != RegistryValue::kAbsent && !term.found) {
      term.not_text_in = KeyOf(setting.place);
    }
  }
  return term;
}

unsigned KeepDays() {
  const RegistryValue value = FindSetting(u"KeepDays").value;
  return value.kind == RegistryValue::kNumber ? value.number : kDefaultKeepDays;
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
// without its log. A turn file that cannot be opened for any other reason
// ends the run at once: waiting would not mend it.
TurnFacts WaitForTurn(unsigned bound_s, HeldTurn* turn) {
  TurnFacts facts;
  facts.tried = true;
  facts.bound_s = bound_s;
  for (;;) {
    TurnAttempt attempt = TakeTurn(kTurnPath);
    if (attempt.state == TurnAttempt::kNoFolder) {
      return facts;
    }
    if (attempt.state == TurnAttempt::kUnusable) {
      facts.unusable_error = attempt.error;
      return facts;
    }
    if (attempt.state == TurnAttempt::kTaken) {
      if (LookAtLog(kLogPath) != LogState::kHeld) {
        *turn = std::move(attempt.held);
        return facts;
      }
    }
    attempt.held.GiveBack();
    if (facts.waited_s >= bound_s) {
      facts.timed_out = true;
      return facts;
    }
    PauseSeconds(kLookEveryS);
    facts.waited_s += kLookEveryS;
  }
}

void Record(const std::string& status, const std::string& note) {
  static_cast<void>(
      AppendToFile(kHistoryPath, HistoryLine(Now(), UserName(), status, note)));
}

// The log copied beside itself under a name of its own: one already taken
// (a run of the same second, a clock set back, or a name planted there) is
// left as it is and the next is tried.
CopyFacts KeepCopy() {
  CopyFacts copy;
  copy.tried = true;
  const LocalTime now = Now();
  for (int attempt = 1; attempt <= kCopyNameAttempts; ++attempt) {
    copy.name = CopyName(now, attempt);
    const CopyOutcome outcome =
        CopyLog(kLogPath, std::string(kTempFolder) + copy.name);
    if (outcome != CopyOutcome::kNameTaken) {
      copy.copied = outcome == CopyOutcome::kCopied;
      return copy;
    }
  }
  return copy;
}

// The turn file names the user of a run in flight until that run is
// recorded: still named, it belonged to a runner that was stopped. Its log
// stopped with it, or ended before the runner could record it; either way
// it gets its one line here, before this run's tool writes over the log.
void RecordRunOfAStoppedRunner(const HeldTurn& turn) {
  const std::string starter = StarterFromFile(turn.Text());
  if (starter.empty()) {
    return;
  }
  const LogState log = LookAtLog(kLogPath);
  if (log == LogState::kUnended) {
    Record(kStoppedRunStatus, StoppedRunNote(starter));
  } else if (log == LogState::kEnded) {
    Record(kStoppedRunStatus, StoppedBeforeRecordNote(starter, KeepCopy()));
  }
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

// Each run on a shared PC leaves a copy holding every title its user saw:
// copies older than the kept days go, and the history keeps about a year.
void ClearOldRecords() {
  const unsigned keep_days = KeepDays();
  const LocalTime today = Now();
  for (const std::string& name : ListFiles(kCopyPattern)) {
    if (IsExpiredCopy(name, today, keep_days)) {
      static_cast<void>(RemoveFile((std::string(kTempFolder) + name).c_str()));
    }
  }
  RewriteFile(kHistoryPath, RecentHistory, today);
}

}  // namespace

int RunTask(int argc, const char16_t* const argv[]) {
  TaskFacts facts;
  facts.term = FindTerm(argc, argv);
  facts.in_user_session = InUserSession();
  Verdict verdict = JudgeTask(facts);
  HeldTurn turn;
  if (verdict.next == Next::kTakeTurn) {
    facts.turn = WaitForTurn(WaitBound(), &turn);
    verdict = JudgeTask(facts);
  }
  if (verdict.next == Next::kRunTool) {
    if (turn.held()) {
      RecordRunOfAStoppedRunner(turn);
      turn.ReplaceText(StarterFileText(UserName()));
    }
    facts.tool = RunTool(facts.term.text);
    verdict = JudgeTask(facts);
  }
  if (verdict.next == Next::kCopyLog) {
    facts.copy = KeepCopy();
    verdict = JudgeTask(facts);
  }
  // Recorded in the turn, so that the history's lines follow the runs.
  Record(std::to_string(verdict.status), verdict.note);
  if (turn.held()) {
    turn.ReplaceText("");
    ClearOldRecords();
  }
  turn.GiveBack();
  ShowNote(verdict.note);
  return verdict.status;
}

HeldTurn& HeldTurn::operator=(HeldTurn&& other) noexcept {
  if (this != &other) {
    GiveBack();
    file_ = other.file_;
    other.file_ = nullptr;
  }
  return *this;
}

std::string HeldTurn::Text() const {
  return file_ == nullptr ? std::string() : ReadTurnFile(file_);
}

void HeldTurn::ReplaceText(const std::string& text) const {
  if (file_ != nullptr) {
    ReplaceTurnFileText(file_, text);
  }
}

void HeldTurn::GiveBack() {
  if (file_ != nullptr) {
    CloseTurnFile(file_);
    file_ = nullptr;
  }
}
