// What the task's runner asks of the platform; src/win/task_platform_win32.cc
// realises it. Files in c:\temp are opened as the tool opens its log: a
// link, a junction or another name of some other file found at a name is
// refused, not followed.
#pragma once

#include <string>

#include "task/records.h"
#include "task/verdict.h"
#include "winsys/window_system.h"

// HKLM\SOFTWARE\tesmarinds value Term (REG_SZ) in UTF-16, from the 64-bit
// registry view, else the 32-bit one; false when neither holds one.
bool ReadTermFromRegistry(std::u16string* term);
// An environment variable's value; false when it is not set.
bool ReadEnvironment(const char16_t* name, std::u16string* value);

enum class Turn {
  kTaken,     // the turn file is this run's until GiveBackTurn
  kBusy,      // another process holds it, or it cannot be opened
  kNoFolder,  // c:\temp is missing: there are no turns
};
// Opens the turn file at path unshared and keeps it open; if the run is
// stopped, the system closes it and the turn is given back.
Turn TakeTurn(const char* path);
// Closes the turn file, if this run holds it.
void GiveBackTurn();

// The log at path: missing (or refused), held by another process, or
// whether its last line is the end line.
LogState LookAtLog(const char* path);
// Copies the log at path to a new file of that name in its folder,
// replacing one of the same name; false, leaving nothing, on failure.
bool CopyLog(const char* path, const std::string& copy_name);

// Appends text to the file at path, made when missing.
void AppendToFile(const char* path, const std::string& text);
// Makes the file at path hold text alone.
void ReplaceFileText(const char* path, const std::string& text);
// The first kilobyte of the file at path; empty when it cannot be read.
std::string ReadFileStart(const char* path);

struct ProgramRun {
  bool started = false;
  winsys::DWORD start_error = 0;
  winsys::DWORD status = 0;
  std::string said;  // its standard output and error, as bytes
};
// Starts the program command_line names first, by its quoted full path,
// without a console window, its standard output and error captured, and
// waits until it ends.
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
