// The run's activity log: the one log stream, open for the whole run or
// absent for the whole run. Every writer is a no-op while it is absent.
#pragma once

#include <string>

// kLogPath, where the executable keeps its log.
#include "tempdir/temp_files.h"

// Creates path anew, held unshared until CloseActivityLog. Returns false,
// leaving the log absent, when it cannot be created or what is there is
// refused.
bool OpenActivityLog(const char* path);
bool IsActivityLogOpen();

void WriteStartLine();
void WriteWindowSeenLine(const char* title, const char* class_name);
void WriteWindowSelectedLine(const char* title);
// The system's text for a refused close (skipped when null), then the fixed
// failure line.
void WriteCloseRefusedLines(const char* system_text);
void WriteEndLine();

// Closes the stream; the log is absent afterwards.
void CloseActivityLog();

// Whether a log's last line is the end line: a run that did not reach it
// was stopped. Takes the log's last bytes, the whole log or at least the end
// line's and one more.
bool EndsWithEndLine(const std::string& last_bytes);
