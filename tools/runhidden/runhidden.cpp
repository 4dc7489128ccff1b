// runhidden: runs the command line it is given with no window (no terminal
// on POSIX), waits for it, and ends with 0, or 220 when it cannot start it.
// It reports nothing else: its callers have no console to read.
#include "platform/launch.h"

int main(int argc, char **argv) { return plat::RunHiddenAndWait(argc, argv); }
