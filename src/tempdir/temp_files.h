// Everything about the files the tool and the task's runner keep in
// c:\temp: their names, and the rules that decide whether what an open
// found at a name may be used. The folder is open to other users on many
// machines, so nothing there is trusted by name: src/win/temp_files_win32.cc
// opens, creates and removes through handles judged by these rules, and the
// rules are here, apart from the platform, so that every one of them runs
// in the native tests.
#pragma once

#include <cstdint>
#include <string>

// c:\temp itself is never created by a run.
constexpr char kTempFolder[] = "c:\\temp\\";
constexpr char kLogPath[] = "c:\\temp\\Tesmarind.txt";
constexpr char kHistoryPath[] = "c:\\temp\\Tesmarind-history.txt";
// Held open, unshared, by the run whose turn it is, and holding the name of
// the user who started it until the run is recorded.
constexpr char kTurnPath[] = "c:\\temp\\Tesmarind-turn.txt";
// The dated copies' names all match this, and are in the log's folder.
constexpr char kCopyPattern[] = "c:\\temp\\Tesmarind-*.txt";

// How these files are opened (CreateFileA's flags and attributes): a link
// or junction at the name is opened itself, not followed, so that it can be
// seen and refused.
constexpr std::uint32_t kLogOpenFlags =
    0x00000080U     // FILE_ATTRIBUTE_NORMAL
    | 0x00200000U;  // FILE_FLAG_OPEN_REPARSE_POINT

// What the open file reports about itself.
struct OpenedLogFile {
  // This open made the file: nothing was at the name before.
  bool created = false;
  // The platform told the attributes and the link count.
  bool described = false;
  // FILE_ATTRIBUTE_* bits.
  std::uint32_t attributes = 0;
  // How many names the file has.
  std::uint32_t link_count = 0;
  // The path the handle really leads to ends in the name asked for,
  // compared as the file system compares names, and lies in the folder the
  // path names, as that folder itself really is.
  bool final_name_matches = false;
};

enum class LogFileVerdict {
  kUse,              // use it as the file of that name
  kRefuse,           // close it untouched
  kRefuseAndDelete,  // close and delete it: this open made it
};

// The verdict on a file just opened at one of these names.
LogFileVerdict JudgeOpenedLogFile(const OpenedLogFile& file);

// The verdict on a file given up after it was judged (it could not be
// emptied): refused, and deleted again when this open made it.
LogFileVerdict RefusalOf(const OpenedLogFile& file);

// The local clock, as the system gives it.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The dated copy's name, without its folder: "Tesmarind-yyyyMMdd-HHmmss.txt"
// for the first try, "Tesmarind-yyyyMMdd-HHmmss-<try>.txt" from the second.
std::string CopyName(const LocalTime& time, int attempt = 1);
// How many names a copy is tried under before the copy counts as failed.
constexpr int kCopyNameAttempts = 9;

// Whether name (without its folder) is a dated copy made more than
// keep_days days before today; other names never are. keep_days 0 keeps
// every copy.
bool IsExpiredCopy(const std::string& name, const LocalTime& today,
                   unsigned keep_days);

// The days from 1970-01-01 to the date, in the proleptic Gregorian calendar.
long DaysSinceEpoch(int year, int month, int day);

// The fixed forms' numbers: value zero-padded to width digits, and the
// number the count digits at digits write (-1 when one is not a digit).
std::string ZeroPadded(int value, int width);
int NumberAt(const char* digits, int count);
