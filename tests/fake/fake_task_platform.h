// An in-memory PC behind the runner's seam (task/platform.h): the registry's
// settings, the files of c:\temp and of the user's own folder (free, held
// by another process, planted as a link or folder the rules refuse, or
// failing to read), the event log, a clock, and the tool's run as a script,
// with what the runner did kept for tests to read.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "task/platform.h"

namespace fake {

struct TempFile {
  std::string text;
  bool held = false;        // open in another process, unshared
  bool planted = false;     // a link, junction or folder: always refused
  bool read_fails = false;  // reading it fails part way
};

struct Event {
  unsigned id = 0;
  EventLevel level = EventLevel::kInformation;
  std::vector<std::u16string> inserts;
};

struct TaskMachine {
  std::map<std::pair<SettingsPlace, std::u16string>, RegistryValue> registry;
  unsigned long session = 1;
  bool temp_folder = true;
  // c:\temp's files and the user's folder's, by name.
  std::map<std::string, TempFile> temp;
  std::map<std::string, TempFile> copies;
  bool user_folder = true;
  LocalTime clock{2026, 12, 9, 18, 0, 0};
  std::u16string user = u"tanaka";
  // What writing an event fails with; 0 writes it.
  unsigned long event_error = 0;
  // The tool's run: what it returns, after doing to the machine what a run
  // does; by default it writes a log that ends with the end line.
  std::function<ProgramRun(TaskMachine&)> tool;

  // What the runner did.
  std::vector<std::u16string> command_lines;
  std::vector<unsigned> tool_bounds_s;
  std::vector<std::string> removed;
  std::vector<Event> events;
  unsigned paused_s = 0;
  std::u16string note_shown;
  bool turn_held = false;

  void SetSetting(SettingsPlace place, const std::u16string& name,
                  RegistryValue value) {
    registry[{place, name}] = std::move(value);
  }
};

// The machine the seam acts on; Reset gives a fresh one.
TaskMachine& Machine();
void ResetMachine();

// A log as the tool leaves it, ended or stopped after its start line
// (code page 932).
std::string EndedLog();
std::string UnendedLog();

// How the double shows a note: each piece as #<message>(<inserts>), the
// inserts joined by "|".
std::u16string Shown(const Note& note);

constexpr char16_t kUserFolder[] =
    u"C:\\Users\\tanaka\\AppData\\Local\\tesmarinds\\";

}  // namespace fake
