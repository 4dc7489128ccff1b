// Last-error value of the POSIX backend: a thread-local Win32 code that each
// backend operation sets on failure, mapped from errno (platform/common)
// where it came from one.
#include "platform/error.h"

namespace plat {

namespace {
thread_local std::uint32_t t_last_error = 0;
}

std::uint32_t LastError() { return t_last_error; }
void SetLastError(std::uint32_t code) { t_last_error = code; }

}  // namespace plat
