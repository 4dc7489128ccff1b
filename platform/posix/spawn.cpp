// Setting up and starting a child with posix_spawn, for every part of the
// backend that starts one; a job's child with fork and exec.
#include "platform/posix/spawn.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char **environ;

namespace plat {

namespace {

// Between fork and exec the child may only make plain system calls: another
// thread of ours may have held a lock of the C library at the fork.
[[noreturn]] void BecomeJobChild(const char *program, char *const argv[], const SpawnSetup &setup, pid_t parent,
                                 int report) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int s = 1; s < NSIG; ++s) sigaction(s, &dfl, nullptr);
  if (setup.new_session) {
    setsid();
  } else {
    setpgid(0, 0);
  }
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The parent may have died before the death signal was set.
  if (getppid() != parent) _exit(127);
  for (int i = 0; i < 3; ++i) {
    if (setup.streams[i] >= 0) {
      if (setup.streams[i] != i) dup2(setup.streams[i], i);
    } else if (setup.streams[i] == kSpawnNull || i == 0) {
      // Outside our process group a read from our terminal would stop it.
      int fd = open("/dev/null", i == 0 ? O_RDONLY : O_WRONLY);
      if (fd >= 0 && fd != i) {
        dup2(fd, i);
        close(fd);
      }
    }
  }
  // Every other descriptor closes at the exec, the report pipe with them.
  if (syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd < 4096; ++fd) {
      if (fd != report) close(fd);
    }
  }
  if (setup.directory != nullptr && *setup.directory != '\0' && chdir(setup.directory) != 0) {
    int e = errno;
    (void)!write(report, &e, sizeof e);
    _exit(127);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execv(program, argv);
  int e = errno;
  (void)!write(report, &e, sizeof e);
  _exit(127);
}

int SpawnJobChild(const char *program, char *const argv[], const SpawnSetup &setup, pid_t *pid) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return errno;
  // No handler of ours may run in the child before it has reset them all.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  pid_t parent = getpid();
  pid_t child = fork();
  if (child == 0) BecomeJobChild(program, argv, setup, parent, report[1]);
  int fork_error = errno;
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  close(report[1]);
  if (child < 0) {
    close(report[0]);
    return fork_error;
  }
  // Set here too, so the group exists before we might end it.
  setpgid(child, child);
  int child_error = 0;
  ssize_t n;
  do {
    n = read(report[0], &child_error, sizeof child_error);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof child_error)) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return child_error != 0 ? child_error : ENOEXEC;
  }
  *pid = child;
  return 0;
}

}  // namespace

int SpawnChild(const char *program, char *const argv[], const SpawnSetup &setup, pid_t *pid) {
  if (setup.job_member) return SpawnJobChild(program, argv, setup, pid);
  posix_spawn_file_actions_t fa;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&fa);
  posix_spawnattr_init(&attr);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  if (setup.new_session) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attr, flags);
  for (int i = 0; i < 3; ++i) {
    if (setup.streams[i] >= 0) {
      posix_spawn_file_actions_adddup2(&fa, setup.streams[i], i);
    } else if (setup.streams[i] == kSpawnNull) {
      posix_spawn_file_actions_addopen(&fa, i, "/dev/null", i == 0 ? O_RDONLY : O_WRONLY, 0);
    }
  }
  // The child gets its three streams and nothing else of ours: files other
  // threads have open (a query's output, a lock) stay out of it.
  posix_spawn_file_actions_addclosefrom_np(&fa, 3);
  if (setup.directory != nullptr && *setup.directory != '\0') {
    posix_spawn_file_actions_addchdir_np(&fa, setup.directory);
  }
  pid_t child = 0;
  int rc = setup.search_path ? posix_spawnp(&child, program, &fa, &attr, argv, environ)
                             : posix_spawn(&child, program, &fa, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  if (rc == 0) *pid = child;
  return rc;
}

}  // namespace plat
