// Last-error value on Win32: the system's own.
#include "platform/error.h"

#include <windows.h>

namespace plat {

std::uint32_t LastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

// The names the system code uses are the system's own numbers.
static_assert(kErrFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kErrPathNotFound == ERROR_PATH_NOT_FOUND);
static_assert(kErrAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kErrNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(kErrInvalidData == ERROR_INVALID_DATA);
static_assert(kErrGenFailure == ERROR_GEN_FAILURE);
static_assert(kErrSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(kErrHandleEof == ERROR_HANDLE_EOF);
static_assert(kErrFileExists == ERROR_FILE_EXISTS);
static_assert(kErrInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kErrDiskFull == ERROR_DISK_FULL);
static_assert(kErrBrokenPipe == ERROR_BROKEN_PIPE);
static_assert(kErrInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER);
static_assert(kErrModNotFound == ERROR_MOD_NOT_FOUND);
static_assert(kErrProcNotFound == ERROR_PROC_NOT_FOUND);
static_assert(kErrBadPathname == ERROR_BAD_PATHNAME);
static_assert(kErrAlreadyExists == ERROR_ALREADY_EXISTS);
static_assert(kErrBadExeFormat == ERROR_BAD_EXE_FORMAT);
static_assert(kErrFilenameTooLong == ERROR_FILENAME_EXCED_RANGE);
static_assert(kErrPipeBusy == ERROR_PIPE_BUSY);
static_assert(kErrNoData == ERROR_NO_DATA);
static_assert(kErrPipeNotConnected == ERROR_PIPE_NOT_CONNECTED);
static_assert(kErrMoreData == ERROR_MORE_DATA);
static_assert(kErrWaitTimeout == WAIT_TIMEOUT);
static_assert(kErrNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(kErrNotOwner == ERROR_NOT_OWNER);
static_assert(kErrIoPending == ERROR_IO_PENDING);
static_assert(kErrFileInvalid == ERROR_FILE_INVALID);
static_assert(kErrBadDb == ERROR_BADDB);
static_assert(kErrRegistryIo == ERROR_REGISTRY_IO_FAILED);
static_assert(kErrServiceCannotAcceptCtrl == ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
static_assert(kErrServiceDoesNotExist == ERROR_SERVICE_DOES_NOT_EXIST);
static_assert(kErrServiceExists == ERROR_SERVICE_EXISTS);
static_assert(kErrServiceMarkedForDelete == ERROR_SERVICE_MARKED_FOR_DELETE);
static_assert(kErrServiceNotActive == ERROR_SERVICE_NOT_ACTIVE);
static_assert(kErrFailedServiceControllerConnect == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
static_assert(kErrTimeout == ERROR_TIMEOUT);

}  // namespace plat
