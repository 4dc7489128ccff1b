// Runs the command line a launcher was given as a child with no window and
// no terminal, waits for it to end, and gives the launcher's exit status.
#pragma once

namespace plat {

// 0 once the child has ended, whatever its own status; 220 when it cannot
// be started. Win32 takes the command line as the platform hands it over,
// minus the launcher's own name, unchanged; POSIX runs argv[1..] without a
// shell, looked up on PATH, in a new session with its streams on /dev/null.
int RunHiddenAndWait(int argc, char **argv);

}  // namespace plat
