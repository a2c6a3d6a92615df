#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "setup/kept_settings.h"
#include "setup/permissions.h"
#include "setup/task_definition.h"

namespace {

using setup::Verdict;

constexpr std::uint32_t kFolder = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t kFile = 0x20;    // FILE_ATTRIBUTE_ARCHIVE
constexpr std::uint32_t kLink = 0x400;   // FILE_ATTRIBUTE_REPARSE_POINT
constexpr char kSystem[] = "S-1-5-18";
constexpr char kWineUser[] = "S-1-5-21-0-0-0-1000";
// A standard user of a PC.
constexpr char kUser[] = "S-1-5-21-1004336348-1177238915-682003330-1001";

// Descriptors as Windows writes them out (Get-Acl's Sddl, icacls /save),
// aliases and all, so that rows hold what real machines hold.
std::string SidOf(const std::string& text) {
  const std::map<std::string, std::string> aliases = {
      {"SY", kSystem},
      {"BA", "S-1-5-32-544"},
      {"BU", "S-1-5-32-545"},
      {"AU", "S-1-5-11"},
      {"WD", "S-1-1-0"},
      {"CO", "S-1-3-0"},
      {"OW", "S-1-3-4"},
      {"AC", "S-1-15-2-1"},
      {"TI", "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"}};
  const auto alias = aliases.find(text);
  return alias == aliases.end() ? text : alias->second;
}

std::uint32_t RightsOf(const std::string& text) {
  if (text.rfind("0x", 0) == 0) {
    return static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
  }
  const std::map<std::string, std::uint32_t> rights = {
      {"FA", 0x1F01FF},    {"FR", 0x120089},   {"GA", 0x10000000},
      {"GR", 0x80000000U}, {"GW", 0x40000000}, {"GX", 0x20000000},
      {"SD", 0x10000},     {"LC", 0x4}};
  std::uint32_t mask = 0;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    mask |= rights.at(text.substr(i, 2));
  }
  return mask;
}

// An object opened at a name, with the descriptor sddl ("": it could not
// be opened).
setup::FoundObject Found(const std::string& sddl, std::uint32_t attributes) {
  setup::FoundObject found;
  found.attributes = attributes;
  if (sddl.empty()) {
    return found;
  }
  found.opened = true;
  found.owner = SidOf(sddl.substr(2, sddl.find_first_of("GD", 2) - 2));
  found.has_dacl = sddl.find("NO_ACCESS_CONTROL") == std::string::npos;
  const std::map<std::string, std::uint8_t> flags = {
      {"OI", 0x1}, {"CI", 0x2}, {"NP", 0x4}, {"IO", 0x8}, {"ID", 0x10}};
  for (std::size_t open = sddl.find('('); open != std::string::npos;
       open = sddl.find('(', open + 1)) {
    const std::string text =
        sddl.substr(open + 1, sddl.find(')', open) - open - 1);
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
      const std::size_t end = text.find(';', start);
      fields.push_back(text.substr(start, end - start));
      if (end == std::string::npos) {
        break;
      }
      start = end + 1;
    }
    setup::AccessEntry entry;
    entry.deny = fields[0] == "D";
    for (std::size_t i = 0; i + 1 < fields[1].size(); i += 2) {
      entry.flags |= flags.at(fields[1].substr(i, 2));
    }
    entry.mask = RightsOf(fields[2]);
    entry.who = SidOf(fields[5]);
    found.dacl.push_back(entry);
  }
  return found;
}

// sddl with its owner replaced by who.
std::string OwnedBy(const std::string& who, const std::string& sddl) {
  return "O:" + who + sddl.substr(sddl.find_first_of("GD", 2));
}

// What Windows 10 and 11 give C:\ and, by inheritance, a folder made in it.
constexpr char kDriveRoot[] =
    "O:TIG:TID:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
    "(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)";
constexpr char kInheritedFromDriveRoot[] =
    "D:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)"
    "(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)";
constexpr char kProgramFiles[] =
    "O:TIG:TID:PAI(A;;FA;;;TI)(A;CIIO;GA;;;TI)(A;;0x1301bf;;;SY)"
    "(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
    "(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)"
    "(A;;0x1200a9;;;AC)(A;OICIIO;GXGR;;;AC)";
// Every folder under Wine reads back so, whatever it was made with.
constexpr char kWineDefault[] =
    "O:S-1-5-21-0-0-0-1000D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)"
    "(A;OICI;0x1200a9;;;WD)";

struct TempFolderCase {
  const char* what;
  std::string sddl;
  std::uint32_t attributes;
  Verdict verdict;
  const char* why;
  const char* runner = kSystem;
  std::u16string final_path = u"\\\\?\\C:\\temp";
};

TEST(PackageTempFolder, KeptRepairedOrRefusedAsFound) {
  const std::vector<TempFolderCase> cases = {
      {"the package's own", setup::kTempFolderSddl, kFolder, Verdict::kKeep,
       ""},
      {"made by an administrator under C:\\",
       std::string("O:BA") + kInheritedFromDriveRoot, kFolder, Verdict::kRepair,
       "Authenticated Users (S-1-5-11) may delete or rename"},
      {"made by a user under C:\\",
       std::string("O:") + kUser + kInheritedFromDriveRoot, kFolder,
       Verdict::kRepair, "owner S-1-5-21-1004336348"},
      {"made by 1.5.0's mkdir and icacls",
       "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;;0x1200af;;;BU)"
       "(A;OICIIO;0x1301bf;;;BU)",
       kFolder, Verdict::kRepair, "no inheritable OWNER RIGHTS"},
      {"Wine's", kWineDefault, kFolder, Verdict::kRepair,
       "no inheritable OWNER RIGHTS", kWineUser, u"\\\\?\\c:\\TEMP"},
      {"a Unix link Wine followed", kWineDefault, kFolder, Verdict::kRefuse,
       "leads elsewhere", kWineUser, u"\\\\?\\C:\\elsewhere"},
      {"Everyone given full control, as generic rights",
       std::string(setup::kTempFolderSddl) + "(A;OICI;GA;;;WD)", kFolder,
       Verdict::kRepair, "Everyone (S-1-1-0) may delete or rename it"},
      {"CREATOR OWNER given full control",
       std::string(setup::kTempFolderSddl) + "(A;OICIIO;FA;;;CO)", kFolder,
       Verdict::kRepair, "change the permissions of what is made in it"},
      {"the package's own, Users denied more",
       std::string(setup::kTempFolderSddl) + "(D;;FA;;;BU)", kFolder,
       Verdict::kKeep, ""},
      {"without a DACL", "O:BAD:NO_ACCESS_CONTROL", kFolder, Verdict::kRepair,
       "no DACL"},
      {"a junction", setup::kTempFolderSddl, kFolder | kLink, Verdict::kRefuse,
       "a link"},
      {"a file", setup::kTempFolderSddl, kFile, Verdict::kRefuse,
       "not a folder"},
      {"held open for deletion", "", 0, Verdict::kRefuse,
       "could not be opened"},
  };
  for (const TempFolderCase& c : cases) {
    setup::FoundObject folder = Found(c.sddl, c.attributes);
    folder.final_path = c.final_path;
    const setup::Judgement judgement = setup::JudgeTempFolder(folder, c.runner);
    EXPECT_EQ(c.verdict, judgement.verdict) << c.what;
    EXPECT_NE(std::string::npos, judgement.why.find(c.why))
        << c.what << ": " << judgement.why;
  }
}

struct KeepFileCase {
  const char* what;
  std::string sddl;
  std::uint32_t attributes;
  Verdict verdict;
  const char* why;
  std::u16string final_path = u"\\\\?\\C:\\temp\\tesmarinds-keep.txt";
  std::uint32_t volume_serial = 0x43000000;
  std::uint32_t link_count = 1;
};

TEST(PackageKeepFile, KeptRepairedOrRefusedAsFound) {
  setup::FoundObject folder = Found(setup::kTempFolderSddl, kFolder);
  folder.final_path = u"\\\\?\\C:\\temp";
  folder.volume_serial = 0x43000000;
  // What a file made in the package's c:\temp inherits.
  const std::string inherited =
      "D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1301bf;;;BU)"
      "(A;ID;0x1301bf;;;OW)";
  const std::vector<KeepFileCase> cases = {
      {"the package's own", setup::kKeepFileSddl, kFile, Verdict::kKeep, ""},
      {"the package's shared log", setup::kSharedFileSddl, kFile,
       Verdict::kKeep, ""},
      {"a log a user made first with permissions of their own",
       std::string("O:") + kUser + "D:P(A;;FA;;;" + kUser + ")", kFile,
       Verdict::kRepair, "owner S-1-5-21-1004336348"},
      {"a user's file at its name", std::string("O:") + kUser + inherited,
       kFile, Verdict::kRepair, "owner S-1-5-21-1004336348"},
      {"an administrator's that Users may delete", "O:BA" + inherited, kFile,
       Verdict::kRepair, "Users (S-1-5-32-545) may delete or rename it"},
      {"a hard link", setup::kKeepFileSddl, kFile, Verdict::kRefuse,
       "more than one name", u"\\\\?\\C:\\temp\\tesmarinds-keep.txt",
       0x43000000, 2},
      {"a folder", setup::kKeepFileSddl, kFolder, Verdict::kRefuse,
       "it is a folder"},
      {"a symbolic link", setup::kKeepFileSddl, kFile | kLink, Verdict::kRefuse,
       "a link"},
      {"reached in another folder", setup::kKeepFileSddl, kFile,
       Verdict::kRefuse, "does not lie in",
       u"\\\\?\\C:\\Windows\\tesmarinds-keep.txt"},
      {"reached on another volume", setup::kKeepFileSddl, kFile,
       Verdict::kRefuse, "does not lie in",
       u"\\\\?\\C:\\temp\\tesmarinds-keep.txt", 0x5A5A0001},
  };
  for (const KeepFileCase& c : cases) {
    setup::FoundObject file = Found(c.sddl, c.attributes);
    file.final_path = c.final_path;
    file.volume_serial = c.volume_serial;
    file.link_count = c.link_count;
    const setup::Judgement judgement =
        setup::JudgeFileInTemp(file, folder, kSystem);
    EXPECT_EQ(c.verdict, judgement.verdict) << c.what;
    EXPECT_NE(std::string::npos, judgement.why.find(c.why))
        << c.what << ": " << judgement.why;
  }
}

struct InstallPathCase {
  const char* what;
  std::string sddl;
  std::uint32_t attributes;
  bool install_folder;
  Verdict verdict;
  const char* why;
  const char* runner = kSystem;
};

TEST(PackageInstallFolder, OnlyFoldersUsersCannotChange) {
  const std::vector<InstallPathCase> cases = {
      {"C:\\, above", kDriveRoot, kFolder, false, Verdict::kKeep, ""},
      {"C:\\ itself", kDriveRoot, kFolder, true, Verdict::kRefuse,
       "Authenticated Users (S-1-5-11) may write or add to it"},
      {"Program Files, above", kProgramFiles, kFolder, false, Verdict::kKeep,
       ""},
      {"made in Program Files by Windows Installer",
       "O:BAD:AI(A;ID;FA;;;TI)(A;CIIOID;GA;;;TI)(A;ID;FA;;;SY)"
       "(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)(A;OICIIOID;GA;;;BA)"
       "(A;ID;0x1200a9;;;BU)(A;OICIIOID;GXGR;;;BU)(A;OICIIOID;GA;;;CO)"
       "(A;ID;0x1200a9;;;AC)(A;OICIIOID;GXGR;;;AC)",
       kFolder, true, Verdict::kKeep, ""},
      {"the package's own", setup::kInstallFolderSddl, kFolder, true,
       Verdict::kKeep, ""},
      {"made by an administrator under C:\\, above",
       std::string("O:BA") + kInheritedFromDriveRoot, kFolder, false,
       Verdict::kRefuse, "Authenticated Users (S-1-5-11) may delete"},
      {"made by an administrator under C:\\, installed into",
       std::string("O:BA") + kInheritedFromDriveRoot, kFolder, true,
       Verdict::kRefuse, "Authenticated Users (S-1-5-11) may delete"},
      {"Users given Modify on what is made in it",
       std::string(setup::kInstallFolderSddl) + "(A;OICIIO;0x1301bf;;;BU)",
       kFolder, true, Verdict::kRefuse, "delete what is made in it"},
      {"a user's, installed into", OwnedBy(kUser, setup::kInstallFolderSddl),
       kFolder, true, Verdict::kRefuse, "owner S-1-5-21-1004336348"},
      {"Wine's, installed into", kWineDefault, kFolder, true, Verdict::kKeep,
       "", kWineUser},
      {"a junction, above", kProgramFiles, kFolder | kLink, false,
       Verdict::kRefuse, "a link"},
  };
  for (const InstallPathCase& c : cases) {
    const setup::Judgement judgement = setup::JudgeInstallPathFolder(
        Found(c.sddl, c.attributes), c.install_folder, c.runner);
    EXPECT_EQ(c.verdict, judgement.verdict) << c.what;
    EXPECT_NE(std::string::npos, judgement.why.find(c.why))
        << c.what << ": " << judgement.why;
  }
}

struct FolderNameCase {
  std::u16string folder;
  const char* problem;  // "": the name can be used
  std::vector<std::u16string> path;
};

TEST(PackageInstallFolder, NamesALocalFolderTheDefinitionCanHold) {
  const std::vector<FolderNameCase> cases = {
      {u"C:\\Program Files\\tesmarinds\\",
       "",
       {u"C:", u"Program Files", u"tesmarinds"}},
      {u"c:\\ツール & 試験! (e2e)\\tesmarinds\\",
       "",
       {u"c:", u"ツール & 試験! (e2e)", u"tesmarinds"}},
      {u"D:\\𠀋\\", "", {u"D:", u"𠀋"}},
      {u"\\\\server\\share\\tesmarinds\\", "on the network", {}},
      {u"tesmarinds\\", "not a full path", {}},
      {u"C:\\a\\..\\tesmarinds\\", "names a folder . or ..", {}},
      {u"C:\\a\uFFFE\\", "holds U+FFFE, which XML 1.0 forbids", {}},
      {u"C:\\a\uFFFF\\", "holds U+FFFF", {}},
      {std::u16string(u"C:\\a") + char16_t{0xD800} + u"b\\", "U+D800", {}},
      {std::u16string(u"C:\\a") + char16_t{0xDC00} + u"\\", "U+DC00", {}},
      {u"C:\\a\x1F\\", "holds U+001F", {}},
  };
  for (const FolderNameCase& c : cases) {
    const std::string problem = setup::FolderNameProblem(c.folder);
    EXPECT_NE(std::string::npos, problem.find(c.problem)) << problem;
    EXPECT_EQ(c.problem[0] == '\0', problem.empty()) << problem;
    if (problem.empty()) {
      EXPECT_EQ(c.path, setup::FolderPath(c.folder));
    }
  }
}

RegistryValue Text(std::u16string text) {
  RegistryValue value;
  value.kind = RegistryValue::kText;
  value.text = std::move(text);
  return value;
}

RegistryValue Number(std::uint32_t number) {
  RegistryValue value;
  value.kind = RegistryValue::kNumber;
  value.number = number;
  return value;
}

RegistryValue Of(RegistryValue::Kind kind) {
  RegistryValue value;
  value.kind = kind;
  return value;
}

struct KeptCase {
  const char* what;
  setup::KeptSetting (*rule)(const RegistryValue&);
  RegistryValue found;
  std::u16string kept;  // empty: not kept
  const char* why;
};

TEST(PackageUpgrade, KeepsOnlyValuesThePropertiesTake) {
  const std::vector<KeptCase> cases = {
      {"a Term", setup::KeptTerm, Text(u"集計"), u"集計", ""},
      {"a Term of 2,000 units", setup::KeptTerm,
       Text(std::u16string(2000, u'売')), std::u16string(2000, u'売'), ""},
      {"an empty Term", setup::KeptTerm, Text(u""), u"", "empty"},
      {"a Term holding %", setup::KeptTerm, Text(u"50%"), u"", "% or \\"},
      {"a Term holding \\", setup::KeptTerm, Text(u"a\\b"), u"", "% or \\"},
      {"a REG_DWORD Term", setup::KeptTerm, Number(7), u"", "not text"},
      {"a REG_EXPAND_SZ Term", setup::KeptTerm, Of(RegistryValue::kOther), u"",
       "not text"},
      {"no Term", setup::KeptTerm, Of(RegistryValue::kAbsent), u"", "none"},
      {"KeepDays 45", setup::KeptKeepDays, Number(45), u"45", ""},
      {"KeepDays 0", setup::KeptKeepDays, Number(0), u"0", ""},
      {"KeepDays 3650", setup::KeptKeepDays, Number(3650), u"3650", ""},
      {"KeepDays 3651", setup::KeptKeepDays, Number(3651), u"", "0 to 3650"},
      {"KeepDays 0xFFFFFFFF", setup::KeptKeepDays, Number(0xFFFFFFFFU), u"",
       "0 to 3650"},
      {"KeepDays as text", setup::KeptKeepDays, Text(u"365"), u"", "0 to 3650"},
  };
  for (const KeptCase& c : cases) {
    const setup::KeptSetting kept = c.rule(c.found);
    EXPECT_EQ(!c.kept.empty(), kept.kept) << c.what;
    EXPECT_TRUE(kept.property == c.kept) << c.what;
    EXPECT_NE(std::string::npos, kept.why.find(c.why)) << c.what;
  }
}

struct StartCase {
  std::u16string start;
  bool accepted;
};

TEST(PackageStartTime, OnlyHoursAndMinutesOfADay) {
  const std::vector<StartCase> cases = {
      {u"00:00", true},     {u"07:30", true},  {u"23:59", true},
      {u"24:00", false},    {u"23:60", false}, {u"7:30", false},
      {u"07:3", false},     {u"07.30", false}, {u"07:30 ", false},
      {u"", false},         {u"0a:30", false}, {u"07:30:00", false},
      {u"１８:００", false}};
  for (const StartCase& c : cases) {
    EXPECT_EQ(c.accepted, setup::IsStartTime(c.start))
        << std::string(c.start.begin(), c.start.end());
  }
}

TEST(PackageStartTime, ReadBackFromATriggersStartBoundary) {
  EXPECT_EQ(u"07:30", setup::StartTimeOf(u"2026-01-01T07:30:00"));
  EXPECT_EQ(u"18:00", setup::StartTimeOf(u"2026-01-01T18:00:00+09:00"));
  EXPECT_EQ(u"", setup::StartTimeOf(u"2026-01-01"));
  EXPECT_EQ(u"", setup::StartTimeOf(u"2026-01-01T7:30:00"));
  EXPECT_EQ(u"", setup::StartTimeOf(u""));
}

TEST(PackageTaskDefinition, HoldsTheStartAndTheFolderAsText) {
  std::u16string definition = setup::TaskDefinition(
      {u"07:30", u"C:\\ツール & 試験!<%^()>\\tesmarinds\\"});
  EXPECT_EQ(0U,
            definition.find(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>"));
  EXPECT_NE(std::u16string::npos,
            definition.find(u"<StartBoundary>2026-01-01T07:30:00"
                            u"</StartBoundary>"));
  EXPECT_NE(std::u16string::npos,
            definition.find(u"<Command>\"C:\\ツール &amp; 試験!&lt;%^()&gt;"
                            u"\\tesmarinds\\tesmarinds-task.exe\"</Command>"));
  EXPECT_NE(std::u16string::npos,
            definition.find(u"<GroupId>S-1-5-32-545</GroupId>"));
  EXPECT_EQ(std::u16string::npos, definition.find(u"& "));
}

TEST(PackageTaskDefinition, RegistrationDataSplitsAtTheFirstBar) {
  setup::Registration registration;
  ASSERT_TRUE(
      setup::SplitRegistrationData(u"07:30|C:\\売上 & 集計\\", &registration));
  EXPECT_EQ(u"07:30", registration.start);
  EXPECT_EQ(u"C:\\売上 & 集計\\", registration.folder);
  EXPECT_TRUE(setup::SplitRegistrationData(u"|", &registration));
  EXPECT_EQ(u"", registration.start);
  EXPECT_FALSE(setup::SplitRegistrationData(u"07:30", &registration));
}

}  // namespace
