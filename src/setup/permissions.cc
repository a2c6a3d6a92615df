#include "setup/permissions.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

namespace setup {
namespace {

constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;

constexpr std::uint8_t kObjectInherit = 0x1;
constexpr std::uint8_t kContainerInherit = 0x2;
constexpr std::uint8_t kInheritOnly = 0x8;

// The rights that matter here, as a file system names them.
constexpr std::uint32_t kWriteData = 0x2;   // also: add a file
constexpr std::uint32_t kAppendData = 0x4;  // also: add a folder
constexpr std::uint32_t kWriteEa = 0x10;
constexpr std::uint32_t kDeleteChild = 0x40;
constexpr std::uint32_t kWriteAttributes = 0x100;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kWrite =
    kWriteData | kAppendData | kWriteEa | kWriteAttributes;
constexpr std::uint32_t kTakeAway = kDelete | kWriteDac | kWriteOwner;

constexpr char kSystem[] = "S-1-5-18";
constexpr char kAdministrators[] = "S-1-5-32-544";
constexpr char kTrustedInstaller[] =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// Stand for whoever creates an object, or owns it.
constexpr char kCreatorOwner[] = "S-1-3-0";
constexpr char kOwnerRights[] = "S-1-3-4";

// Generic rights as the file system maps them.
std::uint32_t Mapped(std::uint32_t mask) {
  constexpr std::uint32_t kGenericRead = 0x80000000U;
  constexpr std::uint32_t kGenericWrite = 0x40000000U;
  constexpr std::uint32_t kGenericExecute = 0x20000000U;
  constexpr std::uint32_t kGenericAll = 0x10000000U;
  std::uint32_t rights = mask & 0x00FFFFFFU;
  if ((mask & kGenericRead) != 0) {
    rights |= 0x120089U;
  }
  if ((mask & kGenericWrite) != 0) {
    rights |= 0x120116U;
  }
  if ((mask & kGenericExecute) != 0) {
    rights |= 0x1200A0U;
  }
  if ((mask & kGenericAll) != 0) {
    rights |= 0x1F01FFU;
  }
  return rights;
}

bool Trusted(const std::string& who, const std::string& runner) {
  return who == kSystem || who == kAdministrators || who == kTrustedInstaller ||
         (!runner.empty() && who == runner);
}

// The principal as an administrator reads it in the log.
std::string Named(const std::string& who) {
  // SID, then name.
  constexpr std::pair<std::string_view, std::string_view> kNames[] = {
      {"S-1-1-0", "Everyone"},
      {"S-1-5-11", "Authenticated Users"},
      {"S-1-5-32-545", "Users"},
      {kCreatorOwner, "CREATOR OWNER"},
      {kOwnerRights, "OWNER RIGHTS"}};
  const auto* const named =
      std::find_if(std::begin(kNames), std::end(kNames),
                   [&who](const auto& name) { return who == name.first; });
  if (named != std::end(kNames)) {
    return std::string(named->second) + " (" + who + ")";
  }
  return who.empty() ? std::string("an entry of a type not read") : who;
}

enum class Scope {
  kItself,  // entries in effect on the object
  kInside,  // entries what is made in it inherits
};

// What rights allow, said of the object itself or of what is made in it.
std::string RightsText(std::uint32_t rights, Scope scope) {
  const bool itself = scope == Scope::kItself;
  if ((rights & kDelete) != 0) {
    return itself ? "delete or rename it" : "delete what is made in it";
  }
  if ((rights & kDeleteChild) != 0) {
    return itself ? "delete or rename what is in it"
                  : "delete what is in the folders made in it";
  }
  if ((rights & kWriteDac) != 0) {
    return itself ? "change its permissions"
                  : "change the permissions of what is made in it";
  }
  if ((rights & kWriteOwner) != 0) {
    return itself ? "take its ownership"
                  : "take the ownership of what is made in it";
  }
  return itself ? "write or add to it" : "write to what is made in it";
}

// Why an untrusted principal holds one of rights in scope; empty when none
// does. Deny entries only take away, so they never clear an allow entry.
// In the entries made things inherit, CREATOR OWNER and OWNER RIGHTS stand
// for whoever makes them: trusted only when creators_trusted.
std::string Granted(const FoundObject& object, Scope scope,
                    std::uint32_t rights, bool creators_trusted,
                    const std::string& runner) {
  for (const AccessEntry& entry : object.dacl) {
    const bool inside =
        (entry.flags & (kObjectInherit | kContainerInherit)) != 0;
    const bool itself = (entry.flags & kInheritOnly) == 0;
    if (entry.deny || (scope == Scope::kItself ? !itself : !inside)) {
      continue;
    }
    const bool creator =
        entry.who == kCreatorOwner || entry.who == kOwnerRights;
    // On the object itself CREATOR OWNER names no one, and OWNER RIGHTS
    // its owner, whom the caller has already judged.
    if (creator ? (scope == Scope::kItself || creators_trusted)
                : Trusted(entry.who, runner)) {
      continue;
    }
    const std::uint32_t held = Mapped(entry.mask) & rights;
    if (held != 0) {
      return Named(entry.who) + " may " + RightsText(held, scope);
    }
  }
  return std::string();
}

bool Is(const FoundObject& object, std::uint32_t attribute) {
  return (object.attributes & attribute) != 0;
}

// Why no repair could make the object safe to use; empty when none.
std::string Unusable(const FoundObject& object, bool folder) {
  if (!object.opened) {
    return "it could not be opened and read without following links"
           " (another program may hold it open for deletion)";
  }
  if (Is(object, kFileAttributeReparsePoint)) {
    return "it is a link (a junction, mount point or symbolic link)";
  }
  if (Is(object, kFileAttributeDirectory) != folder) {
    return folder ? "it is not a folder" : "it is a folder";
  }
  return std::string();
}

// Why its owner or its DACL's absence lets others change it; empty when
// neither does.
std::string Unowned(const FoundObject& object, const std::string& runner) {
  if (!Trusted(object.owner, runner)) {
    return "its owner " + Named(object.owner) +
           " is neither SYSTEM nor Administrators";
  }
  if (!object.has_dacl) {
    return "it has no DACL, which gives everyone every right";
  }
  return std::string();
}

bool HasInheritedOwnerRights(const FoundObject& folder) {
  return std::any_of(
      folder.dacl.begin(), folder.dacl.end(), [](const AccessEntry& entry) {
        return entry.who == kOwnerRights && (entry.flags & kObjectInherit) != 0;
      });
}

std::u16string_view FolderOf(std::u16string_view path) {
  const std::size_t separator = path.rfind(u'\\');
  return separator == std::u16string_view::npos ? std::u16string_view()
                                                : path.substr(0, separator);
}

// Whether two paths name the same folder, letters compared as the file
// system compares them in these ASCII names.
bool SameFolderName(std::u16string_view one, std::u16string_view other) {
  const auto folded = [](char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 0x20)
                                        : unit;
  };
  return one.size() == other.size() &&
         std::equal(one.begin(), one.end(), other.begin(),
                    [&folded](char16_t a, char16_t b) {
                      return folded(a) == folded(b);
                    });
}

Judgement Refused(std::string why) {
  return {Verdict::kRefuse, std::move(why)};
}

Judgement RepairedFor(std::string why) {
  return {why.empty() ? Verdict::kKeep : Verdict::kRepair, std::move(why)};
}

}  // namespace

Judgement JudgeTempFolder(const FoundObject& folder,
                          const std::string& runner) {
  std::string why = Unusable(folder, /*folder=*/true);
  // A platform that follows a link all the same (Wine 8 follows a Unix
  // symbolic link) still shows where the handle leads.
  if (why.empty() && !SameFolderName(folder.final_path, u"\\\\?\\C:\\temp")) {
    why = "it leads elsewhere than C:\\temp itself (a link was followed)";
  }
  if (!why.empty()) {
    return Refused(why);
  }
  why = Unowned(folder, runner);
  if (why.empty()) {
    why = Granted(folder, Scope::kItself, kTakeAway | kDeleteChild, false,
                  runner);
  }
  if (why.empty()) {
    why =
        Granted(folder, Scope::kInside, kWriteDac | kWriteOwner, false, runner);
  }
  if (why.empty() && !HasInheritedOwnerRights(folder)) {
    why =
        "it has no inheritable OWNER RIGHTS entry, so each file's creator"
        " could lock the other users out of it";
  }
  return RepairedFor(why);
}

Judgement JudgeFileInTemp(const FoundObject& file, const FoundObject& folder,
                          const std::string& runner) {
  std::string why = Unusable(file, /*folder=*/false);
  if (why.empty() && file.link_count != 1) {
    why = "it has more than one name (a hard link)";
  }
  if (why.empty() && (file.volume_serial != folder.volume_serial ||
                      folder.final_path.empty() ||
                      FolderOf(file.final_path) != folder.final_path)) {
    why = "it does not lie in the C:\\temp that was judged";
  }
  if (!why.empty()) {
    return Refused(why);
  }
  why = Unowned(file, runner);
  if (why.empty()) {
    why = Granted(file, Scope::kItself, kTakeAway, false, runner);
  }
  return RepairedFor(why);
}

Judgement JudgeInstallPathFolder(const FoundObject& folder, bool install_folder,
                                 const std::string& runner) {
  // Above the install folder nothing may remove it or re-point the path,
  // which DELETE_CHILD on it allows for the next folder down.
  const std::uint32_t rights = install_folder
                                   ? kTakeAway | kDeleteChild | kWrite
                                   : kTakeAway | kDeleteChild;
  std::string why = Unusable(folder, /*folder=*/true);
  if (why.empty()) {
    why = Unowned(folder, runner);
  }
  if (why.empty()) {
    why = Granted(folder, Scope::kItself, rights, false, runner);
  }
  if (why.empty() && install_folder) {
    // No untrusted principal may make anything in it, so only the package
    // creates there, and CREATOR OWNER is whoever installs.
    why = Granted(folder, Scope::kInside, rights, true, runner);
  }
  return why.empty() ? Judgement{} : Refused(why);
}

}  // namespace setup
