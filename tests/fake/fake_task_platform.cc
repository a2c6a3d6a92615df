#include "fake/fake_task_platform.h"

#include <string>
#include <vector>

#include "log/activity_log.h"
#include "support/bytes.h"

namespace fake {
namespace {

TaskMachine machine;

constexpr unsigned long kAccessDenied = 5;
constexpr char kLog[] = "Tesmarind.txt";
constexpr char kTurn[] = "Tesmarind-turn.txt";

ProgramRun WritesAnEndedLog(TaskMachine& pc) {
  pc.temp[kLog] = TempFile{EndedLog()};
  ProgramRun run;
  run.started = true;
  return run;
}

// A file the rules take: there, neither a link nor held.
TempFile* Usable(std::map<std::string, TempFile>& files,
                 const std::string& name) {
  auto found = files.find(name);
  if (found == files.end() || found->second.planted || found->second.held) {
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

std::u16string Shown(const Note& note) {
  std::u16string text;
  for (const NotePiece& piece : note) {
    text += u"#" + Decimal(piece.message) + u"(";
    for (std::size_t i = 0; i < piece.inserts.size(); ++i) {
      text += (i == 0 ? u"" : u"|") + piece.inserts[i];
    }
    text += u")";
  }
  return text;
}

}  // namespace fake

using fake::machine;

struct Turn {};

RegistryValue ReadSetting(SettingsPlace place, const char16_t* name) {
  auto found = machine.registry.find({place, name});
  return found == machine.registry.end() ? RegistryValue() : found->second;
}

bool ReadEnvironment(const char16_t*, std::u16string*) { return false; }

unsigned long SessionId() { return machine.session; }
unsigned long ProcessId() { return 4242; }
std::u16string UserName() { return machine.user; }
LocalTime Now() { return machine.clock; }
void PauseSeconds(unsigned seconds) { machine.paused_s += seconds; }

void GiveBackTurn(Turn* turn) {
  machine.turn_held = false;
  delete turn;
}

TurnAttempt TakeTurn() {
  TurnAttempt attempt;
  if (!machine.temp_folder) {
    attempt.state = TurnAttempt::kNoFolder;
    return attempt;
  }
  fake::TempFile& file = machine.temp[fake::kTurn];
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
  attempt.held = HeldTurn(new Turn);
  return attempt;
}

LogState LookAtLog() {
  auto found = machine.temp.find(fake::kLog);
  if (!machine.temp_folder || found == machine.temp.end() ||
      found->second.planted) {
    return LogState::kMissing;
  }
  if (found->second.held) {
    return LogState::kHeld;
  }
  if (found->second.text.empty()) {
    return LogState::kEmpty;
  }
  return EndsWithEndLine(found->second.text) ? LogState::kEnded
                                             : LogState::kUnended;
}

CopyOutcome CopyLogAway(const std::string& name) {
  fake::TempFile* from = fake::Usable(machine.temp, fake::kLog);
  if (from == nullptr || from->read_fails || !machine.user_folder) {
    return CopyOutcome::kFailed;
  }
  if (machine.copies.count(name) != 0) {
    return CopyOutcome::kNameTaken;
  }
  machine.copies[name] = fake::TempFile{from->text};
  from->text.clear();
  return CopyOutcome::kCopied;
}

std::u16string UserFolder() { return fake::kUserFolder; }

std::vector<std::string> ListUserFiles(const char* pattern) {
  const std::string wanted = pattern;
  const std::string prefix = wanted.substr(0, wanted.find('*'));
  const std::string suffix = wanted.substr(wanted.find('*') + 1);
  std::vector<std::string> names;
  for (const auto& [name, file] : machine.copies) {
    if (name.size() >= prefix.size() + suffix.size() &&
        name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      names.push_back(name);
    }
  }
  return names;
}

bool RemoveUserFile(const std::string& name) {
  if (fake::Usable(machine.copies, name) == nullptr) {
    return false;
  }
  machine.copies.erase(name);
  machine.removed.push_back(name);
  return true;
}

unsigned long WriteEvent(unsigned event, EventLevel level,
                         const std::vector<std::u16string>& inserts) {
  if (machine.event_error == 0) {
    machine.events.push_back(fake::Event{event, level, inserts});
  }
  return machine.event_error;
}

std::u16string NoteText(const Note& note) { return fake::Shown(note); }

void ShowNote(const std::u16string& note) { machine.note_shown = note; }

ProgramRun RunWithoutConsole(const std::u16string& command_line,
                             unsigned bound_s) {
  machine.command_lines.push_back(command_line);
  machine.tool_bounds_s.push_back(bound_s);
  return machine.tool(machine);
}

std::u16string PathBesideThisProgram(const std::u16string& name) {
  return u"C:\\Program Files\\tesmarinds\\" + name;
}
