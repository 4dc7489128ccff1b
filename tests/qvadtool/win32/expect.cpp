#include "../toolrun.h"

namespace tooltest {
const char kEol[] = "\r\n";
const bool kFullExitCodes = true;
const char kFullDevice[] = "";
const bool kSlowProcessStart = true;
const bool kOpenFileBlocksRename = true;
}  // namespace tooltest
