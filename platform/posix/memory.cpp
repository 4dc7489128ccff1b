// Peak memory on POSIX: getrusage's maximum resident set size (kilobytes on Linux).
#include "platform/memory.h"

#include <sys/resource.h>

namespace plat {

std::uint64_t PeakMemoryKb() {
  rusage u{};
  if (getrusage(RUSAGE_SELF, &u) != 0) return 0;
  return static_cast<std::uint64_t>(u.ru_maxrss);
}

}  // namespace plat
