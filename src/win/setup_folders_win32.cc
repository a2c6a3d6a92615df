// The package's custom actions about folders, kept in its Binary table and
// never installed. The deferred ones run as SYSTEM at the first install and
// again at any repair a standard user starts, at a moment that user
// chooses, so each acts only on what it made with its security descriptor,
// or on handles opened without following links and judged by the rules of
// setup/permissions.h; never on a name a user could change in between.
// Every open goes through NtCreateFile, which can be told to make a folder
// without following a link already at its name (CreateDirectoryW has no
// such flag), gives a handle to what it made, and opens a name relative to
// a folder's handle.
//
//   CheckInstallFolder    immediate, before anything is removed or
//                         installed: INSTALLDIR's name
//   PrepareInstallFolder  deferred, before InstallFiles: CustomActionData
//                         INSTALLDIR, walked from its drive's root
//   PrepareLogFolder      deferred: C:\temp, and in it the file that keeps
//                         it from being emptied and the log and the turn
//                         every user's run shares
#include <windows.h>
#include <winternl.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <msi.h>
#include <sddl.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "setup/permissions.h"
#include "setup/task_definition.h"
#include "win/setup_session_win32.h"

namespace {

constexpr wchar_t kTempFolder[] = L"\\??\\C:\\temp";
constexpr wchar_t kKeepFileName[] = L"tesmarinds-keep.txt";
constexpr char kKeepFileText[] =
    "This file keeps C:\\temp from ever being empty, so that no one can turn"
    " it into a link to another folder (a mount point needs an empty"
    " folder). Only administrators can remove it. It was made by the"
    " tesmarinds package, and stays when the package is removed.\r\n";

constexpr NTSTATUS kNameNotFound = static_cast<NTSTATUS>(0xC0000034L);
constexpr NTSTATUS kNameCollision = static_cast<NTSTATUS>(0xC0000035L);

// What a judgement reads, and what a repair writes as well.
constexpr ACCESS_MASK kJudgeAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;
constexpr ACCESS_MASK kRepairAccess = kJudgeAccess | WRITE_DAC | WRITE_OWNER;
// Never FILE_SHARE_DELETE: while a handle is held, no one can delete or
// rename what it holds.
constexpr ULONG kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};
using Descriptor = std::unique_ptr<void, LocalFreer>;

Descriptor DescriptorOf(const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorA(
          sddl, SDDL_REVISION_1, &descriptor, nullptr) == 0) {
    return nullptr;
  }
  return Descriptor(descriptor);
}

// Opens name, relative to root when there is one, never following a link at
// it: one is opened itself. With FILE_CREATE, makes it with descriptor, or
// fails (kNameCollision) when anything is there, a dangling link included.
NTSTATUS OpenAt(HANDLE root, const std::wstring& name, ACCESS_MASK access,
                ULONG share, ULONG disposition, ULONG options,
                PSECURITY_DESCRIPTOR descriptor, Handle* opened) {
  UNICODE_STRING text;
  text.Buffer = const_cast<wchar_t*>(name.c_str());
  text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root,
                             descriptor);
  IO_STATUS_BLOCK io_status = {};
  HANDLE handle = nullptr;
  const NTSTATUS status = NtCreateFile(
      &handle, access | SYNCHRONIZE, &attributes, &io_status, nullptr,
      FILE_ATTRIBUTE_NORMAL, share, disposition,
      options | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT |
          FILE_SYNCHRONOUS_IO_NONALERT,
      nullptr, 0);
  if (NT_SUCCESS(status)) {
    opened->reset(handle);
  }
  return status;
}

std::wstring ErrorOf(NTSTATUS status) {
  return L"error " + std::to_wstring(RtlNtStatusToDosError(status));
}

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (ConvertSidToStringSidA(sid, &text) == 0) {
    return std::string();
  }
  std::string kept = text;
  LocalFree(text);
  return kept;
}

// The account this action runs as: SYSTEM, and under Wine the Wine user.
std::string RunnerSid() {
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == 0) {
    return std::string();
  }
  std::vector<BYTE> user(256);
  DWORD size = 0;
  const BOOL read = GetTokenInformation(token, TokenUser, user.data(),
                                        static_cast<DWORD>(user.size()), &size);
  CloseHandle(token);
  return read != 0
             ? SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid)
             : std::string();
}

std::u16string FinalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, path.data(),
                                           static_cast<DWORD>(path.size()), 0);
  if (length >= path.size()) {
    path.resize(length);
    length = GetFinalPathNameByHandleW(handle, path.data(),
                                       static_cast<DWORD>(path.size()), 0);
  }
  if (length == 0 || length >= path.size()) {
    return std::u16string();
  }
  path.resize(length);
  return Utf16(path.c_str());
}

// An entry of a type other than these (object entries, which files do not
// carry) is an allow entry of every right for no one known.
setup::AccessEntry EntryOf(const void* ace) {
  const auto* header = static_cast<const ACE_HEADER*>(ace);
  setup::AccessEntry entry;
  entry.flags = header->AceFlags;
  entry.mask = 0xFFFFFFFFU;
  switch (header->AceType) {
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
      entry.deny = true;
      [[fallthrough]];
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
      // The callback entries share the plain ones' layout.
      const auto* known = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
      entry.mask = known->Mask;
      entry.who = SidText(const_cast<DWORD*>(&known->SidStart));
      break;
    }
    default:
      break;
  }
  return entry;
}

// What the handle holds, as the rules judge it; not opened when the open
// failed (status) or the facts could not be read.
setup::FoundObject Found(NTSTATUS status, HANDLE handle) {
  setup::FoundObject found;
  BY_HANDLE_FILE_INFORMATION information;
  if (!NT_SUCCESS(status) ||
      GetFileInformationByHandle(handle, &information) == 0) {
    return found;
  }
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      &owner, nullptr, &dacl, nullptr,
                      &descriptor) != ERROR_SUCCESS) {
    return found;
  }
  const Descriptor held(descriptor);
  found.opened = true;
  found.attributes = information.dwFileAttributes;
  found.link_count = information.nNumberOfLinks;
  found.volume_serial = information.dwVolumeSerialNumber;
  found.final_path = FinalPathOf(handle);
  found.owner = SidText(owner);
  found.has_dacl = dacl != nullptr;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (GetAce(dacl, i, &ace) != 0) {
      found.dacl.push_back(EntryOf(ace));
    }
  }
  return found;
}

// The judgement, with why the open failed when it did.
setup::Judgement Explained(setup::Judgement judgement, NTSTATUS status) {
  if (!NT_SUCCESS(status)) {
    judgement.why +=
        " (error " + std::to_string(RtlNtStatusToDosError(status)) + ")";
  }
  return judgement;
}

// Keeps, repairs or refuses what name is, as judged, through the handle
// that was judged. A repair gives the whole descriptor, owner and protected
// DACL, through SetKernelObjectSecurity, which sets this one object's
// descriptor and nothing more: SetSecurityInfo and SetNamedSecurityInfo
// would also carry inheritable entries on to what is inside, where a user
// may have put links. (Microsoft's page on SetKernelObjectSecurity points
// files to those two for the inheritance they work out, which a protected
// DACL given whole does not need.) False when the action must fail.
bool Settle(MSIHANDLE install, const std::wstring& name,
            const setup::Judgement& judgement, HANDLE handle,
            PSECURITY_DESCRIPTOR descriptor, const std::wstring& remedy) {
  const std::wstring why = FromAscii(judgement.why);
  switch (judgement.verdict) {
    case setup::Verdict::kKeep:
      Log(install, name + L" kept: its owner and permissions are sound");
      return true;
    case setup::Verdict::kRepair:
      if (SetKernelObjectSecurity(
              handle, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
              descriptor) != 0) {
        Log(install, name + L" repaired: " + why +
                         L"; Administrators own it now, and its permissions"
                         L" are the package's");
        return true;
      }
      Log(install, name + L" could not be repaired (error " +
                       std::to_wstring(GetLastError()) + L"): " + why + L". " +
                       remedy);
      return false;
    case setup::Verdict::kRefuse:
      break;
  }
  Log(install,
      name + L" refused: " + why + L". Nothing was changed. " + remedy);
  return false;
}

// Has the file deleted once closed; the handle was opened with DELETE.
void DeleteOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  static_cast<void>(SetFileInformationByHandle(
      file, FileDispositionInfo, &disposition, sizeof disposition));
}

// C:\temp made, or the one there judged and settled, held in *folder as
// *found describes it.
bool PrepareTempFolder(MSIHANDLE install, const std::string& runner,
                       Handle* folder, setup::FoundObject* found) {
  const Descriptor descriptor = DescriptorOf(setup::kTempFolderSddl);
  if (!descriptor) {
    Log(install, L"C:\\temp was not made: its permissions could not be read");
    return false;
  }
  // Shared for reading alone while this action works: no one can open the
  // new, empty folder to write, which setting a mount point on it needs,
  // before the file that keeps it from being empty is in.
  NTSTATUS status =
      OpenAt(nullptr, kTempFolder, kRepairAccess, FILE_SHARE_READ, FILE_CREATE,
             FILE_DIRECTORY_FILE, descriptor.get(), folder);
  if (NT_SUCCESS(status)) {
    *found = Found(status, folder->get());
    Log(install, L"C:\\temp made, its permissions given as it was created");
    return true;
  }
  if (status != kNameCollision) {
    Log(install, L"C:\\temp could not be made (" + ErrorOf(status) + L")");
    return false;
  }
  status = OpenAt(nullptr, kTempFolder, kRepairAccess, kShareReadWrite,
                  FILE_OPEN, 0, nullptr, folder);
  *found = Found(status, folder->get());
  return Settle(install, L"C:\\temp",
                Explained(setup::JudgeTempFolder(*found, runner), status),
                folder->get(), descriptor.get(),
                L"An administrator removes or renames C:\\temp, or makes it a"
                L" plain folder that Administrators own, and installs again");
}

// A file the package keeps in C:\temp: its name there, its descriptor, and
// the text it is made with (none for the files every run writes).
struct FileInTemp {
  const wchar_t* name;
  const char* sddl;
  const char* text;
  const wchar_t* made_so;  // why, for the install's log
};

constexpr FileInTemp kKeepFile = {kKeepFileName, setup::kKeepFileSddl,
                                  kKeepFileText,
                                  L"so that C:\\temp is never empty"};
// The log and the turn every user's run shares, made here so that no user
// makes them first with permissions that lock the others' runs out.
constexpr wchar_t kSharedSo[] =
    L"so that no user makes it first with permissions of their own";
constexpr FileInTemp kSharedFiles[] = {
    {L"Tesmarind.txt", setup::kSharedFileSddl, nullptr, kSharedSo},
    {L"Tesmarind-turn.txt", setup::kSharedFileSddl, nullptr, kSharedSo}};

// The file made in the folder with its descriptor, or the one there judged
// and settled. Its permissions are read and written without its data, so
// a run holding it open is no hindrance.
bool PrepareFileInTemp(MSIHANDLE install, const std::string& runner,
                       HANDLE folder, const setup::FoundObject& found_folder,
                       const FileInTemp& kept) {
  const std::wstring name = std::wstring(L"C:\\temp\\") + kept.name;
  const Descriptor descriptor = DescriptorOf(kept.sddl);
  if (!descriptor) {
    Log(install, name + L" was not made: its permissions could not be read");
    return false;
  }
  Handle file;
  const ACCESS_MASK access =
      kRepairAccess | DELETE | (kept.text != nullptr ? FILE_WRITE_DATA : 0);
  NTSTATUS status =
      OpenAt(folder, kept.name, access, kShareReadWrite, FILE_CREATE,
             FILE_NON_DIRECTORY_FILE, descriptor.get(), &file);
  const bool made = NT_SUCCESS(status);
  if (status == kNameCollision) {
    status = OpenAt(folder, kept.name, kRepairAccess, kShareReadWrite,
                    FILE_OPEN, 0, nullptr, &file);
  }
  const setup::Judgement judgement = Explained(
      setup::JudgeFileInTemp(Found(status, file.get()), found_folder, runner),
      status);
  if (!made) {
    return Settle(install, name, judgement, file.get(), descriptor.get(),
                  L"An administrator removes what is at " + name +
                      L" and installs again");
  }
  if (judgement.verdict == setup::Verdict::kRefuse) {
    DeleteOnClose(file.get());
    Log(install,
        name + L" made and deleted again: " + FromAscii(judgement.why));
    return false;
  }
  if (kept.text != nullptr) {
    DWORD written = 0;
    static_cast<void>(WriteFile(file.get(), kept.text,
                                static_cast<DWORD>(std::strlen(kept.text)),
                                &written, nullptr));
  }
  Log(install, name + L" made, " + kept.made_so);
  return true;
}

// One folder on INSTALLDIR's path: its name as opened (from its parent, or
// for the drive's root as the NT namespace names it), and its path as the
// log names it.
struct PathStep {
  std::wstring name;
  std::wstring path;
  bool install_folder = false;
};

// That folder opened from parent (none for the drive's root), made with
// descriptor where missing, else judged: why it is refused, empty when it
// is not.
std::wstring PrepareOnPath(MSIHANDLE install, const std::string& runner,
                           HANDLE parent, const PathStep& step,
                           PSECURITY_DESCRIPTOR descriptor, Handle* folder) {
  const std::wstring& name = step.name;
  NTSTATUS status = OpenAt(parent, name, kJudgeAccess, kShareReadWrite,
                           FILE_OPEN, 0, nullptr, folder);
  if (status == kNameNotFound && parent != nullptr) {
    status = OpenAt(parent, name, kJudgeAccess, kShareReadWrite, FILE_CREATE,
                    FILE_DIRECTORY_FILE, descriptor, folder);
    if (NT_SUCCESS(status)) {
      Log(install, step.path + L" made, which only administrators can change");
      return std::wstring();
    }
    // Made by someone else meanwhile: judged as what is there.
    if (status == kNameCollision) {
      status = OpenAt(parent, name, kJudgeAccess, kShareReadWrite, FILE_OPEN, 0,
                      nullptr, folder);
    }
  }
  const setup::Judgement judgement = setup::JudgeInstallPathFolder(
      Found(status, folder->get()), step.install_folder, runner);
  if (judgement.verdict == setup::Verdict::kKeep) {
    return std::wstring();
  }
  return step.path + L": " + FromAscii(Explained(judgement, status).why);
}

}  // namespace

extern "C" {

__declspec(dllexport) UINT __stdcall CheckInstallFolder(MSIHANDLE install) {
  const std::wstring folder = Property(install, L"INSTALLDIR");
  const std::string problem = setup::FolderNameProblem(Utf16(folder.c_str()));
  if (problem.empty()) {
    return ERROR_SUCCESS;
  }
  Log(install, L"INSTALLDIR " + folder + L" refused: " + FromAscii(problem) +
                   L". Nothing was installed or removed");
  return ERROR_INSTALL_FAILURE;
}

__declspec(dllexport) UINT __stdcall PrepareInstallFolder(MSIHANDLE install) {
  const std::wstring folder = Property(install, L"CustomActionData");
  const std::u16string text = Utf16(folder.c_str());
  std::wstring why = FromAscii(setup::FolderNameProblem(text));
  const std::vector<std::u16string> names = setup::FolderPath(text);
  std::wstring path = names.empty() ? std::wstring() : Wide(names[0]);
  if (why.empty() && GetDriveTypeW((path + L"\\").c_str()) != DRIVE_FIXED) {
    why = L"it is not on a fixed local drive";
  }
  const std::string runner = RunnerSid();
  const Descriptor descriptor = DescriptorOf(setup::kInstallFolderSddl);
  if (why.empty() && !descriptor) {
    why = L"the permissions of the folders it makes could not be read";
  }
  // Each folder is held open to the end, so none above can be renamed away.
  std::vector<Handle> held(names.size());
  for (size_t i = 0; why.empty() && i < names.size(); ++i) {
    PathStep step;
    if (i == 0) {
      step.name = L"\\??\\" + path + L"\\";
      step.path = path + L"\\";
    } else {
      step.name = Wide(names[i]);
      path += L"\\" + step.name;
      step.path = path;
    }
    step.install_folder = i + 1 == names.size();
    why = PrepareOnPath(install, runner, i == 0 ? nullptr : held[i - 1].get(),
                        step, descriptor.get(), &held[i]);
  }
  if (!why.empty()) {
    Log(install, L"INSTALLDIR " + folder + L" refused: " + why +
                     L". Install into a folder only administrators can"
                     L" change, such as the default under Program Files");
    return ERROR_INSTALL_FAILURE;
  }
  Log(install, L"INSTALLDIR " + folder +
                   L" and the folders above it: only administrators can"
                   L" change them");
  return ERROR_SUCCESS;
}

__declspec(dllexport) UINT __stdcall PrepareLogFolder(MSIHANDLE install) {
  const std::string runner = RunnerSid();
  Handle folder;
  setup::FoundObject found;
  if (!PrepareTempFolder(install, runner, &folder, &found) ||
      !PrepareFileInTemp(install, runner, folder.get(), found, kKeepFile)) {
    return ERROR_INSTALL_FAILURE;
  }
  // What cannot be settled here fails the runs, which say so in their
  // events, not the install: the keep file alone guards the folder itself.
  for (const FileInTemp& shared : kSharedFiles) {
    static_cast<void>(
        PrepareFileInTemp(install, runner, folder.get(), found, shared));
  }
  return ERROR_SUCCESS;
}

}  // extern "C"
