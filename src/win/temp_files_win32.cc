// Opening, making and removing the files of c:\temp (tempdir/temp_files.h)
// through handles judged by the rules there, for the tool's log and for
// every file the task's runner keeps beside it.
#include <windows.h>

#include <string>

#include "tempdir/temp_files.h"
#include "win/opened_file_win32.h"

namespace {

HANDLE OpenFile(const char* path, DWORD access, DWORD share,
                DWORD disposition) {
  return CreateFileA(path, access, share, nullptr, disposition, kLogOpenFlags,
                     nullptr);
}

// Opens the file that is there without truncating it, or with create makes
// it only where nothing is: a dangling link makes creation fail instead of
// creating the link's target. *created tells whether the file is new.
HANDLE OpenOrCreateWithoutTruncating(const char* path, DWORD access,
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
// volume, which some RAM disks and mounted images cannot name.
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

// The final path of the folder path names, its links followed: a c:\temp
// kept elsewhere is that place. Empty when it cannot be opened as a folder
// (one mounted on something that is no folder among them).
std::wstring FinalPathOfFolder(const std::wstring& folder) {
  HANDLE handle =
      CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return std::wstring();
  }
  std::wstring final_path = FinalPathOf(handle);
  CloseHandle(handle);
  return final_path;
}

// What the file open at path reports about itself. A name inside c:\temp
// may itself be redirected to a file elsewhere, so the file's final path
// must be the name asked for in the folder as it really is.
OpenedLogFile Describe(HANDLE file, const char* path, bool created) {
  OpenedLogFile facts;
  facts.created = created;
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(file, &information) == 0) {
    return facts;
  }
  facts.described = true;
  facts.attributes = information.dwFileAttributes;
  facts.link_count = information.nNumberOfLinks;
  const std::wstring asked_for = Widened(path, CP_ACP);
  const std::wstring final_path = FinalPathOf(file);
  facts.final_name_matches =
      SameName(LastPartOf(final_path), LastPartOf(asked_for)) &&
      SameName(FolderPartOf(final_path),
               FinalPathOfFolder(FolderPartOf(asked_for)));
  return facts;
}

// The handle when the rules take what it opened; otherwise closed, deleted
// when this open made it, and INVALID_HANDLE_VALUE with ERROR_ACCESS_DENIED.
HANDLE Judged(HANDLE file, const char* path, bool created,
              OpenedLogFile* facts) {
  *facts = Describe(file, path, created);
  const LogFileVerdict verdict = JudgeOpenedLogFile(*facts);
  if (verdict == LogFileVerdict::kUse) {
    return file;
  }
  if (verdict == LogFileVerdict::kRefuseAndDelete) {
    DeleteOnClose(file);
  }
  CloseHandle(file);
  SetLastError(ERROR_ACCESS_DENIED);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

void DeleteOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  static_cast<void>(SetFileInformationByHandle(
      file, FileDispositionInfo, &disposition, sizeof disposition));
}

HANDLE OpenAsLog(const char* path, DWORD access, DWORD share, bool create,
                 OpenedLogFile* facts) {
  bool created = false;
  HANDLE file =
      OpenOrCreateWithoutTruncating(path, access, share, create, &created);
  if (file == INVALID_HANDLE_VALUE) {
    return file;
  }
  return Judged(file, path, created, facts);
}

HANDLE CreateNewAsLog(const char* path, DWORD access, DWORD share,
                      OpenedLogFile* facts) {
  HANDLE file = OpenFile(path, access | DELETE, share, CREATE_NEW);
  if (file == INVALID_HANDLE_VALUE) {
    return file;
  }
  return Judged(file, path, /*created=*/true, facts);
}

bool RemoveAsLog(const char* path) {
  HANDLE file = OpenFile(path, DELETE | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  OpenedLogFile facts;
  file = Judged(file, path, /*created=*/false, &facts);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DeleteOnClose(file);
  CloseHandle(file);
  return true;
}
