// Last-error value of the POSIX backend: a thread-local Win32 code that each
// backend operation sets on failure, mapped from errno where it came from one.
#include "platform/error.h"

#include <cerrno>

namespace plat {

namespace {
thread_local std::uint32_t t_last_error = 0;
}

std::uint32_t LastError() { return t_last_error; }
void SetLastError(std::uint32_t code) { t_last_error = code; }

std::uint32_t ErrorFromErrno(int err) {
  switch (err) {
    case 0: return kErrSuccess;
    case ENOENT: return kErrFileNotFound;
    case ENOTDIR: return kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kErrAccessDenied;
    case EBADF: return kErrInvalidHandle;
    case ENOMEM: return kErrNotEnoughMemory;
    case EEXIST: return kErrAlreadyExists;
    case EINVAL: return kErrInvalidParameter;
    case EPIPE: return kErrBrokenPipe;
    case ENAMETOOLONG: return kErrFilenameTooLong;
    case EAGAIN: return kErrNoData;
    case ETIMEDOUT: return kErrWaitTimeout;
    case ENOSPC: return 112;  // ERROR_DISK_FULL
    case EBUSY: return kErrSharingViolation;
    case ENOEXEC: return 193;  // ERROR_BAD_EXE_FORMAT
    case E2BIG: return 1006;   // an over-long argument list
    default: return 31;        // ERROR_GEN_FAILURE
  }
}

}  // namespace plat
