// The tool's run, as the task's runner starts it (task/platform.h): without
// a console, its standard output captured, in a job that ends it with the
// runner or at the bound.
#include <windows.h>

#include <string>
#include <vector>

#include "task/platform.h"

namespace {

// The most of a program's messages kept, and what the pipe they come
// through holds, far more than the tool's longest message.
constexpr std::size_t kMostSaid = std::size_t{64} * 1024;
constexpr DWORD kPipeBytes = 64 * 1024;
// How often the tool's messages are taken from the pipe while it runs.
constexpr DWORD kDrainEveryMs = 200;

// A job that ends every process in it when its last handle closes (this
// program's, closed by the system when the task is ended: its time limit,
// ［終了］, schtasks /end), and ends one that would wait on an error dialog
// instead of ending. Null, with the last error, when it cannot be made so.
HANDLE EndingJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) {
    return nullptr;
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
      JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  if (SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                              sizeof limits) == 0) {
    const DWORD error = GetLastError();
    CloseHandle(job);
    SetLastError(error);
    return nullptr;
  }
  return job;
}

// The list of the handles a new process inherits: only writer.
class InheritOnly {
 public:
  explicit InheritOnly(HANDLE* writer) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer_.data());
    made_ = size != 0 &&
            InitializeProcThreadAttributeList(list_, 1, 0, &size) != 0 &&
            UpdateProcThreadAttribute(list_, 0,
                                      PROC_THREAD_ATTRIBUTE_HANDLE_LIST, writer,
                                      sizeof *writer, nullptr, nullptr) != 0;
  }
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;
  ~InheritOnly() {
    if (made_) {
      DeleteProcThreadAttributeList(list_);
    }
  }
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return made_ ? list_ : nullptr; }

 private:
  std::vector<BYTE> buffer_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool made_ = false;
};

std::u16string FromCodePage932(const std::string& bytes) {
  if (bytes.empty()) {
    return std::u16string();
  }
  const int size = MultiByteToWideChar(932, 0, bytes.data(),
                                       static_cast<int>(bytes.size()), nullptr,
                                       0);
  std::wstring wide(size > 0 ? size : 0, L'\0');
  if (size <= 0 || MultiByteToWideChar(932, 0, bytes.data(),
                                       static_cast<int>(bytes.size()),
                                       wide.data(), size) != size) {
    return std::u16string();
  }
  return std::u16string(wide.begin(), wide.end());
}

// Takes what waits in the pipe, keeping at most kMostSaid of it.
void Drain(HANDLE reader, std::string* said) {
  DWORD waiting = 0;
  while (PeekNamedPipe(reader, nullptr, 0, nullptr, &waiting, nullptr) != 0 &&
         waiting > 0) {
    std::string chunk(waiting, '\0');
    DWORD read = 0;
    if (ReadFile(reader, chunk.data(), waiting, &read, nullptr) == 0 ||
        read == 0) {
      return;
    }
    if (said->size() < kMostSaid) {
      said->append(chunk, 0, read);
    }
  }
}

// Waits for the process, taking its messages from the pipe while it runs,
// so that no amount of output can block it, and to the end once it has
// ended, not until the pipe's end: a process it starts (under Wine the
// desktop's own) may keep its end open for ever. False when it was still
// running at the bound.
bool WaitTaking(const PROCESS_INFORMATION& process, HANDLE reader,
                unsigned bound_s, std::string* said) {
  const ULONGLONG deadline = GetTickCount64() + ULONGLONG{bound_s} * 1000;
  for (;;) {
    const DWORD waited = WaitForSingleObject(process.hProcess, kDrainEveryMs);
    Drain(reader, said);
    if (waited != WAIT_TIMEOUT) {
      return true;
    }
    if (GetTickCount64() >= deadline) {
      return false;
    }
  }
}

}  // namespace

// The job is kept to the end of this program: closing it would end
// whatever the tool left running.
ProgramRun RunWithoutConsole(const std::u16string& command_line,
                             unsigned bound_s) {
  ProgramRun run;
  HANDLE job = EndingJob();
  if (job == nullptr) {
    run.job_error = GetLastError();
    return run;
  }
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  if (CreatePipe(&reader, &writer, &inherited, kPipeBytes) == 0) {
    run.start_error = GetLastError();
    return run;
  }
  SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
  InheritOnly only_the_pipe(&writer);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  // Its standard error is nobody's: only its standard output is its
  // message.
  startup.StartupInfo.hStdOutput = writer;
  startup.lpAttributeList = only_the_pipe.list();
  PROCESS_INFORMATION process{};
  // CreateProcessW may write to the command line it is given. The program
  // is its first part, a full path in quotation marks: nothing is searched.
  // Suspended until it is in the job, so it starts nothing outside it.
  std::u16string line = command_line;
  if (only_the_pipe.list() == nullptr) {
    run.start_error = GetLastError();
  } else {
    run.started =
        CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()),
                       nullptr, nullptr, TRUE,
                       CREATE_NO_WINDOW | CREATE_SUSPENDED |
                           EXTENDED_STARTUPINFO_PRESENT,
                       nullptr, nullptr, &startup.StartupInfo, &process) != 0;
    run.start_error = run.started ? 0 : GetLastError();
  }
  CloseHandle(writer);
  if (run.started) {
    if (AssignProcessToJobObject(job, process.hProcess) == 0) {
      run.job_error = GetLastError();
      TerminateProcess(process.hProcess, ERROR_NOT_SUPPORTED);
    } else {
      ResumeThread(process.hThread);
      std::string said;
      run.ran_too_long = !WaitTaking(process, reader, bound_s, &said);
      if (run.ran_too_long) {
        TerminateJobObject(job, ERROR_TIMEOUT);
        WaitForSingleObject(process.hProcess, INFINITE);
      }
      run.said = FromCodePage932(said);
      DWORD status = 0;
      GetExitCodeProcess(process.hProcess, &status);
      run.status = status;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(reader);
  return run;
}
