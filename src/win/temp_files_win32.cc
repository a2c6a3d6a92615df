// Opening, making and removing files in a folder held open
// (opened_file_win32.h) through handles judged by the rules of
// tempdir/temp_files.h, for the tool's log and for every file the task's
// runner keeps.
#include <windows.h>

#include <string>

#include "tempdir/temp_files.h"
#include "win/opened_file_win32.h"

namespace {

std::wstring PathIn(const JudgedFolder& folder, const std::wstring& name) {
  return folder.path + L"\\" + name;
}

HANDLE OpenFile(const std::wstring& path, DWORD access, DWORD share,
                DWORD disposition) {
  return CreateFileW(path.c_str(), access, share, nullptr, disposition,
                     kNoFollowOpenFlags, nullptr);
}

// Opens the file that is there without truncating it, or with create makes
// it only where nothing is: a dangling link makes creation fail instead of
// creating the link's target. *created tells whether the file is new.
HANDLE OpenOrCreateWithoutTruncating(const std::wstring& path, DWORD access,
                                     DWORD share, bool create, bool* created) {
  *created = false;
  HANDLE file = OpenFile(path, access, share, OPEN_EXISTING);
  if (create && file == INVALID_HANDLE_VALUE &&
      GetLastError() == ERROR_FILE_NOT_FOUND) {
    // DELETE, so that a new file that is then refused can be taken away.
    file = OpenFile(path, access | DELETE, share, CREATE_NEW);
    *created = file != INVALID_HANDLE_VALUE;
  }
  return file;
}

// What precedes and what follows the last backslash of path.
std::wstring FolderPartOf(const std::wstring& path) {
  const std::wstring::size_type separator = path.rfind(L'\\');
  return separator == std::wstring::npos ? std::wstring()
                                         : path.substr(0, separator);
}
std::wstring LastPartOf(const std::wstring& path) {
  const std::wstring::size_type separator = path.rfind(L'\\');
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

bool SameName(const std::wstring& one, const std::wstring& other) {
  return !one.empty() && CompareStringOrdinal(one.c_str(), -1, other.c_str(),
                                              -1, TRUE) == CSTR_EQUAL;
}

// The path the handle really leads to, links followed and without the
// volume, which some RAM disks and mounted images cannot name; the volume
// is told apart by its serial number instead.
std::wstring FinalPathOf(HANDLE file) {
  const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_NONE;
  std::wstring final_path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(
      file, final_path.data(), static_cast<DWORD>(final_path.size()), flags);
  if (length >= final_path.size()) {
    // Too small: length is the size needed, terminator included.
    final_path.resize(length);
    length = GetFinalPathNameByHandleW(
        file, final_path.data(), static_cast<DWORD>(final_path.size()), flags);
  }
  if (length == 0 || length >= final_path.size()) {
    return std::wstring();
  }
  final_path.resize(length);
  return final_path;
}

// What the file open at name in folder reports about itself. A name in the
// folder may itself be redirected to a file elsewhere, so the file's final
// path must be the name asked for in the folder as it really is, on its
// volume.
OpenedFileFacts Describe(HANDLE file, const JudgedFolder& folder,
                         const std::wstring& name, bool created) {
  OpenedFileFacts facts;
  facts.created = created;
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(file, &information) == 0) {
    return facts;
  }
  facts.described = true;
  facts.attributes = information.dwFileAttributes;
  facts.link_count = information.nNumberOfLinks;
  const std::wstring final_path = FinalPathOf(file);
  facts.final_name_matches =
      information.dwVolumeSerialNumber == folder.volume &&
      SameName(LastPartOf(final_path), name) &&
      SameName(FolderPartOf(final_path), folder.final_path);
  return facts;
}

// The handle when the rules take what it opened; otherwise closed, deleted
// when this open made it, and INVALID_HANDLE_VALUE with ERROR_ACCESS_DENIED.
HANDLE Judged(HANDLE file, const JudgedFolder& folder,
              const std::wstring& name, bool created,
              OpenedFileFacts* facts) {
  *facts = Describe(file, folder, name, created);
  const FileVerdict verdict = JudgeOpenedFile(*facts);
  if (verdict == FileVerdict::kUse) {
    return file;
  }
  if (verdict == FileVerdict::kRefuseAndDelete) {
    DeleteOnClose(file);
  }
  CloseHandle(file);
  SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool OpenFolder(const std::wstring& path, JudgedFolder* folder) {
  HANDLE handle =
      CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  BY_HANDLE_FILE_INFORMATION information;
  const std::wstring final_path = FinalPathOf(handle);
  if (GetFileInformationByHandle(handle, &information) == 0 ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      final_path.empty()) {
    CloseHandle(handle);
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  folder->handle = handle;
  folder->path = path;
  folder->final_path = final_path;
  folder->volume = information.dwVolumeSerialNumber;
  return true;
}

void CloseFolder(JudgedFolder* folder) {
  if (folder->handle != INVALID_HANDLE_VALUE) {
    CloseHandle(folder->handle);
    folder->handle = INVALID_HANDLE_VALUE;
  }
}

void DeleteOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  static_cast<void>(SetFileInformationByHandle(
      file, FileDispositionInfo, &disposition, sizeof disposition));
}

HANDLE OpenJudged(const JudgedFolder& folder, const std::wstring& name,
                  DWORD access, DWORD share, bool create,
                  OpenedFileFacts* facts) {
  bool created = false;
  HANDLE file = OpenOrCreateWithoutTruncating(PathIn(folder, name), access,
                                              share, create, &created);
  if (file == INVALID_HANDLE_VALUE) {
    return file;
  }
  return Judged(file, folder, name, created, facts);
}

HANDLE CreateNewJudged(const JudgedFolder& folder, const std::wstring& name,
                       DWORD access, OpenedFileFacts* facts) {
  HANDLE file = OpenFile(PathIn(folder, name), access | DELETE, 0, CREATE_NEW);
  if (file == INVALID_HANDLE_VALUE) {
    return file;
  }
  return Judged(file, folder, name, /*created=*/true, facts);
}

bool RemoveJudged(const JudgedFolder& folder, const std::wstring& name) {
  HANDLE file = OpenFile(PathIn(folder, name), DELETE | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  OpenedFileFacts facts;
  file = Judged(file, folder, name, /*created=*/false, &facts);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DeleteOnClose(file);
  CloseHandle(file);
  return true;
}
