#include "fake/fake_task_platform.h"

#include <string>
#include <vector>

#include "log/activity_log.h"
#include "support/bytes.h"

namespace fake {
namespace {

TaskMachine machine;

constexpr unsigned long kAccessDenied = 5;

ProgramRun WritesAnEndedLog(TaskMachine& pc) {
  pc.files[kLogPath] = TempFile{EndedLog()};
  ProgramRun run;
  run.started = true;
  return run;
}

// A file the rules take: there, neither a link nor held.
TempFile* Usable(const char* path) {
  auto found = machine.files.find(path);
  if (found == machine.files.end() || found->second.planted ||
      found->second.held) {
    return nullptr;
  }
  return &found->second;
}

std::string Cp932(const std::string& utf8) {
  std::string bytes;
  static_cast<void>(ConvertToCp932(utf8, &bytes));
  return bytes;
}

}  // namespace

TaskMachine& Machine() { return machine; }

void ResetMachine() {
  machine = TaskMachine();
  machine.tool = WritesAnEndedLog;
}

std::string EndedLog() { return Cp932("開始しました\r\n終了します\r\n"); }
std::string UnendedLog() { return Cp932("開始しました\r\n"); }

}  // namespace fake

using fake::machine;

RegistryValue ReadSetting(SettingsPlace place, const char16_t* name) {
  auto found = machine.registry.find({place, name});
  return found == machine.registry.end() ? RegistryValue() : found->second;
}

bool ReadEnvironment(const char16_t*, std::u16string*) { return false; }

bool InUserSession() { return machine.in_user_session; }

TurnAttempt TakeTurn(const char* path) {
  TurnAttempt attempt;
  if (!machine.temp_folder) {
    attempt.state = TurnAttempt::kNoFolder;
    return attempt;
  }
  fake::TempFile& file = machine.files[path];
  if (file.planted) {
    attempt.error = fake::kAccessDenied;
    return attempt;
  }
  if (file.held || machine.turn_held) {
    attempt.state = TurnAttempt::kBusy;
    return attempt;
  }
  machine.turn_held = true;
  attempt.state = TurnAttempt::kTaken;
  attempt.held = HeldTurn(&file);
  return attempt;
}

std::string ReadTurnFile(void* file) {
  return static_cast<fake::TempFile*>(file)->text;
}

void ReplaceTurnFileText(void* file, const std::string& text) {
  static_cast<fake::TempFile*>(file)->text = text;
}

void CloseTurnFile(void*) { machine.turn_held = false; }

LogState LookAtLog(const char* path) {
  auto found = machine.files.find(path);
  if (found == machine.files.end() || found->second.planted) {
    return LogState::kMissing;
  }
  if (found->second.held) {
    return LogState::kHeld;
  }
  return EndsWithEndLine(found->second.text) ? LogState::kEnded
                                             : LogState::kUnended;
}

CopyOutcome CopyLog(const char* path, const std::string& copy_path) {
  const fake::TempFile* from = fake::Usable(path);
  if (from == nullptr || from->read_fails) {
    return CopyOutcome::kFailed;
  }
  if (machine.files.count(copy_path) != 0) {
    return CopyOutcome::kNameTaken;
  }
  machine.files[copy_path] = fake::TempFile{from->text};
  return CopyOutcome::kCopied;
}

std::vector<std::string> ListFiles(const char* pattern) {
  const std::string wanted = pattern;
  const std::string prefix = wanted.substr(0, wanted.find('*'));
  const std::string suffix = wanted.substr(wanted.find('*') + 1);
  std::vector<std::string> names;
  for (const auto& [path, file] : machine.files) {
    if (path.size() >= prefix.size() + suffix.size() &&
        path.compare(0, prefix.size(), prefix) == 0 &&
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
      names.push_back(path.substr(sizeof kTempFolder - 1));
    }
  }
  return names;
}

bool RemoveFile(const char* path) {
  if (fake::Usable(path) == nullptr) {
    return false;
  }
  machine.files.erase(path);
  machine.removed.emplace_back(path);
  return true;
}

bool AppendToFile(const char* path, const std::string& text) {
  if (!machine.temp_folder) {
    return false;
  }
  fake::TempFile& file = machine.files[path];
  if (file.planted || file.held) {
    return false;
  }
  file.text += text;
  return true;
}

void RewriteFile(const char* path,
                 std::string (*keep)(const std::string& text,
                                     const LocalTime& today),
                 const LocalTime& today) {
  fake::TempFile* file = fake::Usable(path);
  if (file != nullptr) {
    file->text = keep(file->text, today);
  }
}

ProgramRun RunWithoutConsole(const std::u16string& command_line) {
  machine.command_lines.push_back(command_line);
  return machine.tool(machine);
}

std::u16string PathBesideThisProgram(const std::u16string& name) {
  return u"C:\\Program Files\\tesmarinds\\" + name;
}

std::string UserName() { return machine.user; }
LocalTime Now() { return machine.clock; }
void PauseSeconds(unsigned seconds) { machine.paused_s += seconds; }
void ShowNote(const std::string& note) { machine.note_shown = note; }
