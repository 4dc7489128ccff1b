// Last-error value on Win32: the system's own.
#include "platform/error.h"

#include <windows.h>

#include <cerrno>

namespace plat {

std::uint32_t LastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

std::uint32_t ErrorFromErrno(int err) {
  switch (err) {
    case 0: return kErrSuccess;
    case ENOENT: return kErrFileNotFound;
    case EACCES: return kErrAccessDenied;
    case EBADF: return kErrInvalidHandle;
    case ENOMEM: return kErrNotEnoughMemory;
    case EEXIST: return kErrAlreadyExists;
    case EINVAL: return kErrInvalidParameter;
    case EPIPE: return kErrBrokenPipe;
    case ENOSPC: return ERROR_DISK_FULL;
    default: return ERROR_GEN_FAILURE;
  }
}

}  // namespace plat
