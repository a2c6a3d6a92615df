#include "tempdir/temp_files.h"

#include <cstdint>

namespace {

constexpr std::uint32_t kAttributeDirectory = 0x00000010U;
constexpr std::uint32_t kAttributeReparsePoint = 0x00000400U;

}  // namespace

// Refused: a file the platform cannot describe; another name of some other
// file (a hard link); a link, junction or other reparse point; a folder; a
// handle that ended up at a file of another name or in another folder. The
// folder itself may be a link (a c:\temp kept on another drive): what
// counts is that the file is really in it, under the name asked for.
FileVerdict JudgeOpenedFile(const OpenedFileFacts& file) {
  if (!file.described || file.link_count > 1 ||
      (file.attributes & (kAttributeReparsePoint | kAttributeDirectory)) != 0 ||
      !file.final_name_matches) {
    return RefusalOf(file);
  }
  return FileVerdict::kUse;
}

// A refused file leaves nothing behind, as one that cannot be created does;
// what was there before is never touched.
FileVerdict RefusalOf(const OpenedFileFacts& file) {
  return file.created ? FileVerdict::kRefuseAndDelete
                      : FileVerdict::kRefuse;
}
