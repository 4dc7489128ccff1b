#include "../toolrun.h"

namespace tooltest {
const char kEol[] = "\r\n";
const bool kFullExitCodes = true;
}  // namespace tooltest
