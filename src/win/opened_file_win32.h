// Files as src/win/ opens them (temp_files_win32.cc): the tool's log and
// the runner's turn in c:\temp, and the runner's copies in the user's own
// folder. A folder is opened once and each file in it is judged against
// that handle by the rules of tempdir/temp_files.h before it is used;
// nothing is removed but through a handle so judged. Only files of src/win/
// include this header.
#pragma once

#include <windows.h>

#include <string>

#include "tempdir/temp_files.h"

// A folder held open while its files are opened: where it really is (links
// followed, as a c:\temp kept on another drive is that place), by path
// without its volume and by the volume's serial number.
struct JudgedFolder {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::wstring path;        // as named, without a final backslash
  std::wstring final_path;  // as it really is, without its volume
  DWORD volume = 0;
};
// Opens the folder at path; false, with the open's last error, when it
// cannot be opened as a folder (one mounted on something that is no folder
// among them).
bool OpenFolder(const std::wstring& path, JudgedFolder* folder);
void CloseFolder(JudgedFolder* folder);

// Opens the file name in folder with access and share, a link or junction
// at the name opened itself, not followed; with create, makes the file
// where nothing is. The handle, when the rules take what it opened; else
// INVALID_HANDLE_VALUE, with the open's own last error
// (ERROR_SHARING_VIOLATION: another process holds it), or
// ERROR_ACCESS_DENIED for what the rules refused, a file this open made
// then deleted again. *facts tells what the open found.
HANDLE OpenJudged(const JudgedFolder& folder, const std::wstring& name,
                  DWORD access, DWORD share, bool create,
                  OpenedFileFacts* facts);
// Makes a new file name in folder, never opening one already there
// (ERROR_FILE_EXISTS), judged as OpenJudged judges; the handle may delete
// it.
HANDLE CreateNewJudged(const JudgedFolder& folder, const std::wstring& name,
                       DWORD access, OpenedFileFacts* facts);
// Removes the file name in folder through a handle the rules take; false,
// touching nothing, when nothing is there or what is there is refused.
bool RemoveJudged(const JudgedFolder& folder, const std::wstring& name);

// Has the file deleted once closed; the handle was opened with DELETE.
void DeleteOnClose(HANDLE file);

// text in UTF-16, read in code_page; empty when it is not valid there.
std::wstring Widened(const char* text, UINT code_page);
