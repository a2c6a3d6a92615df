// Who may change c:\temp, the file that keeps it from being emptied, and the
// install folder with the folders above it: the descriptors the package
// gives what it makes, and the verdict on what it finds already there, from
// facts src/win/setup_folders_win32.cc reads through handles opened without
// following links. Apart from the platform, so every verdict runs natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace setup {

// c:\temp. Every user's run truncates and writes the one log and holds the
// one turn file, so Users may change the files in it (inherit-only Modify,
// 0x1301bf). OWNER RIGHTS gets the same Modify, which takes away a
// creator's implicit WRITE_DAC and READ_CONTROL, so no file's creator can
// change its permissions afterwards. On the folder itself Users may list it
// and add files and folders (0x1200af), as other programs that keep their
// files in c:\temp expect and 1.5.0 allowed, and never delete, rename,
// re-permission or take it. Administrators own it.
constexpr char kTempFolderSddl[] =
    "O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200af;;;BU)"
    "(A;OICIIO;0x1301bf;;;BU)(A;OICIIO;0x1301bf;;;OW)";
// c:\temp\tesmarinds-keep.txt, which Users may read but not delete: c:\temp
// is never empty, and a mount point can be set only on an empty folder.
constexpr char kKeepFileSddl[] =
    "O:BAG:SYD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)";
// c:\temp\Tesmarind.txt and Tesmarind-turn.txt, the log and the turn every
// user's run shares, made by the package so that no user makes them first:
// a file's creator may give it any permissions as it makes it, and so could
// lock the others' runs out of it. Users read and write them, never delete,
// re-permission or take them.
constexpr char kSharedFileSddl[] =
    "O:BAG:SYD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12019f;;;BU)";
// A folder the package makes on the way to and as the install folder:
// administrators and SYSTEM change it, users read and run what is in it.
constexpr char kInstallFolderSddl[] =
    "O:BAG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

// One entry of a DACL. who is a SID as text (S-1-5-32-545); flags are the
// entry's (OBJECT_INHERIT_ACE 0x1 ... INHERIT_ONLY_ACE 0x8); an entry of a
// type not read is an allow entry of every right for no one known.
struct AccessEntry {
  bool deny = false;
  std::uint8_t flags = 0;
  std::uint32_t mask = 0;
  std::string who;
};

// What an open that follows no link found at a name.
struct FoundObject {
  bool opened = false;           // false: it could not be opened so
  std::uint32_t attributes = 0;  // FILE_ATTRIBUTE_*
  std::uint32_t link_count = 1;
  std::uint32_t volume_serial = 0;
  std::u16string final_path;  // \\?\C:\temp, as the handle leads
  std::string owner;
  bool has_dacl = true;  // false: a NULL DACL, every right to everyone
  std::vector<AccessEntry> dacl;
};

enum class Verdict { kKeep, kRepair, kRefuse };
struct Judgement {
  Verdict verdict = Verdict::kKeep;
  std::string why;  // for the install's log; empty when kept
};

// Trusted beside SYSTEM, Administrators and TrustedInstaller is runner, the
// account the custom action runs as (SYSTEM; under Wine, the Wine user).
// c:\temp: refused when a link, no folder, or leading elsewhere (its
// final path not \\?\C:\temp); repaired when its owner or DACL lets
// others delete, re-point or lock it.
Judgement JudgeTempFolder(const FoundObject& folder, const std::string& runner);
// A file the package keeps in c:\temp (the one that keeps it from being
// emptied, the shared log and turn), found in folder.
Judgement JudgeFileInTemp(const FoundObject& file, const FoundObject& folder,
                          const std::string& runner);
// A folder on the install folder's path (install_folder: the last one),
// kept or refused: nothing there is repaired.
Judgement JudgeInstallPathFolder(const FoundObject& folder, bool install_folder,
                                 const std::string& runner);

}  // namespace setup
