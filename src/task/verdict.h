// What the task's runner decides, apart from the platform: from the facts
// it has gathered so far (the term, its turn, the tool's run, the copy of
// the log, the old copies cleared) what it does next, and once it is done,
// the status it ends with and the note its end event and its console give.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "task/copies.h"

// The runner's exit statuses, which Task Scheduler shows as its last result.
constexpr int kTaskDone = 0;
constexpr int kTermRejected = 1;
constexpr int kNoTerm = 2;
constexpr int kLogNotWritten = 3;
constexpr int kRunNotEnded = 4;
constexpr int kLogHeld = 5;
constexpr int kCopyFailed = 6;
// Not in a signed-in user's session: there are no windows of a user to ask.
constexpr int kNoUserSession = 7;
// The run could not be recorded in the event log, whatever else it did.
constexpr int kEventNotWritten = 8;

// A piece of a note: a message of the runner's message table (messages.mc)
// and its inserts, %1 onwards.
struct NotePiece {
  unsigned message = 0;
  std::vector<std::u16string> inserts;
};
using Note = std::vector<NotePiece>;

// The tool's log, as the runner finds it.
enum class LogState {
  kMissing,  // nothing there, or what the log's own rules refuse
  kHeld,     // open in another process, as a run holds it
  kEmpty,    // no line at all: no run wrote it since it was last copied
  kUnended,  // its last line is not the end line
  kEnded,
};

enum class TermSource { kNone, kArgument, kPolicy, kPackage };

struct TermFacts {
  int arguments = 0;  // given to the runner after its own name
  TermSource source = TermSource::kNone;
  std::u16string text;
  // The registry key whose Term decided, when that value is not text.
  std::string not_text_in;
};

struct TurnFacts {
  bool tried = false;
  bool timed_out = false;  // others kept the turn or the log past the bound
  unsigned waited_s = 0;
  unsigned bound_s = 0;
  // The turn file could not be opened, and not because another run holds
  // it: no wait can mend that.
  bool unusable = false;
  unsigned long unusable_error = 0;
};

struct ToolFacts {
  bool tried = false;
  bool started = false;
  unsigned long start_error = 0;  // why it could not be started
  // A job call that failed: the tool was ended before it began.
  unsigned long job_error = 0;
  // Still running at the bound, and ended there.
  bool ran_too_long = false;
  unsigned bound_s = 0;
  unsigned long status = 0;
  std::u16string said;  // its standard output
  LogState log = LogState::kMissing;
};

struct CopyFacts {
  bool tried = false;
  bool copied = false;
  std::u16string folder;  // the user's folder it goes into
  std::string name;       // of the copy made
  std::u16string path;    // of the copy made: the folder and the name
};

struct TaskFacts {
  TermFacts term;
  // In a signed-in user's session, whose windows the tool can see.
  bool in_user_session = true;
  TurnFacts turn;
  ToolFacts tool;
  CopyFacts copy;
  Clearing clearing;
  KeepDays keep;
};

enum class Next { kTakeTurn, kRunTool, kCopyLog, kFinish };

struct Verdict {
  Next next = Next::kFinish;
  // Once next is kFinish: the exit status and the note.
  int status = kTaskDone;
  Note note;
};

Verdict JudgeTask(const TaskFacts& facts);

// The verdict once the run's events were written or not (start_error and
// end_error 0 when written): a run that could not be recorded says so first
// and ends kEventNotWritten, the fleet's one other channel.
Verdict Recorded(Verdict verdict, unsigned long start_error,
                 unsigned long end_error);

// The event a run's end is recorded as: 1100 and the status.
unsigned EndEventOf(int status);

// A number as an event's insert or a note's: its decimal digits.
std::u16string Decimal(unsigned long value);

// The longest term the runner hands on, in UTF-16 code units: far more than
// the tool's 32 bytes, far less than a command line holds.
constexpr std::size_t kLongestTerm = 256;

// A bound in seconds: longest, unless setting (an environment variable's
// value, null when unset) asks for a shorter one in whole seconds, as the
// tests do.
unsigned BoundSeconds(const std::u16string* setting, unsigned longest);
