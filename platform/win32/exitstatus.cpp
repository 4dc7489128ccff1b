// Exit statuses on Win32: the code itself; GetExitCodeProcess reads it whole.
#include "platform/exitstatus.h"

namespace plat {

int ExitStatus(std::uint32_t code) { return static_cast<int>(code); }

}  // namespace plat
