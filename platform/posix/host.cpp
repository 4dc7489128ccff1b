// Computer names and the current folder on POSIX.
#include "platform/host.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error.h"

namespace plat {

int HostName(char *buffer, std::size_t size, std::uint32_t *code) {
  if (size > 0) buffer[0] = '\0';
  // The sockets library on Windows gives the host's short name; a Linux host
  // is often configured with its fully qualified one. Cut it at the first
  // dot, so the node list's short names meet this computer's name the same
  // way on both.
  char full[256] = {};
  bool ok = ::gethostname(full, sizeof full - 1) == 0;
  std::size_t n = std::strcspn(full, ".");
  if (!ok || n + 1 > size) {
    if (code != nullptr) *code = 0xFFFFFFFFu;  // the request's result, -1
    return -1;
  }
  std::memcpy(buffer, full, n);
  buffer[n] = '\0';
  return 1;
}

bool CurrentDirectory(char *buffer, std::size_t size) {
  if (::getcwd(buffer, size) == nullptr) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  return true;
}

}  // namespace plat
