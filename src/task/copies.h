// The dated copies of the tool's log that each run keeps in its user's own
// folder, and which of them a run removes: their names, and the rules that
// keep a wrong clock or a wrong setting from removing what should stay.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The local clock, as the system gives it.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The copy's name: "Tesmarind-yyyyMMdd-HHmmss.txt" for the first try,
// "Tesmarind-yyyyMMdd-HHmmss-<try>.txt" from the second.
std::string CopyName(const LocalTime& time, int attempt = 1);
// How many names a copy is tried under before the copy counts as failed: a
// run of the same second, or a clock set back, takes one.
constexpr int kCopyNameAttempts = 9;
// What the user's folder is searched with for copies.
constexpr char kCopyPattern[] = "Tesmarind-*.txt";

// The days from 1970-01-01 to the date, in the proleptic Gregorian calendar.
std::int64_t DaysSinceEpoch(int year, int month, int day);

// How many days the copies are kept: KeepDays, when it is set and is a
// number the rule takes (0 keeps them all).
struct KeepDays {
  bool usable = true;
  std::uint32_t days = 31;
  // The registry key of a KeepDays that is not usable.
  std::string key;
};

struct Clearing {
  enum Outcome {
    kCleared,            // expired holds what is older than the days kept
    kKeepAll,            // KeepDays 0
    kKeepDaysIgnored,    // a KeepDays the rule refuses: nothing removed
    kClockBeforeNewest,  // today is earlier than the newest copy
    kClockFarPast,       // so far past the newest copy that all would go
  } outcome = kCleared;
  std::vector<std::string> expired;
  std::string newest;  // the newest copy before this run's
};

// Which of the names in the user's folder go today. Only names of the
// copies' form count; this run's own copy is never one, and never the
// newest. Nothing goes when the clock cannot account for the copies there:
// a day earlier than the newest copy's, or one so far past it that every
// copy would go, is taken for a clock gone wrong, not for time gone by.
Clearing PlanClearing(const std::vector<std::string>& names,
                      const std::string& this_runs_copy,
                      const LocalTime& today, const KeepDays& keep);
