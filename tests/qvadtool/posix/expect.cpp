#include "../toolrun.h"

namespace tooltest {
const char kEol[] = "\n";
const bool kFullExitCodes = false;
const char kFullDevice[] = "/dev/full";
const bool kSlowProcessStart = false;
const bool kOpenFileBlocksRename = false;
}  // namespace tooltest
