// Computer names and the current folder on Win32.
#include "platform/host.h"

#include <windows.h>
#include <winsock2.h>

#include <cstring>

namespace plat {

int HostName(char *buffer, std::size_t size, std::uint32_t *code) {
  if (size > 0) buffer[0] = '\0';
  WSADATA data;
  int r = ::WSAStartup(MAKEWORD(2, 0), &data);
  if (r != 0) {
    if (code != nullptr) *code = static_cast<std::uint32_t>(r);
    return 0;
  }
  r = ::gethostname(buffer, static_cast<int>(size));
  ::WSACleanup();
  if (r != 0) {
    if (code != nullptr) *code = static_cast<std::uint32_t>(r);
    if (size > 0) buffer[0] = '\0';
    return -1;
  }
  // Windows answers with the short name already; Wine passes on the Linux
  // host's name, which may be fully qualified. Keep the part before the dot.
  if (char *dot = std::strchr(buffer, '.')) *dot = '\0';
  return 1;
}

bool CurrentDirectory(char *buffer, std::size_t size) {
  DWORD n = ::GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
  if (n == 0) return false;
  if (n >= size) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    if (size > 0) buffer[0] = '\0';
    return false;
  }
  return true;
}

}  // namespace plat
