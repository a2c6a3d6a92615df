// Opening a file in c:\temp the way the log is opened, for the tool's log
// and for the files the task's runner keeps beside it: whatever sits at the
// name is judged by the rules of log/log_file_check.h before it is used.
// Only files of src/win/ include this header.
#pragma once

#include <windows.h>

#include <string>

#include "log/log_file_check.h"

// Opens path with access and share, a link or junction at the name opened
// itself, not followed; with create, makes the file where nothing is. The
// handle, when the rules take what it opened; else INVALID_HANDLE_VALUE,
// with the open's own last error (ERROR_SHARING_VIOLATION: another process
// holds it), or ERROR_ACCESS_DENIED for what the rules refused, a file this
// open made then deleted again. *facts tells what the open found.
HANDLE OpenAsLog(const char* path, DWORD access, DWORD share, bool create,
                 OpenedLogFile* facts);

// Has the file deleted once closed; the handle was opened with DELETE.
void DeleteOnClose(HANDLE file);

// text in UTF-16, read in code_page; empty when it is not valid there.
std::wstring Widened(const char* text, UINT code_page);
