// What the task's runner decides, apart from the platform: from the facts
// it has gathered so far (the term, its turn, the tool's run, the copy of
// the log) what it does next, and once it is done, the status it ends with
// and the note of its history line.
#pragma once

#include <cstddef>
#include <string>

#include "winsys/window_system.h"

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

// The tool's log, as the runner finds it.
enum class LogState {
  kMissing,  // nothing there, or what the log's own rules refuse
  kHeld,     // open in another process, as a run holds it
  kUnended,  // its last line is not the end line
  kEnded,
};

struct TermFacts {
  int arguments = 0;   // given to the runner after its own name
  bool found = false;  // in the one argument, or in the registry
  std::u16string text;
  // The registry key whose Term decided, when that value is not text.
  std::string not_text_in;
};

struct TurnFacts {
  bool tried = false;
  bool timed_out = false;  // others kept the turn or the log past the bound
  unsigned waited_s = 0;
  unsigned bound_s = 0;
  // Why the turn file could not be opened, when not because another run
  // holds it: no wait can mend that.
  unsigned long unusable_error = 0;
};

struct ToolFacts {
  bool tried = false;
  bool started = false;
  winsys::DWORD start_error = 0;  // why it could not be started
  winsys::DWORD status = 0;
  std::string said;  // its console messages, in code page 932
  LogState log = LogState::kMissing;
};

struct CopyFacts {
  bool tried = false;
  bool copied = false;
  std::string name;
};

struct TaskFacts {
  TermFacts term;
  // In a signed-in user's session, whose windows the tool can see.
  bool in_user_session = true;
  TurnFacts turn;
  ToolFacts tool;
  CopyFacts copy;
};

enum class Next { kTakeTurn, kRunTool, kCopyLog, kFinish };

struct Verdict {
  Next next = Next::kFinish;
  // Once next is kFinish: the exit status and the note, in code page 932.
  int status = kTaskDone;
  std::string note;
};

Verdict JudgeTask(const TaskFacts& facts);

// The note of the "-" line for a run whose runner was stopped before it
// recorded the run, naming who started it (code page 932, as remembered):
// its log did not reach its end line, or it did and copy tells how its
// copy went.
std::string StoppedRunNote(const std::string& starter);
std::string StoppedBeforeRecordNote(const std::string& starter,
                                    const CopyFacts& copy);

// The longest term the runner hands on, in UTF-16 code units: far more than
// the tool's 32 bytes, far less than a command line holds.
constexpr std::size_t kLongestTerm = 256;
