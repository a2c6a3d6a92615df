// The package's group task, \tesmarinds\close-windows, as the text Task
// Scheduler registers, the start time it is given or was given, and
// whether the install folder's name can go into it, apart from the
// platform: the custom actions in src/win/ hand these to Windows, the unit
// tests check them natively.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace setup {

// True for a daily start time of the form HH:MM, from 00:00 to 23:59.
bool IsStartTime(std::u16string_view start);

// The start time a registered task's trigger holds, as HH:MM, from its
// StartBoundary (2026-01-01T07:30:00); empty when it holds none of that form.
std::u16string StartTimeOf(std::u16string_view start_boundary);

// What the package registers the task with: the daily start time (HH:MM)
// and the install folder, ending with its backslash as INSTALLDIR does.
struct Registration {
  std::u16string start;
  std::u16string folder;
};

// The definition, as UTF-16 text for ITaskFolder::RegisterTask: every day at
// the start time, for the Users group, the folder's tesmarinds-task.exe.
std::u16string TaskDefinition(const Registration& registration);

// The registration data the package hands the deferred action, the start
// time and the install folder split at the first '|' (which no Windows path
// holds). False when there is no '|'.
bool SplitRegistrationData(std::u16string_view data,
                           Registration* registration);

// Why the install folder cannot be used, by its name alone: a folder not on
// a local drive (C:\...), or one holding a character XML 1.0 forbids, which
// the definition cannot hold (named as U+FFFE). Empty when it can be used.
std::string FolderNameProblem(std::u16string_view folder);

// The drive and the folders below it, each one's own name: C:, Program
// Files, tesmarinds for C:\Program Files\tesmarinds\. For a folder whose
// name FolderNameProblem takes.
std::vector<std::u16string> FolderPath(std::u16string_view folder);

}  // namespace setup
