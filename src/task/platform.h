// What the task's runner asks of the platform, by the places it keeps
// things: c:\temp (the turn and the tool's log, which every user of the PC
// shares), the user's own folder (the dated copies of the log), the
// Application event log (the run's start and end), and the tool's run.
// src/win/ realises it on Windows, tests/fake/fake_task_platform.cc in
// memory for the tests. Files are opened, made and removed only through
// handles judged by the rules of tempdir/temp_files.h: a link, a junction
// or another name of some other file is refused, never followed, and
// nothing is removed by its name alone.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "task/copies.h"
#include "task/verdict.h"

// An environment variable's value; false when it is not set.
bool ReadEnvironment(const char16_t* name, std::u16string* value);

// The session this process runs in: 0 is where services and the tasks run
// as SYSTEM or "whether the user is logged on or not" run, with no user's
// windows to see.
unsigned long SessionId();
unsigned long ProcessId();
// The signed-in user's name; empty when it cannot be read.
std::u16string UserName();
LocalTime Now();
void PauseSeconds(unsigned seconds);

// --- c:\temp, reached through one handle on the folder a run ---

// The turn file, held open unshared while the run is this one's and given
// back when the HeldTurn goes (by the system if the run is stopped). Its
// text is never read: every user of the PC may write it.
struct Turn;
void GiveBackTurn(Turn* turn);
struct TurnGiver {
  void operator()(Turn* turn) const { GiveBackTurn(turn); }
};
using HeldTurn = std::unique_ptr<Turn, TurnGiver>;

struct TurnAttempt {
  enum State {
    kTaken,     // held is this run's turn
    kBusy,      // another process holds the file (a sharing violation)
    kNoFolder,  // c:\temp is missing: there are no turns
    kUnusable,  // any other failure, error telling which
  } state = kUnusable;
  unsigned long error = 0;
  HeldTurn held;
};
TurnAttempt TakeTurn();

// The tool's log: missing (or refused), held by another process, empty, or
// whether its last line is the end line.
LogState LookAtLog();

enum class CopyOutcome { kCopied, kNameTaken, kFailed };
// Copies the tool's log into the user's folder (made when missing) as a new
// file of that name, then empties the log, so that the next user of the PC
// finds none of this run's titles in c:\temp. Something already at the name
// is left untouched (kNameTaken); on any failure, a read error included,
// no copy is left and the log is as it was (kFailed).
CopyOutcome CopyLogAway(const std::string& name);

// --- the user's own folder, %LOCALAPPDATA%\tesmarinds ---

// Its full path, ending in a backslash.
std::u16string UserFolder();
// The names of its files matching pattern (one * in it).
std::vector<std::string> ListUserFiles(const char* pattern);
// Removes the file of that name once it is opened and judged a plain file
// of that name in the folder; false, touching nothing, otherwise.
bool RemoveUserFile(const std::string& name);

// --- the Application event log, source tesmarinds ---

enum class EventLevel { kInformation, kWarning, kError };
// Writes the event of the runner's message table, with its inserts and the
// running user as its user; 0 when written, else the error.
unsigned long WriteEvent(unsigned event, EventLevel level,
                         const std::vector<std::u16string>& inserts);
// The note's pieces in Japanese, from the same message table, on one line.
std::u16string NoteText(const Note& note);
// Shows a note to whoever started the runner: on its standard output when
// it has one (a file or a pipe, in code page 932), otherwise on the console
// of the program that started it; a task has neither.
void ShowNote(const std::u16string& note);

// --- the tool's run ---

struct ProgramRun {
  bool started = false;
  unsigned long start_error = 0;
  unsigned long job_error = 0;  // the job could not be made or joined
  bool ran_too_long = false;    // still running at the bound, and ended
  unsigned long status = 0;
  std::u16string said;  // its standard output, read as code page 932
};
// Starts the program command_line names first, by its quoted full path,
// without a console window, its standard output captured and nothing else
// of this program's passed on, in a job that ends it if this program ends
// first or it runs past bound_s seconds, and waits until it ends.
ProgramRun RunWithoutConsole(const std::u16string& command_line,
                             unsigned bound_s);
// The full path of a file in the folder this program was started from.
std::u16string PathBesideThisProgram(const std::u16string& name);
