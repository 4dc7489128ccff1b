// Handle type shared by both backends. A Win32 HANDLE and a POSIX descriptor
// both fit a pointer-sized value; the invalid value is the same bit pattern
// as INVALID_HANDLE_VALUE so records look alike on both platforms.
#pragma once
#include <cstdint>

namespace plat {

using Handle = void *;
inline Handle const kInvalidHandle = reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1));

}  // namespace plat
