// How much memory this process has used at most, for the benchmarks'
// "memory flat in the node count" figure.
#pragma once
#include <cstdint>

namespace plat {

// Peak resident set (POSIX) or peak working set (Win32) in kilobytes; 0 when unknown.
std::uint64_t PeakMemoryKb();

}  // namespace plat
