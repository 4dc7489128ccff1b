// Child processes on POSIX, started by SpawnChild. A process handle points to a
// small record that remembers the exit status once the child is reaped, and
// the exit code asked for when we terminated it. Waits block on a pidfd, so
// they end the moment the child exits.
#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/error.h"
#include "platform/posix/job_record.h"
#include "platform/posix/spawn.h"
#include "platform/sys.h"

namespace plat {

namespace {

struct Child {
  pid_t pid = 0;
  int pidfd = -1;
  bool reaped = false;
  std::uint32_t exit_code = kStillActive;
  bool terminated = false;
  std::uint32_t terminate_code = 0;
  bool group = false;  // leads a process group of its own (a job's child)
  std::string record;  // the job's record of it, removed once it is reaped
};

Child *AsChild(ProcessHandle h) { return h == kInvalidProcess ? nullptr : reinterpret_cast<Child *>(h); }

int HandleFd(FileHandle h) { return static_cast<int>(reinterpret_cast<std::intptr_t>(h)); }

bool Reap(Child *c, bool block) {
  if (c->reaped) return true;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(c->pid, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  if (r < 0) {
    // Someone else reaped it; treat as ended with an unknown code.
    c->reaped = true;
    c->exit_code = c->terminated ? c->terminate_code : 1;
    return true;
  }
  c->reaped = true;
  if (WIFEXITED(status)) {
    c->exit_code = static_cast<std::uint32_t>(WEXITSTATUS(status));
  } else if (c->terminated) {
    c->exit_code = c->terminate_code;
  } else {
    // Killed by a signal we did not send: report as Windows reports a crash.
    c->exit_code = 0xC0000000u | static_cast<std::uint32_t>(WTERMSIG(status));
  }
  return true;
}

}  // namespace

std::string FindProgram(const char *name) {
  if (name == nullptr || *name == '\0') return {};
  if (std::strchr(name, '/') != nullptr) return FileExists(name) ? name : "";
  std::string path = GetEnv("PATH");
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    std::string dir = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (dir.empty()) dir = ".";
    std::string full = dir + "/" + name;
    if (access(full.c_str(), X_OK) == 0) {
      struct stat st {};
      if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return full;
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

bool StartProcess(const char *command_line, const ProcessOptions &options, Process *out) {
  std::vector<std::string> args = SplitCommandLine(command_line);
  std::string program;
  if (options.application != nullptr) {
    program = FindProgram(options.application);
  } else if (!args.empty()) {
    program = FindProgram(args[0].c_str());
  }
  if (args.empty() && options.application != nullptr) args.push_back(options.application);
  if (program.empty() || args.empty()) {
    SetLastError(kErrFileNotFound);
    return false;
  }
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  SpawnSetup setup;
  setup.new_session = options.hidden;
  setup.job_member = options.job != nullptr;
  setup.directory = options.directory;
  FileHandle streams[3] = {options.std_in, options.std_out, options.std_err};
  for (int i = 0; i < 3; ++i) {
    if (streams[i] != kInvalidFile) {
      setup.streams[i] = HandleFd(streams[i]);
    } else if (options.hidden) {
      setup.streams[i] = kSpawnNull;
    }
  }
  pid_t pid = 0;
  int rc = SpawnChild(program.c_str(), argv.data(), setup, &pid);
  if (rc != 0) {
    SetLastError(ErrorFromErrno(rc));
    return false;
  }
  auto child = std::make_unique<Child>();
  child->pid = pid;
  child->group = options.job != nullptr;
  child->record = JobRecordChild(options.job, pid);
  child->pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (child->pidfd >= 0) fcntl(child->pidfd, F_SETFD, FD_CLOEXEC);
  out->pid = static_cast<std::uint32_t>(pid);
  out->handle = reinterpret_cast<ProcessHandle>(child.release());
  return true;
}

int WaitProcess(ProcessHandle process, std::uint32_t timeout_ms) {
  Child *c = AsChild(process);
  if (c == nullptr) {
    SetLastError(kErrInvalidHandle);
    return -1;
  }
  if (Reap(c, false)) return 0;
  std::int64_t deadline = MonotonicMillis() + timeout_ms;
  for (;;) {
    std::int64_t left = timeout_ms == 0xFFFFFFFFu ? -1 : deadline - MonotonicMillis();
    if (left < 0 && timeout_ms != 0xFFFFFFFFu) left = 0;
    if (c->pidfd >= 0) {
      pollfd p{c->pidfd, POLLIN, 0};
      int r = poll(&p, 1, static_cast<int>(left));
      if (r < 0 && errno != EINTR) {
        SetLastError(ErrorFromErrno(errno));
        return -1;
      }
    } else {
      // No pidfd (old kernel): look again every millisecond.
      timespec ts{0, 1000000};
      nanosleep(&ts, nullptr);
    }
    if (Reap(c, false)) return 0;
    if (timeout_ms != 0xFFFFFFFFu && MonotonicMillis() >= deadline) return 1;
  }
}

bool ProcessExitCode(ProcessHandle process, std::uint32_t *code) {
  Child *c = AsChild(process);
  if (c == nullptr || code == nullptr) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  Reap(c, false);
  *code = c->reaped ? c->exit_code : kStillActive;
  return true;
}

bool TerminateProcess(ProcessHandle process, std::uint32_t code) {
  Child *c = AsChild(process);
  if (c == nullptr) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  if (c->reaped) {
    SetLastError(kErrAccessDenied);  // as Win32 answers for a process that has ended
    return false;
  }
  c->terminated = true;
  c->terminate_code = code;
  // What the child started goes with it.
  if (c->group) kill(-c->pid, SIGKILL);
  if (kill(c->pid, SIGKILL) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  Reap(c, true);
  return true;
}

void CloseProcess(ProcessHandle process) {
  Child *c = AsChild(process);
  if (c == nullptr) return;
  // Reap a child that has already ended so it does not stay a zombie.
  Reap(c, false);
  if (c->reaped && !c->record.empty()) unlink(c->record.c_str());
  if (c->pidfd >= 0) close(c->pidfd);
  delete c;
}

FileHandle FileHandleOf(std::FILE *file) {
  return reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(fileno(file)));
}

}  // namespace plat
