#include "tempdir/temp_files.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr std::uint32_t kAttributeDirectory = 0x00000010U;
constexpr std::uint32_t kAttributeReparsePoint = 0x00000400U;

constexpr char kCopyPrefix[] = "Tesmarind-";
constexpr char kCopySuffix[] = ".txt";

}  // namespace

std::string ZeroPadded(int value, int width) {
  char text[16];
  static_cast<void>(std::snprintf(text, sizeof text, "%0*d", width, value));
  return text;
}

int NumberAt(const char* digits, int count) {
  int number = 0;
  for (int i = 0; i < count; ++i) {
    const char digit = digits[i];
    if (digit < '0' || digit > '9') {
      return -1;
    }
    number = number * 10 + (digit - '0');
  }
  return number;
}

// Refused: a file the platform cannot describe; another name of some other
// file (a hard link); a link, junction or other reparse point; a folder; a
// handle that ended up at a file of another name or in another folder. The
// folder itself may be a link (a c:\temp kept on another drive): what
// counts is that the file is really in it, under the name asked for.
LogFileVerdict JudgeOpenedLogFile(const OpenedLogFile& file) {
  if (!file.described || file.link_count > 1 ||
      (file.attributes & (kAttributeReparsePoint | kAttributeDirectory)) != 0 ||
      !file.final_name_matches) {
    return RefusalOf(file);
  }
  return LogFileVerdict::kUse;
}

// A refused file leaves nothing behind, as one that cannot be created does;
// what was there before is never touched.
LogFileVerdict RefusalOf(const OpenedLogFile& file) {
  return file.created ? LogFileVerdict::kRefuseAndDelete
                      : LogFileVerdict::kRefuse;
}

std::string CopyName(const LocalTime& time, int attempt) {
  std::string name = kCopyPrefix + ZeroPadded(time.year, 4) +
                     ZeroPadded(time.month, 2) + ZeroPadded(time.day, 2) + "-" +
                     ZeroPadded(time.hour, 2) + ZeroPadded(time.minute, 2) +
                     ZeroPadded(time.second, 2);
  if (attempt > 1) {
    name += "-" + std::to_string(attempt);
  }
  return name + kCopySuffix;
}

// Only "Tesmarind-yyyyMMdd-HHmmss.txt" and its "-<digit>" forms: the log,
// the history, the turn and starter files, and whatever else someone put
// in the folder, are never copies.
bool IsExpiredCopy(const std::string& name, const LocalTime& today,
                   unsigned keep_days) {
  const std::string::size_type prefix = sizeof kCopyPrefix - 1;
  const std::string::size_type stamp = prefix + 15;  // yyyyMMdd-HHmmss
  const std::string suffix = kCopySuffix;
  if (keep_days == 0 || name.compare(0, prefix, kCopyPrefix) != 0 ||
      name.size() < stamp + suffix.size() || name[prefix + 8] != '-' ||
      NumberAt(name.c_str() + prefix + 9, 6) < 0) {
    return false;
  }
  const std::string rest = name.substr(stamp);
  if (rest != suffix &&
      !(rest.size() == 2 + suffix.size() && rest[0] == '-' && rest[1] >= '2' &&
        rest[1] <= '9' && rest.compare(2, 4, suffix) == 0)) {
    return false;
  }
  const int year = NumberAt(name.c_str() + prefix, 4);
  const int month = NumberAt(name.c_str() + prefix + 4, 2);
  const int day = NumberAt(name.c_str() + prefix + 6, 2);
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31) {
    return false;
  }
  return DaysSinceEpoch(today.year, today.month, today.day) -
             DaysSinceEpoch(year, month, day) >
         static_cast<long>(keep_days);
}

// Howard Hinnant's days_from_civil.
long DaysSinceEpoch(int year, int month, int day) {
  const long y = year - (month <= 2 ? 1 : 0);
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long year_of_era = y - era * 400;
  const long day_of_year =
      (153L * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const long day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}
