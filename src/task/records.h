// What the task's runner keeps beside the log in c:\temp, in forms that
// read the same on every PC, whatever its users' regional formats: the
// history of runs and who started the run in flight.
#pragma once

#include <string>

#include "tempdir/temp_files.h"

// "yyyy/MM/dd HH:mm:ss <user> <status> <note>" and CR LF; status is a
// number or "-". The user and the note are in code page 932. A user name
// that is empty or holds a space is written in quotation marks, which no
// Windows user name holds, so that every name reads back as written.
std::string HistoryLine(const LocalTime& time, const std::string& user,
                        const std::string& status, const std::string& note);

// The history without its lines dated more than kHistoryKeepDays days
// before today; a line of no date is kept.
std::string RecentHistory(const std::string& history, const LocalTime& today);
constexpr unsigned kHistoryKeepDays = 366;

// The user of the run in flight as the turn file keeps them, and as it gives
// them back: the file's first line. An empty file says that no run is in
// flight: the last one was recorded.
std::string StarterFileText(const std::string& user);
std::string StarterFromFile(const std::string& text);

// How long a run waits for its turn: the longest wait, 3600 s, unless
// TESMARINDS_WAIT_SECONDS (given as setting, null when unset) asks for a
// shorter one in whole seconds, as the tests do.
unsigned WaitBoundSeconds(const std::u16string* setting);
