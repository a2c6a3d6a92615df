// Whether the file found or made at the log's name may become the log. The
// log's folder is open to other users on many machines, so what sits at the
// name is judged by what the open file reports about itself; src/win/
// gathers those facts, and the rules are here, apart from the platform, so
// that every one of them runs in the native tests.
#pragma once

#include <cstdint>

// How the log is opened (CreateFileA's flags and attributes): a link or
// junction at the name is opened itself, not followed, so that it can be
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
  // compared as the file system compares names.
  bool final_name_matches = false;
};

enum class LogFileVerdict {
  kUse,              // empty it and write the log into it
  kRefuse,           // close it untouched
  kRefuseAndDelete,  // close and delete it: this open made it
};

// The verdict on a file just opened at the log's name.
LogFileVerdict JudgeOpenedLogFile(const OpenedLogFile& file);

// The verdict on a file given up after it was judged (it could not be
// emptied): refused, and deleted again when this open made it.
LogFileVerdict RefusalOf(const OpenedLogFile& file);
