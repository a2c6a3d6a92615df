#include "task/copies.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr char kCopyPrefix[] = "Tesmarind-";
constexpr char kCopySuffix[] = ".txt";

std::string ZeroPadded(int value, int width) {
  char text[16];
  static_cast<void>(std::snprintf(text, sizeof text, "%0*d", width, value));
  return text;
}

// The number the count digits at digits write; -1 when one is not a digit.
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

// The day a copy's name gives, as days since 1970; false for any name not
// of the form "Tesmarind-yyyyMMdd-HHmmss.txt" or its "-<2 to 9>" forms: the
// copies of another program, or whatever else the user keeps there, are
// never copies.
bool CopyDay(const std::string& name, std::int64_t* day) {
  const std::string::size_type prefix = sizeof kCopyPrefix - 1;
  const std::string::size_type stamp = prefix + 15;  // yyyyMMdd-HHmmss
  const std::string suffix = kCopySuffix;
  if (name.compare(0, prefix, kCopyPrefix) != 0 ||
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
  const int day_of_month = NumberAt(name.c_str() + prefix + 6, 2);
  if (year < 0 || month < 1 || month > 12 || day_of_month < 1 ||
      day_of_month > 31) {
    return false;
  }
  *day = DaysSinceEpoch(year, month, day_of_month);
  return true;
}

}  // namespace

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

// Howard Hinnant's days_from_civil, in 64 bits whatever long is.
std::int64_t DaysSinceEpoch(int year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t year_of_era = y - era * 400;
  const std::int64_t day_of_year =
      (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

Clearing PlanClearing(const std::vector<std::string>& names,
                      const std::string& this_runs_copy,
                      const LocalTime& today, const KeepDays& keep) {
  Clearing clearing;
  if (!keep.usable) {
    clearing.outcome = Clearing::kKeepDaysIgnored;
    return clearing;
  }
  if (keep.days == 0) {
    clearing.outcome = Clearing::kKeepAll;
    return clearing;
  }
  const std::int64_t today_day =
      DaysSinceEpoch(today.year, today.month, today.day);
  std::int64_t newest_day = 0;
  for (const std::string& name : names) {
    std::int64_t day = 0;
    if (name == this_runs_copy || !CopyDay(name, &day)) {
      continue;
    }
    // Names of one form sort as their times do.
    if (clearing.newest.empty() || name > clearing.newest) {
      clearing.newest = name;
      newest_day = day;
    }
    if (today_day - day > keep.days) {
      clearing.expired.push_back(name);
    }
  }
  if (clearing.newest.empty()) {
    return clearing;
  }
  if (today_day < newest_day) {
    clearing.outcome = Clearing::kClockBeforeNewest;
  } else if (today_day - newest_day > keep.days) {
    clearing.outcome = Clearing::kClockFarPast;
  }
  if (clearing.outcome != Clearing::kCleared) {
    clearing.expired.clear();
  }
  return clearing;
}
