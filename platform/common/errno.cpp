// The errno to Win32 code table both backends use: the C runtime reports
// errno on Windows too, and a caller must read the same code for the same
// failure on either platform.
#include <cerrno>

#include "platform/error.h"

namespace plat {

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
    case ENOSPC: return kErrDiskFull;
    case EBUSY: return kErrSharingViolation;
    case ENOEXEC: return kErrBadExeFormat;
    case E2BIG: return kErrFileInvalid;  // an over-long argument list
    default: return kErrGenFailure;
  }
}

}  // namespace plat
