#include "task/run_task.h"

#include <string>
#include <utility>
#include <vector>

#include "messages.h"
#include "settings/settings.h"
#include "task/command_line.h"
#include "task/copies.h"
#include "task/platform.h"
#include "task/verdict.h"

namespace {

constexpr unsigned kLookEveryS = 5;
// A task's time limit is 2 hours: the longest wait for a turn and the
// longest the tool may run fit in it. The tool's longest unattended run is
// far shorter than its bound.
constexpr unsigned kLongestWaitS = 3600;
constexpr unsigned kLongestToolRunS = 1800;

// The one argument a per-user task carries, else the value a policy or the
// package wrote. A task left with an empty argument ("") has none.
TermFacts FindTerm(int argc, const char16_t* const argv[]) {
  TermFacts term;
  term.arguments = argc - 1;
  if (term.arguments == 1 && argv[1][0] == u'\0') {
    term.arguments = 0;
  }
  if (term.arguments == 1) {
    term.source = TermSource::kArgument;
    term.text = argv[1];
  } else if (term.arguments == 0) {
    const FoundSetting setting = FindSetting(u"Term");
    if (setting.value.kind == RegistryValue::kText) {
      term.source =
          IsPolicy(setting.place) ? TermSource::kPolicy : TermSource::kPackage;
      term.text = setting.value.text;
    } else if (setting.value.kind != RegistryValue::kAbsent) {
      term.not_text_in = KeyOf(setting.place);
    }
  }
  return term;
}

KeepDays FindKeepDays() {
  KeepDays keep;
  const FoundSetting setting = FindSetting(u"KeepDays");
  if (setting.value.kind == RegistryValue::kAbsent) {
    return keep;
  }
  keep.usable = IsKeepDays(setting.value);
  keep.days = setting.value.number;
  keep.key = KeyOf(setting.place);
  return keep;
}

// TESMARINDS_WAIT_SECONDS and TESMARINDS_RUN_SECONDS shorten the bounds
// for the tests.
unsigned Bound(const char16_t* variable, unsigned longest) {
  std::u16string setting;
  return BoundSeconds(ReadEnvironment(variable, &setting) ? &setting : nullptr,
                      longest);
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
    TurnAttempt attempt = TakeTurn();
    if (attempt.state == TurnAttempt::kNoFolder) {
      return facts;
    }
    if (attempt.state == TurnAttempt::kUnusable) {
      facts.unusable = true;
      facts.unusable_error = attempt.error;
      return facts;
    }
    if (attempt.state == TurnAttempt::kTaken &&
        LookAtLog() != LogState::kHeld) {
      *turn = std::move(attempt.held);
      return facts;
    }
    attempt.held.reset();
    if (facts.waited_s >= bound_s) {
      facts.timed_out = true;
      return facts;
    }
    PauseSeconds(kLookEveryS);
    facts.waited_s += kLookEveryS;
  }
}

ToolFacts RunTool(const std::u16string& term) {
  const std::u16string tool = PathBesideThisProgram(u"tesmarinds.exe");
  const unsigned bound_s = Bound(u"TESMARINDS_RUN_SECONDS", kLongestToolRunS);
  const ProgramRun run =
      RunWithoutConsole(ToolCommandLine(tool, term), bound_s);
  ToolFacts facts;
  facts.tried = true;
  facts.started = run.started;
  facts.start_error = run.start_error;
  facts.job_error = run.job_error;
  facts.ran_too_long = run.ran_too_long;
  facts.bound_s = bound_s;
  facts.status = run.status;
  facts.said = run.said;
  facts.log = LookAtLog();
  return facts;
}

// The log copied into the user's folder under a name of its own: one
// already taken (a run of the same second, a clock set back) is left as it
// is and the next is tried.
CopyFacts KeepCopy() {
  CopyFacts copy;
  copy.tried = true;
  copy.folder = UserFolder();
  const LocalTime now = Now();
  for (int attempt = 1; attempt <= kCopyNameAttempts; ++attempt) {
    const std::string name = CopyName(now, attempt);
    const CopyOutcome outcome = CopyLogAway(name);
    if (outcome != CopyOutcome::kNameTaken) {
      copy.copied = outcome == CopyOutcome::kCopied;
      if (copy.copied) {
        copy.name = name;
        copy.path = copy.folder + std::u16string(name.begin(), name.end());
      }
      return copy;
    }
  }
  return copy;
}

// Each run leaves a copy holding every title its user saw: the user's
// copies older than the kept days go.
Clearing ClearOldCopies(const std::string& this_runs_copy,
                        const KeepDays& keep) {
  Clearing clearing =
      PlanClearing(ListUserFiles(kCopyPattern), this_runs_copy, Now(), keep);
  for (const std::string& name : clearing.expired) {
    static_cast<void>(RemoveUserFile(name));
  }
  return clearing;
}

const char16_t* SourceName(TermSource source) {
  switch (source) {
    case TermSource::kArgument:
      return u"argument";
    case TermSource::kPolicy:
      return u"policy";
    case TermSource::kPackage:
      return u"package";
    default:
      return u"none";
  }
}

EventLevel LevelOf(int status) {
  if (status == kTaskDone) {
    return EventLevel::kInformation;
  }
  return status == kLogHeld ? EventLevel::kWarning : EventLevel::kError;
}

}  // namespace

int RunTask(int argc, const char16_t* const argv[]) {
  TaskFacts facts;
  facts.term = FindTerm(argc, argv);
  const unsigned long session = SessionId();
  facts.in_user_session = session != 0;
  const std::u16string user = UserName();
  const std::u16string run = Decimal(ProcessId());
  // Written before anything else is done: a run stopped from outside (the
  // task ended, its time limit, a sign-out) leaves this without its end.
  const unsigned long start_error =
      WriteEvent(kEventRunStarted, EventLevel::kInformation,
                 {user, Decimal(session), facts.term.text,
                  SourceName(facts.term.source), run});
  Verdict verdict = JudgeTask(facts);
  {
    HeldTurn turn;
    if (verdict.next == Next::kTakeTurn) {
      facts.turn =
          WaitForTurn(Bound(u"TESMARINDS_WAIT_SECONDS", kLongestWaitS), &turn);
      verdict = JudgeTask(facts);
    }
    if (verdict.next == Next::kRunTool) {
      facts.tool = RunTool(facts.term.text);
      verdict = JudgeTask(facts);
    }
    if (verdict.next == Next::kCopyLog) {
      facts.copy = KeepCopy();
    }
  }
  if (facts.in_user_session) {
    facts.keep = FindKeepDays();
    facts.clearing = ClearOldCopies(facts.copy.name, facts.keep);
  }
  verdict = JudgeTask(facts);
  const Verdict told = Recorded(verdict, start_error, 0);
  const unsigned long end_error =
      WriteEvent(EndEventOf(verdict.status), LevelOf(verdict.status),
                 {user, Decimal(session), NoteText(told.note),
                  Decimal(facts.turn.waited_s), facts.copy.path, run});
  const Verdict shown = Recorded(verdict, start_error, end_error);
  ShowNote(NoteText(shown.note));
  return shown.status;
}
