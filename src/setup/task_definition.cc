#include "setup/task_definition.h"

#include <algorithm>

namespace setup {
namespace {

bool IsDigit(char16_t unit) { return unit >= u'0' && unit <= u'9'; }

bool IsLetter(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z');
}

// The code unit as U+XXXX.
std::string CodePoint(char16_t unit) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "U+0000";
  std::size_t digit = text.size();
  for (unsigned bits = unit; bits != 0; bits >>= 4) {
    text[--digit] = kDigits[bits & 0xF];
  }
  return text;
}

// The first code unit XML 1.0 forbids (a control character other than tab,
// CR and LF, U+FFFE, U+FFFF, a surrogate without its pair); npos if none.
std::size_t ForbiddenInXml(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (high || low || unit == 0xFFFE || unit == 0xFFFF ||
               (unit < 0x20 && unit != u'\t' && unit != u'\r' &&
                unit != u'\n')) {
      return i;
    }
  }
  return std::u16string_view::npos;
}

// Only element text is escaped: the folder never goes into an attribute.
std::u16string EscapedForXml(std::u16string_view text) {
  std::u16string escaped;
  for (char16_t unit : text) {
    switch (unit) {
      case u'&':
        escaped += u"&amp;";
        break;
      case u'<':
        escaped += u"&lt;";
        break;
      case u'>':
        escaped += u"&gt;";
        break;
      default:
        escaped += unit;
    }
  }
  return escaped;
}

// The settings are those of the task 1.2.0 to 1.4.0 registered from a
// template file; only the start time and the folder are filled in.
constexpr char16_t kBeforeStart[] =
    u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
    u"<Task version=\"1.2\" "
    u"xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
    u"  <RegistrationInfo>\r\n"
    u"    <Description>tesmarinds: tesmarinds-task.exe asks the windows whose"
    u" title holds HKLM\\SOFTWARE\\tesmarinds\\Term to close.</Description>\r\n"
    u"  </RegistrationInfo>\r\n"
    u"  <Triggers>\r\n"
    u"    <CalendarTrigger>\r\n"
    u"      <StartBoundary>2026-01-01T";
constexpr char16_t kBeforeFolder[] =
    u":00</StartBoundary>\r\n"
    u"      <ScheduleByDay>\r\n"
    u"        <DaysInterval>1</DaysInterval>\r\n"
    u"      </ScheduleByDay>\r\n"
    u"    </CalendarTrigger>\r\n"
    u"  </Triggers>\r\n"
    u"  <Principals>\r\n"
    u"    <Principal id=\"Users\">\r\n"
    u"      <GroupId>S-1-5-32-545</GroupId>\r\n"
    u"      <RunLevel>LeastPrivilege</RunLevel>\r\n"
    u"    </Principal>\r\n"
    u"  </Principals>\r\n"
    u"  <Settings>\r\n"
    u"    <MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>\r\n"
    u"    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
    u"    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
    u"    <ExecutionTimeLimit>PT2H</ExecutionTimeLimit>\r\n"
    u"    <Enabled>true</Enabled>\r\n"
    u"  </Settings>\r\n"
    u"  <Actions Context=\"Users\">\r\n"
    u"    <Exec>\r\n"
    u"      <Command>\"";
constexpr char16_t kAfterFolder[] =
    u"tesmarinds-task.exe\"</Command>\r\n"
    u"    </Exec>\r\n"
    u"  </Actions>\r\n"
    u"</Task>\r\n";

}  // namespace

bool IsStartTime(std::u16string_view start) {
  if (start.size() != 5 || start[2] != u':') {
    return false;
  }
  return IsDigit(start[0]) && IsDigit(start[1]) && IsDigit(start[3]) &&
         IsDigit(start[4]) && start.substr(0, 2) <= u"23" &&
         start.substr(3, 2) <= u"59";
}

std::u16string StartTimeOf(std::u16string_view start_boundary) {
  size_t time = start_boundary.find(u'T');
  if (time == std::u16string_view::npos) {
    return {};
  }
  std::u16string_view start = start_boundary.substr(time + 1, 5);
  return IsStartTime(start) ? std::u16string(start) : std::u16string();
}

std::u16string TaskDefinition(const Registration& registration) {
  std::u16string definition = kBeforeStart;
  definition += registration.start;
  definition += kBeforeFolder;
  definition += EscapedForXml(registration.folder);
  definition += kAfterFolder;
  return definition;
}

bool SplitRegistrationData(std::u16string_view data,
                           Registration* registration) {
  size_t bar = data.find(u'|');
  if (bar == std::u16string_view::npos) {
    return false;
  }
  registration->start = data.substr(0, bar);
  registration->folder = data.substr(bar + 1);
  return true;
}

std::string FolderNameProblem(std::u16string_view folder) {
  if (folder.substr(0, 2) == u"\\\\") {
    return "it is on the network (\\\\server\\share), not on a local drive";
  }
  if (folder.size() < 3 || !IsLetter(folder[0]) || folder[1] != u':' ||
      folder[2] != u'\\') {
    return "it is not a full path on a local drive, such as C:\\Tools";
  }
  const std::size_t forbidden = ForbiddenInXml(folder);
  if (forbidden != std::u16string_view::npos) {
    return "it holds " + CodePoint(folder[forbidden]) +
           ", which XML 1.0 forbids and so the task's definition cannot hold";
  }
  const std::vector<std::u16string> names = FolderPath(folder);
  if (std::any_of(names.begin(), names.end(), [](const std::u16string& name) {
        return name == u"." || name == u"..";
      })) {
    return "it names a folder . or ..";
  }
  return std::string();
}

std::vector<std::u16string> FolderPath(std::u16string_view folder) {
  std::vector<std::u16string> names;
  std::size_t start = 0;
  while (start < folder.size()) {
    std::size_t end = folder.find(u'\\', start);
    if (end == std::u16string_view::npos) {
      end = folder.size();
    }
    if (end > start) {
      names.emplace_back(folder.substr(start, end - start));
    }
    start = end + 1;
  }
  return names;
}

}  // namespace setup
