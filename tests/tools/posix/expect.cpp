#include "../toolrun.h"

namespace tooltest {
const char kEol[] = "\n";
const bool kFullExitCodes = false;
}  // namespace tooltest
