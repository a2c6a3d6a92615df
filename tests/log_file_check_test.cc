#include "tempdir/temp_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// The platform's values (winnt.h), written out here on their own.
constexpr std::uint32_t kReadOnly = 0x1;
constexpr std::uint32_t kHidden = 0x2;
constexpr std::uint32_t kDirectory = 0x10;
constexpr std::uint32_t kArchive = 0x20;
constexpr std::uint32_t kNormal = 0x80;
constexpr std::uint32_t kTemporary = 0x100;
constexpr std::uint32_t kSparse = 0x200;
constexpr std::uint32_t kReparsePoint = 0x400;
constexpr std::uint32_t kCompressed = 0x800;
constexpr std::uint32_t kNotContentIndexed = 0x2000;
constexpr std::uint32_t kOpenReparsePoint = 0x00200000;

constexpr bool kFound = false;
constexpr bool kMade = true;
constexpr bool kDescribed = true;
constexpr bool kNotDescribed = false;
constexpr bool kSameName = true;
constexpr bool kOtherName = false;

struct JudgeCase {
  const char* name;
  OpenedFileFacts file;
  FileVerdict expected;
};

const JudgeCase kCases[] = {
    {"FoundPlainFile",
     {kFound, kDescribed, kArchive, 1, kSameName},
     FileVerdict::kUse},
    {"MadePlainFile",
     {kMade, kDescribed, kArchive, 1, kSameName},
     FileVerdict::kUse},
    {"FoundWithNoOtherAttribute",
     {kFound, kDescribed, kNormal, 1, kSameName},
     FileVerdict::kUse},
    // Attributes that say nothing of links or folders.
    {"FoundWithHarmlessAttributes",
     {kFound, kDescribed,
      kReadOnly | kHidden | kArchive | kTemporary | kSparse | kCompressed |
          kNotContentIndexed,
      1, kSameName},
     FileVerdict::kUse},
    {"FoundNotDescribed",
     {kFound, kNotDescribed, kArchive, 1, kSameName},
     FileVerdict::kRefuse},
    {"MadeNotDescribed",
     {kMade, kNotDescribed, kArchive, 1, kSameName},
     FileVerdict::kRefuseAndDelete},
    {"FoundHardLink",
     {kFound, kDescribed, kArchive, 2, kSameName},
     FileVerdict::kRefuse},
    {"FoundWithManyNames",
     {kFound, kDescribed, kArchive, 1024, kSameName},
     FileVerdict::kRefuse},
    // Another name made for the new file before it was judged.
    {"MadeThenLinked",
     {kMade, kDescribed, kArchive, 2, kSameName},
     FileVerdict::kRefuseAndDelete},
    {"FoundSymbolicLink",
     {kFound, kDescribed, kArchive | kReparsePoint, 1, kSameName},
     FileVerdict::kRefuse},
    {"FoundReparsePointAlone",
     {kFound, kDescribed, kReparsePoint, 1, kSameName},
     FileVerdict::kRefuse},
    {"MadeReparsePoint",
     {kMade, kDescribed, kReparsePoint, 1, kSameName},
     FileVerdict::kRefuseAndDelete},
    {"FoundFolder",
     {kFound, kDescribed, kDirectory, 1, kSameName},
     FileVerdict::kRefuse},
    {"FoundJunction",
     {kFound, kDescribed, kDirectory | kReparsePoint, 1, kSameName},
     FileVerdict::kRefuse},
    {"MadeFolder",
     {kMade, kDescribed, kDirectory, 1, kSameName},
     FileVerdict::kRefuseAndDelete},
    // A link followed to a file of another name.
    {"FoundUnderAnotherName",
     {kFound, kDescribed, kArchive, 1, kOtherName},
     FileVerdict::kRefuse},
    {"MadeUnderAnotherName",
     {kMade, kDescribed, kArchive, 1, kOtherName},
     FileVerdict::kRefuseAndDelete},
};

void PrintTo(const JudgeCase& c, std::ostream* out) { *out << c.name; }

class LogFileCheck : public testing::TestWithParam<JudgeCase> {};

TEST_P(LogFileCheck, JudgesWhatTheOpenFileReports) {
  EXPECT_EQ(GetParam().expected, JudgeOpenedFile(GetParam().file));
}

INSTANTIATE_TEST_SUITE_P(Files, LogFileCheck, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<JudgeCase>& info) {
                           return std::string(info.param.name);
                         });

// What follows an accepted file that then cannot be emptied.
TEST(LogFileRefusal, DeletesOnlyWhatThisOpenMade) {
  EXPECT_EQ(FileVerdict::kRefuseAndDelete,
            RefusalOf({kMade, kDescribed, kArchive, 1, kSameName}));
  EXPECT_EQ(FileVerdict::kRefuse,
            RefusalOf({kFound, kDescribed, kArchive, 1, kSameName}));
}

// Followed, a link would report its target's facts, and a link to a file
// of the same name would pass as the log.
TEST(LogFileOpen, OpensALinkAtTheNameItselfNotItsTarget) {
  EXPECT_EQ(kOpenReparsePoint, kNoFollowOpenFlags & kOpenReparsePoint);
}

}  // namespace
