#include "task/records.h"

#include <cstdio>
#include <string>

namespace {

// A task's time limit is 2 hours: this wait and the longest run fit in it.
constexpr unsigned kLongestWaitS = 3600;

// Zero-padded to width digits.
std::string Digits(int value, int width) {
  char text[16];
  static_cast<void>(std::snprintf(text, sizeof text, "%0*d", width, value));
  return text;
}

}  // namespace

std::string HistoryLine(const LocalTime& time, const std::string& user,
                        const std::string& status, const std::string& note) {
  return Digits(time.year, 4) + "/" + Digits(time.month, 2) + "/" +
         Digits(time.day, 2) + " " + Digits(time.hour, 2) + ":" +
         Digits(time.minute, 2) + ":" + Digits(time.second, 2) + " " + user +
         " " + status + " " + note + "\r\n";
}

std::string CopyName(const LocalTime& time) {
  return "Tesmarind-" + Digits(time.year, 4) + Digits(time.month, 2) +
         Digits(time.day, 2) + "-" + Digits(time.hour, 2) +
         Digits(time.minute, 2) + Digits(time.second, 2) + ".txt";
}

std::string StarterFileText(const std::string& user) { return user + "\r\n"; }

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
