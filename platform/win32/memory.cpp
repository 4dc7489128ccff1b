// Peak memory on Win32: the process's peak working set.
#define PSAPI_VERSION 2
#include "platform/memory.h"

#include <windows.h>
// psapi.h needs windows.h first.
#include <psapi.h>

namespace plat {

std::uint64_t PeakMemoryKb() {
  PROCESS_MEMORY_COUNTERS c{};
  c.cb = sizeof c;
  if (!::K32GetProcessMemoryInfo(::GetCurrentProcess(), &c, sizeof c)) return 0;
  return static_cast<std::uint64_t>(c.PeakWorkingSetSize / 1024);
}

}  // namespace plat
