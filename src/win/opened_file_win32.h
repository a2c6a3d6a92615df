// The files of c:\temp as src/win/ opens them (temp_files_win32.cc): the
// tool's log and every file the task's runner keeps beside it. Whatever sits
// at a name is judged by the rules of tempdir/temp_files.h before it is
// used, and nothing is removed but through a handle so judged. Only files of
// src/win/ include this header.
#pragma once

#include <windows.h>

#include <string>

#include "tempdir/temp_files.h"

// Opens path with access and share, a link or junction at the name opened
// itself, not followed; with create, makes the file where nothing is. The
// handle, when the rules take what it opened; else INVALID_HANDLE_VALUE,
// with the open's own last error (ERROR_SHARING_VIOLATION: another process
// holds it), or ERROR_ACCESS_DENIED for what the rules refused, a file this
// open made then deleted again. *facts tells what the open found.
HANDLE OpenAsLog(const char* path, DWORD access, DWORD share, bool create,
                 OpenedLogFile* facts);
// Makes a new file at path, never opening one already there
// (ERROR_FILE_EXISTS), judged as OpenAsLog judges; the handle may delete it.
HANDLE CreateNewAsLog(const char* path, DWORD access, DWORD share,
                      OpenedLogFile* facts);
// Removes the file at path through a handle the rules take; false, touching
// nothing, when nothing is there or what is there is refused.
bool RemoveAsLog(const char* path);

// Has the file deleted once closed; the handle was opened with DELETE.
void DeleteOnClose(HANDLE file);

// text in UTF-16, read in code_page; empty when it is not valid there.
std::wstring Widened(const char* text, UINT code_page);
