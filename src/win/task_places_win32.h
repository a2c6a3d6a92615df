// The two folders the task's runner keeps files in, each opened once a run
// and held to its end (opened_file_win32.h): c:\temp, which every user of
// the PC shares, and the running user's own folder for the log's copies.
// Only the runner's files of src/win/ include this header.
#pragma once

#include <windows.h>

#include "win/opened_file_win32.h"

// c:\temp as this run found it; null, with the open's error in *error, when
// it could not be opened as a folder (ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND: there is none).
const JudgedFolder* TempFolder(DWORD* error);
// %LOCALAPPDATA%\tesmarinds, with make made when missing (a user whose
// runs never copied a log gets none); null, with the error in *error, when
// it is not there or can be neither made nor opened.
const JudgedFolder* UserCopiesFolder(bool make, DWORD* error);
