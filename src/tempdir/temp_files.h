// The files the tool and the task's runner keep in c:\temp, and the rules
// that decide whether what an open found at a name may be used. Every user
// of a PC shares c:\temp, so nothing there is trusted by name:
// src/win/temp_files_win32.cc opens, creates and removes through handles
// judged by these rules (the runner's copies in the user's own folder too),
// and the rules are here, apart from the platform, so that every one of
// them runs in the native tests.
#pragma once

#include <cstdint>

// c:\temp itself is never created by a run. The runner's turn,
// Tesmarind-turn.txt, is beside the log (src/win/temp_folder_win32.cc).
constexpr char kLogPath[] = "c:\\temp\\Tesmarind.txt";

// How these files are opened (CreateFileW's flags and attributes): a link
// or junction at the name is opened itself, not followed, so that it can be
// seen and refused.
constexpr std::uint32_t kNoFollowOpenFlags =
    0x00000080U     // FILE_ATTRIBUTE_NORMAL
    | 0x00200000U;  // FILE_FLAG_OPEN_REPARSE_POINT

// What the open file reports about itself.
struct OpenedFileFacts {
  // This open made the file: nothing was at the name before.
  bool created = false;
  // The platform told the attributes and the link count.
  bool described = false;
  // FILE_ATTRIBUTE_* bits.
  std::uint32_t attributes = 0;
  // How many names the file has.
  std::uint32_t link_count = 0;
  // The path the handle really leads to ends in the name asked for,
  // compared as the file system compares names, and lies on the volume and
  // in the folder opened for it, as that folder itself really is.
  bool final_name_matches = false;
};

enum class FileVerdict {
  kUse,              // use it as the file of that name
  kRefuse,           // close it untouched
  kRefuseAndDelete,  // close and delete it: this open made it
};

// The verdict on a file just opened at one of these names.
FileVerdict JudgeOpenedFile(const OpenedFileFacts& file);

// The verdict on a file given up after it was judged (it could not be
// emptied): refused, and deleted again when this open made it.
FileVerdict RefusalOf(const OpenedFileFacts& file);
