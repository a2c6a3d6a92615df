// What the task's runner asks of the platform: src/win/task_platform_win32.cc
// realises it on Windows, tests/fake/fake_task_platform.cc in memory for the
// tests. Files in c:\temp are opened, made and removed as the tool opens its
// log: whatever sits at a name is judged by the rules of tempdir/temp_files.h
// first, so a link, a junction or another name of some other file is
// refused, never followed, and nothing is removed by its name alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "task/verdict.h"
#include "tempdir/temp_files.h"

// An environment variable's value; false when it is not set.
bool ReadEnvironment(const char16_t* name, std::u16string* value);

// Whether this process runs in a signed-in user's session, on a desktop
// whose windows the tool can see (not session 0, where services and tasks
// run "whether the user is logged on or not").
bool InUserSession();

// The turn file, held open unshared while the run is this one's; given back
// when the value goes (and by the system if the run is stopped).
class HeldTurn {
 public:
  HeldTurn() = default;
  explicit HeldTurn(void* file) : file_(file) {}
  HeldTurn(HeldTurn&& other) noexcept : file_(other.file_) {
    other.file_ = nullptr;
  }
  HeldTurn& operator=(HeldTurn&& other) noexcept;
  HeldTurn(const HeldTurn&) = delete;
  HeldTurn& operator=(const HeldTurn&) = delete;
  ~HeldTurn() { GiveBack(); }
  bool held() const { return file_ != nullptr; }
  // The file's text: the user of a run in flight, else empty.
  std::string Text() const;
  void ReplaceText(const std::string& text) const;
  void GiveBack();

 private:
  void* file_ = nullptr;
};

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
TurnAttempt TakeTurn(const char* path);
// What HeldTurn asks of the turn file TakeTurn opened.
std::string ReadTurnFile(void* file);
void ReplaceTurnFileText(void* file, const std::string& text);
void CloseTurnFile(void* file);

// The log at path: missing (or refused), held by another process, or
// whether its last line is the end line.
LogState LookAtLog(const char* path);

enum class CopyOutcome { kCopied, kNameTaken, kFailed };
// Copies the log at path to copy_path, a file this call creates: when
// something is already at copy_path it is left untouched (kNameTaken); on
// any failure, a read error included, nothing is left (kFailed).
CopyOutcome CopyLog(const char* path, const std::string& copy_path);

// The names, without their folder, of the files matching pattern (one *
// in its last part).
std::vector<std::string> ListFiles(const char* pattern);
// Removes the file at path once it is opened and judged a plain file of
// that name in its folder; false, touching nothing, otherwise.
bool RemoveFile(const char* path);

// Appends text to the file at path, made when missing, in one write at its
// end; another process holding it briefly is waited for. False when the
// text could not be written.
bool AppendToFile(const char* path, const std::string& text);
// Reads the whole file at path, held unshared for writing, and replaces
// its text with what keep makes of it when that differs.
void RewriteFile(const char* path,
                 std::string (*keep)(const std::string& text,
                                     const LocalTime& today),
                 const LocalTime& today);

struct ProgramRun {
  bool started = false;
  unsigned long start_error = 0;
  unsigned long status = 0;
  std::string said;  // its standard output and error, as bytes
};
// Starts the program command_line names first, by its quoted full path,
// without a console window, its standard output and error captured, in a
// job that ends it if this program ends first, and waits until it ends.
ProgramRun RunWithoutConsole(const std::u16string& command_line);
// The full path of a file in the folder this program was started from.
std::u16string PathBesideThisProgram(const std::u16string& name);

// The signed-in user's name, in code page 932.
std::string UserName();
LocalTime Now();
void PauseSeconds(unsigned seconds);
// Shows a note (code page 932) to whoever started the runner: on its
// standard output when it has one (a file or a pipe), otherwise on the
// console of the program that started it; a task has neither.
void ShowNote(const std::string& note);
