// The hidden launcher on POSIX: the arguments are the command, run without
// a shell in a session of its own, away from our terminal.
#include "platform/launch.h"

#include <sys/wait.h>

#include <cerrno>

#include "platform/posix/spawn.h"

namespace plat {

int RunHiddenAndWait(int argc, char **argv) {
  if (argc < 2 || argv[1] == nullptr || argv[1][0] == '\0') return 220;
  SpawnSetup setup;
  setup.streams[0] = setup.streams[1] = setup.streams[2] = kSpawnNull;
  setup.new_session = true;
  setup.search_path = true;
  pid_t pid = 0;
  if (SpawnChild(argv[1], argv + 1, setup, &pid) != 0) return 220;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) break;
  }
  return 0;
}

}  // namespace plat
