#include "log/log_file_check.h"

#include <cstdint>

namespace {

constexpr std::uint32_t kAttributeDirectory = 0x00000010U;
constexpr std::uint32_t kAttributeReparsePoint = 0x00000400U;

}  // namespace

// Refused: a file the platform cannot describe; another name of some other
// file (a hard link); a link, junction or other reparse point; a folder; a
// handle that ended up at a file of another name. The folders on the way
// may be links (a c:\temp kept on another drive): only the final name
// counts.
LogFileVerdict JudgeOpenedLogFile(const OpenedLogFile& file) {
  if (!file.described || file.link_count > 1 ||
      (file.attributes & (kAttributeReparsePoint | kAttributeDirectory)) != 0 ||
      !file.final_name_matches) {
    return RefusalOf(file);
  }
  return LogFileVerdict::kUse;
}

// A refused log leaves nothing behind, as one that cannot be created does;
// what was there before is never touched.
LogFileVerdict RefusalOf(const OpenedLogFile& file) {
  return file.created ? LogFileVerdict::kRefuseAndDelete
                      : LogFileVerdict::kRefuse;
}
