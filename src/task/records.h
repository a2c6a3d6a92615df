// What the task's runner keeps beside the log in c:\temp, in forms that
// read the same on every PC, whatever its users' regional formats: the
// history of runs, the dated copies of the log, and who started the last
// run.
#pragma once

#include <string>

constexpr char kHistoryPath[] = "c:\\temp\\Tesmarind-history.txt";
constexpr char kStarterPath[] = "c:\\temp\\Tesmarind-user.txt";
// Held open, unshared, by the run whose turn it is.
constexpr char kTurnPath[] = "c:\\temp\\Tesmarind-turn.txt";

// The local clock, as the system gives it.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// "yyyy/MM/dd HH:mm:ss <user> <status> <note>" and CR LF; status is a
// number or "-". The user and the note are in code page 932.
std::string HistoryLine(const LocalTime& time, const std::string& user,
                        const std::string& status, const std::string& note);

// The dated copy's name: "Tesmarind-yyyyMMdd-HHmmss.txt".
std::string CopyName(const LocalTime& time);

// The user as the starter file keeps them, and as it gives them back: the
// file's first line.
std::string StarterFileText(const std::string& user);
std::string StarterFromFile(const std::string& text);

// How long a run waits for its turn: the longest wait, 3600 s, unless
// TESMARINDS_WAIT_SECONDS (given as setting, null when unset) asks for a
// shorter one in whole seconds, as the tests do.
unsigned WaitBoundSeconds(const std::u16string* setting);
