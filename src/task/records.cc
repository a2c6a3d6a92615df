#include "task/records.h"

#include <string>

namespace {

// A task's time limit is 2 hours: this wait and the longest run fit in it.
constexpr unsigned kLongestWaitS = 3600;

std::string AsWrittenInHistory(const std::string& user) {
  if (user.empty() || user.find(' ') != std::string::npos) {
    return "\"" + user + "\"";
  }
  return user;
}

// The day a history line starts with, as days since 1970; false when the
// line starts with no "yyyy/MM/dd ".
bool DayOfLine(const std::string& line, long* day) {
  if (line.size() < 11 || line[4] != '/' || line[7] != '/' || line[10] != ' ') {
    return false;
  }
  const int year = NumberAt(line.c_str(), 4);
  const int month = NumberAt(line.c_str() + 5, 2);
  const int day_of_month = NumberAt(line.c_str() + 8, 2);
  if (year < 0 || month < 0 || day_of_month < 0) {
    return false;
  }
  *day = DaysSinceEpoch(year, month, day_of_month);
  return true;
}

}  // namespace

std::string HistoryLine(const LocalTime& time, const std::string& user,
                        const std::string& status, const std::string& note) {
  return ZeroPadded(time.year, 4) + "/" + ZeroPadded(time.month, 2) + "/" +
         ZeroPadded(time.day, 2) + " " + ZeroPadded(time.hour, 2) + ":" +
         ZeroPadded(time.minute, 2) + ":" + ZeroPadded(time.second, 2) + " " +
         AsWrittenInHistory(user) + " " + status + " " + note + "\r\n";
}

std::string RecentHistory(const std::string& history, const LocalTime& today) {
  const long oldest_kept =
      DaysSinceEpoch(today.year, today.month, today.day) - kHistoryKeepDays;
  std::string kept;
  std::string::size_type at = 0;
  while (at < history.size()) {
    std::string::size_type end = history.find('\n', at);
    end = end == std::string::npos ? history.size() : end + 1;
    const std::string line = history.substr(at, end - at);
    long day = 0;
    if (!DayOfLine(line, &day) || day >= oldest_kept) {
      kept += line;
    }
    at = end;
  }
  return kept;
}

// A user whose name could not be read still marks a run in flight.
std::string StarterFileText(const std::string& user) {
  return (user.empty() ? std::string("?") : user) + "\r\n";
}

std::string StarterFromFile(const std::string& text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

unsigned WaitBoundSeconds(const std::u16string* setting) {
  if (setting == nullptr || setting->empty() || setting->size() > 4) {
    return kLongestWaitS;
  }
  unsigned seconds = 0;
  for (char16_t digit : *setting) {
    if (digit < u'0' || digit > u'9') {
      return kLongestWaitS;
    }
    seconds = seconds * 10 + static_cast<unsigned>(digit - u'0');
  }
  return seconds < kLongestWaitS ? seconds : kLongestWaitS;
}
