// Last-error value on Win32: the system's own.
#include "platform/error.h"

#include <windows.h>

namespace plat {

std::uint32_t LastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

// The names the system code uses are the system's own numbers.
static_assert(kErrFileNotFound == ERROR_FILE_NOT_FOUND && kErrPathNotFound == ERROR_PATH_NOT_FOUND &&
              kErrAccessDenied == ERROR_ACCESS_DENIED && kErrInvalidHandle == ERROR_INVALID_HANDLE &&
              kErrNotEnoughMemory == ERROR_NOT_ENOUGH_MEMORY && kErrInvalidData == ERROR_INVALID_DATA &&
              kErrGenFailure == ERROR_GEN_FAILURE && kErrSharingViolation == ERROR_SHARING_VIOLATION &&
              kErrHandleEof == ERROR_HANDLE_EOF && kErrFileExists == ERROR_FILE_EXISTS &&
              kErrInvalidParameter == ERROR_INVALID_PARAMETER && kErrDiskFull == ERROR_DISK_FULL &&
              kErrBrokenPipe == ERROR_BROKEN_PIPE && kErrInsufficientBuffer == ERROR_INSUFFICIENT_BUFFER &&
              kErrModNotFound == ERROR_MOD_NOT_FOUND && kErrProcNotFound == ERROR_PROC_NOT_FOUND &&
              kErrBadPathname == ERROR_BAD_PATHNAME && kErrAlreadyExists == ERROR_ALREADY_EXISTS &&
              kErrBadExeFormat == ERROR_BAD_EXE_FORMAT && kErrFilenameTooLong == ERROR_FILENAME_EXCED_RANGE &&
              kErrPipeBusy == ERROR_PIPE_BUSY && kErrNoData == ERROR_NO_DATA &&
              kErrPipeNotConnected == ERROR_PIPE_NOT_CONNECTED && kErrMoreData == ERROR_MORE_DATA &&
              kErrWaitTimeout == WAIT_TIMEOUT && kErrNoMoreItems == ERROR_NO_MORE_ITEMS &&
              kErrNotOwner == ERROR_NOT_OWNER && kErrIoPending == ERROR_IO_PENDING &&
              kErrFileInvalid == ERROR_FILE_INVALID && kErrBadDb == ERROR_BADDB &&
              kErrRegistryIo == ERROR_REGISTRY_IO_FAILED &&
              kErrServiceCannotAcceptCtrl == ERROR_SERVICE_CANNOT_ACCEPT_CTRL &&
              kErrServiceDoesNotExist == ERROR_SERVICE_DOES_NOT_EXIST && kErrServiceExists == ERROR_SERVICE_EXISTS &&
              kErrServiceMarkedForDelete == ERROR_SERVICE_MARKED_FOR_DELETE &&
              kErrServiceNotActive == ERROR_SERVICE_NOT_ACTIVE &&
              kErrFailedServiceControllerConnect == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT &&
              kErrTimeout == ERROR_TIMEOUT,
              "Win32 error names");

}  // namespace plat
