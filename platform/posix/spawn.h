// Inside the POSIX backend: the one place a child process is set up. Every
// child starts with no signal blocked and every signal at its default, so
// nothing a parent masked or ignored for itself leaks into it.
#pragma once
#include <sys/types.h>

namespace plat {

// What a standard stream of the child becomes: one of our descriptors (0 or
// more), the null device, or ours as it is.
inline constexpr int kSpawnNull = -2;
inline constexpr int kSpawnInherit = -1;

struct SpawnSetup {
  int streams[3] = {kSpawnInherit, kSpawnInherit, kSpawnInherit};
  bool new_session = false;         // away from our terminal and process group
  const char *directory = nullptr;  // the child's working folder; null or empty: ours
  bool search_path = false;         // a program named without a slash is looked up as the shell does
  // The child leads a process group of its own and is killed (SIGKILL) when
  // the thread that started it ends, whether by its own end or by the end
  // of this whole process. posix_spawn cannot set the death signal, so such
  // a child is started with fork and exec; search_path is not taken then.
  bool job_member = false;
};

// Starts program with argv (null-terminated) and our environment: 0 with the
// child's pid, or the error number of the failure.
int SpawnChild(const char *program, char *const argv[], const SpawnSetup &setup, pid_t *pid);

}  // namespace plat
