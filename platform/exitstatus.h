// The exit status a program hands to the platform for a result code of the
// system. Win32 carries the whole 32-bit code. A POSIX parent sees only the
// low 8 bits, so codes above 255 are folded into that range, steering clear
// of 0 (success) and 22 (invalid command line), which must never be faked.
#pragma once
#include <cstdint>

namespace plat {

int ExitStatus(std::uint32_t code);

}  // namespace plat
