#include "task/verdict.h"

#include <string>
#include <utility>

// The message table's numbers, which windmc writes from messages.mc.
#include "messages.h"

namespace {

// A space typed with the Japanese input method on.
constexpr char16_t kFullWidthSpace = u'\u3000';
// The tool's messages kept in a note, at most.
constexpr std::size_t kLongestSaid = 512;

std::u16string Ascii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

// What the tool printed, on the one line of a note.
std::u16string OneLine(const std::u16string& said) {
  std::u16string line;
  for (char16_t unit : said.substr(0, kLongestSaid)) {
    line += unit == u'\r' || unit == u'\n' ? u' ' : unit;
  }
  const std::u16string::size_type end = line.find_last_not_of(u' ');
  line.erase(end == std::u16string::npos ? 0 : end + 1);
  return line;
}

Note NoteOf(unsigned message, std::vector<std::u16string> inserts = {}) {
  return Note{NotePiece{message, std::move(inserts)}};
}

Note WithSaid(unsigned message, const std::u16string& said) {
  Note note = NoteOf(message);
  const std::u16string line = OneLine(said);
  if (!line.empty()) {
    note.push_back(NotePiece{kNoteToolSaid, {line}});
  }
  return note;
}

Verdict Finished(int status, Note note) {
  return Verdict{Next::kFinish, status, std::move(note)};
}

Verdict Then(Next next) { return Verdict{next, kTaskDone, Note()}; }

// An empty or blank term would select nearly every window; one holding a
// full-width space never matches a title written with an ordinary one.
Verdict JudgeTerm(const TermFacts& term) {
  if (term.arguments > 1) {
    return Finished(kTermRejected, NoteOf(kNoteTooManyArguments));
  }
  if (!term.not_text_in.empty()) {
    return Finished(kNoTerm,
                    NoteOf(kNoteTermNotText, {Ascii(term.not_text_in)}));
  }
  if (term.source == TermSource::kNone || term.text.empty()) {
    return Finished(kNoTerm, NoteOf(kNoteNoTerm));
  }
  if (term.text.find_first_not_of(u' ') == std::u16string::npos) {
    return Finished(kNoTerm, NoteOf(kNoteBlankTerm));
  }
  if (term.text.find(kFullWidthSpace) != std::u16string::npos) {
    return Finished(kNoTerm, NoteOf(kNoteFullWidthSpace));
  }
  // The tool refuses anything over 32 bytes itself; one too long for a
  // command line would never reach it.
  if (term.text.size() > kLongestTerm) {
    return Finished(kTermRejected, NoteOf(kNoteTermTooLong));
  }
  return Then(Next::kTakeTurn);
}

// The tool ends 0 after its sweeps and 1 after refusing its argument, with
// a message; anything else is a run stopped from outside. A message after
// a run means it could not write its log. A log the tool wrote, ended or
// not, is copied before the next run of the PC writes over it (kCopyLog).
Verdict JudgeToolRun(const ToolFacts& tool) {
  if (tool.job_error != 0) {
    return Finished(kLogNotWritten,
                    NoteOf(kNoteToolNotInJob, {Decimal(tool.job_error)}));
  }
  if (!tool.started) {
    return Finished(kLogNotWritten,
                    NoteOf(kNoteToolNotStarted, {Decimal(tool.start_error)}));
  }
  Verdict run;
  if (tool.ran_too_long) {
    run = Finished(kRunNotEnded,
                   NoteOf(kNoteToolRanTooLong, {Decimal(tool.bound_s)}));
  } else if (tool.status == 1 && !tool.said.empty()) {
    return Finished(kTermRejected, WithSaid(kNoteToolRefusedTerm, tool.said));
  } else if (tool.status != 0) {
    run = Finished(kRunNotEnded, NoteOf(kNoteToolStopped));
  } else if (!tool.said.empty()) {
    return Finished(kLogNotWritten, WithSaid(kNoteLogNotWritten, tool.said));
  } else if (tool.log == LogState::kUnended) {
    run = Finished(kRunNotEnded, NoteOf(kNoteNoEndLine));
  } else if (tool.log == LogState::kEnded) {
    run = Finished(kTaskDone, NoteOf(kNoteDone));
  } else {
    return Finished(kLogNotWritten, NoteOf(kNoteLogNotWritten));
  }
  if (tool.log == LogState::kUnended || tool.log == LogState::kEnded) {
    run.next = Next::kCopyLog;
  }
  return run;
}

// Where the run is once its tool has run: the copy made or not, the turn
// waited for.
Verdict JudgeAfterTheTool(const TaskFacts& facts) {
  Verdict run = JudgeToolRun(facts.tool);
  if (run.next == Next::kCopyLog) {
    if (!facts.copy.tried) {
      return run;
    }
    run.next = Next::kFinish;
    if (facts.copy.copied) {
      run.note.push_back(NotePiece{kNoteCopy, {facts.copy.path}});
    } else {
      run.note.push_back(NotePiece{kNoteCopyFailed, {facts.copy.folder}});
      if (run.status == kTaskDone) {
        run.status = kCopyFailed;
      }
    }
  }
  if (facts.turn.waited_s > 0) {
    run.note.push_back(NotePiece{kNoteWaited, {Decimal(facts.turn.waited_s)}});
  }
  return run;
}

Verdict JudgeRun(const TaskFacts& facts) {
  Verdict term = JudgeTerm(facts.term);
  if (term.next == Next::kFinish) {
    return term;
  }
  if (!facts.in_user_session) {
    return Finished(kNoUserSession, NoteOf(kNoteNoUserSession));
  }
  if (!facts.turn.tried) {
    return term;
  }
  if (facts.turn.unusable) {
    return Finished(
        kLogNotWritten,
        NoteOf(kNoteTurnUnusable, {Decimal(facts.turn.unusable_error)}));
  }
  if (facts.turn.timed_out) {
    return Finished(kLogHeld,
                    NoteOf(kNoteWaitedTooLong, {Decimal(facts.turn.bound_s)}));
  }
  if (!facts.tool.tried) {
    return Then(Next::kRunTool);
  }
  return JudgeAfterTheTool(facts);
}

// Why no old copy was removed, when that is not what KeepDays asked for.
Note ClearingNote(const Clearing& clearing, const KeepDays& keep) {
  switch (clearing.outcome) {
    case Clearing::kKeepDaysIgnored:
      return NoteOf(kNoteKeepDaysIgnored, {Ascii(keep.key)});
    case Clearing::kClockBeforeNewest:
      return NoteOf(kNoteClockBeforeNewestCopy, {Ascii(clearing.newest)});
    case Clearing::kClockFarPast:
      return NoteOf(kNoteClockFarPastNewestCopy,
                    {Ascii(clearing.newest), Decimal(keep.days)});
    default:
      return Note();
  }
}

}  // namespace

Verdict JudgeTask(const TaskFacts& facts) {
  Verdict verdict = JudgeRun(facts);
  if (verdict.next == Next::kFinish) {
    const Note clearing = ClearingNote(facts.clearing, facts.keep);
    verdict.note.insert(verdict.note.end(), clearing.begin(), clearing.end());
  }
  return verdict;
}

Verdict Recorded(Verdict verdict, unsigned long start_error,
                 unsigned long end_error) {
  const unsigned long error = start_error != 0 ? start_error : end_error;
  if (error != 0) {
    verdict.status = kEventNotWritten;
    verdict.note.insert(verdict.note.begin(),
                        NotePiece{kNoteEventNotWritten, {Decimal(error)}});
  }
  return verdict;
}

std::u16string Decimal(unsigned long value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

unsigned EndEventOf(int status) {
  return kEventRunEnded + static_cast<unsigned>(status);
}

unsigned BoundSeconds(const std::u16string* setting, unsigned longest) {
  if (setting == nullptr || setting->empty() || setting->size() > 4) {
    return longest;
  }
  unsigned seconds = 0;
  for (char16_t digit : *setting) {
    if (digit < u'0' || digit > u'9') {
      return longest;
    }
    seconds = seconds * 10 + static_cast<unsigned>(digit - u'0');
  }
  return seconds < longest ? seconds : longest;
}
