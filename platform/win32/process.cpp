// Child processes on Win32 through CreateProcessA and process handles.
#include "platform/process.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/sys.h"

namespace plat {

std::string FindProgram(const char *name) {
  if (name == nullptr || *name == '\0') return {};
  char buf[MAX_PATH + 1] = {};
  char *file_part = nullptr;
  DWORD n = ::SearchPathA(nullptr, name, ".exe", sizeof buf, buf, &file_part);
  if (n == 0 || n >= sizeof buf) return {};
  return std::string(buf, n);
}

bool StartProcess(const char *command_line, const ProcessOptions &options, Process *out) {
  STARTUPINFOA si;
  std::memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  bool use_std = options.std_in != kInvalidFile || options.std_out != kInvalidFile || options.std_err != kInvalidFile;
  if (use_std) {
    si.dwFlags |= STARTF_USESTDHANDLES;
    si.hStdInput = options.std_in != kInvalidFile ? options.std_in : ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = options.std_out != kInvalidFile ? options.std_out : ::GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = options.std_err != kInvalidFile ? options.std_err : ::GetStdHandle(STD_ERROR_HANDLE);
  }
  if (options.hidden) {
    si.dwFlags |= STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION pi;
  std::memset(&pi, 0, sizeof pi);
  std::string cmd = command_line != nullptr ? command_line : "";
  std::vector<char> writable(cmd.begin(), cmd.end());
  writable.push_back('\0');
  DWORD flags = options.hidden ? CREATE_NO_WINDOW : 0;
  // A job's child joins it before it runs a single instruction, so nothing
  // it starts can escape the job.
  if (options.job != nullptr) flags |= CREATE_SUSPENDED;
  // The child inherits its three streams and nothing else: the C runtime
  // opens every file inheritable, and a child started while another thread
  // has a file open would otherwise keep that file open (and undeletable)
  // for its whole life. The streams are inheritable only while the child is
  // created, one child at a time.
  static SRWLOCK one_at_a_time = SRWLOCK_INIT;
  ::AcquireSRWLockExclusive(&one_at_a_time);
  HANDLE list[3] = {};
  HANDLE made[3] = {};
  int listed = 0, made_count = 0;
  if (use_std) {
    for (HANDLE h : {si.hStdInput, si.hStdOutput, si.hStdError}) {
      DWORD info = 0;
      if (h == nullptr || h == INVALID_HANDLE_VALUE || !::GetHandleInformation(h, &info)) continue;
      if (std::find(list, list + listed, h) != list + listed) continue;
      list[listed++] = h;
      if ((info & HANDLE_FLAG_INHERIT) == 0 && ::SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        made[made_count++] = h;
      }
    }
  }
  STARTUPINFOEXA six;
  std::memset(&six, 0, sizeof six);
  six.StartupInfo = si;
  six.StartupInfo.cb = sizeof six;
  SIZE_T size = 0;
  std::vector<unsigned char> attributes;
  if (listed > 0) {
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributes.resize(size);
    auto *attr = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    if (::InitializeProcThreadAttributeList(attr, 1, 0, &size)) {
      if (::UpdateProcThreadAttribute(attr, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, list, listed * sizeof(HANDLE),
                                      nullptr, nullptr)) {
        six.lpAttributeList = attr;
        flags |= EXTENDED_STARTUPINFO_PRESENT;
      } else {
        ::DeleteProcThreadAttributeList(attr);
      }
    }
  }
  STARTUPINFOA *start = six.lpAttributeList != nullptr ? &six.StartupInfo : &si;
  BOOL started = ::CreateProcessA(options.application, writable.data(), nullptr, nullptr, use_std ? TRUE : FALSE, flags,
                                  nullptr, options.directory, start, &pi);
  DWORD error = ::GetLastError();
  if (six.lpAttributeList != nullptr) ::DeleteProcThreadAttributeList(six.lpAttributeList);
  for (int i = 0; i < made_count; ++i) ::SetHandleInformation(made[i], HANDLE_FLAG_INHERIT, 0);
  ::ReleaseSRWLockExclusive(&one_at_a_time);
  if (!started) {
    ::SetLastError(error);
    return false;
  }
  if (options.job != nullptr) {
    // A host that runs inside a job of its own on a system without nested
    // jobs cannot put its children into another: the child then runs as
    // children did before jobs, rather than every query failing.
    ::AssignProcessToJobObject(reinterpret_cast<HANDLE>(options.job), pi.hProcess);
    ::ResumeThread(pi.hThread);
  }
  ::CloseHandle(pi.hThread);
  out->handle = static_cast<ProcessHandle>(pi.hProcess);
  out->pid = pi.dwProcessId;
  return true;
}

int WaitProcess(ProcessHandle process, std::uint32_t timeout_ms) {
  DWORD r = ::WaitForSingleObject(process, timeout_ms);
  if (r == WAIT_OBJECT_0) return 0;
  if (r == WAIT_TIMEOUT) return 1;
  return -1;
}

bool ProcessExitCode(ProcessHandle process, std::uint32_t *code) {
  DWORD c = 0;
  if (!::GetExitCodeProcess(process, &c)) return false;
  *code = c;
  return true;
}

bool TerminateProcess(ProcessHandle process, std::uint32_t code) {
  if (!::TerminateProcess(process, code)) return false;
  ::WaitForSingleObject(process, 5000);
  return true;
}

void CloseProcess(ProcessHandle process) {
  if (process != kInvalidProcess && process != nullptr) ::CloseHandle(process);
}

FileHandle FileHandleOf(std::FILE *file) { return reinterpret_cast<FileHandle>(_get_osfhandle(_fileno(file))); }

}  // namespace plat
