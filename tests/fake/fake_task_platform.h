// An in-memory PC behind the runner's seam (task/platform.h): the registry's
// settings, the files of c:\temp (free, held by another process, planted as
// a link or folder the rules refuse, or failing to read), a clock, and the
// tool's run as a script, with what the runner did kept for tests to read.
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

struct TaskMachine {
  std::map<std::pair<SettingsPlace, std::u16string>, RegistryValue> registry;
  bool in_user_session = true;
  bool temp_folder = true;
  // c:\temp's files, by full path as the runner names them.
  std::map<std::string, TempFile> files;
  LocalTime clock{2026, 12, 9, 18, 0, 0};
  std::string user = "tanaka";
  // The tool's run: what it returns, after doing to the machine what a run
  // does; by default it writes a log that ends with the end line.
  std::function<ProgramRun(TaskMachine&)> tool;

  // What the runner did.
  std::vector<std::u16string> command_lines;
  std::vector<std::string> removed;
  unsigned paused_s = 0;
  std::string note_shown;
  bool turn_held = false;

  void SetSetting(SettingsPlace place, const std::u16string& name,
                  RegistryValue value) {
    registry[{place, name}] = std::move(value);
  }
  std::string& Text(const std::string& path) { return files[path].text; }
};

// The machine the seam acts on; Reset gives a fresh one.
TaskMachine& Machine();
void ResetMachine();

// A log as the tool leaves it, ended or stopped after its start line
// (code page 932).
std::string EndedLog();
std::string UnendedLog();

}  // namespace fake
