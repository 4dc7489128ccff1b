// Setting up and starting a child with posix_spawn, for every part of the
// backend that starts one.
#include "platform/posix/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

extern char **environ;

namespace plat {

int SpawnChild(const char *program, char *const argv[], const SpawnSetup &setup, pid_t *pid) {
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
