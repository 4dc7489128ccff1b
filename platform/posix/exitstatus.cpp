// Exit statuses on POSIX: only 8 bits reach the parent. Codes up to 255 pass
// unchanged; larger ones keep their low byte (300 -> 44, 1073 -> 49), except
// that a low byte of 0 or 22 would read as success or as an invalid command
// line and becomes 255 instead. The full code stays in the tool's message
// and in its END trace entry.
#include "platform/exitstatus.h"

namespace plat {

int ExitStatus(std::uint32_t code) {
  if (code <= 255) return static_cast<int>(code);
  std::uint32_t low = code & 0xFFu;
  if (low == 0 || low == 22) return 255;
  return static_cast<int>(low);
}

}  // namespace plat
