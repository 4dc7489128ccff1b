// The last-error value of the calling thread, as a Win32 error code on both
// platforms, so messages, error records and tests read the same everywhere.
#pragma once
#include <cstdint>

namespace plat {

// Win32 codes the system reports by value.
inline constexpr std::uint32_t kErrSuccess = 0;
inline constexpr std::uint32_t kErrFileNotFound = 2;
inline constexpr std::uint32_t kErrPathNotFound = 3;
inline constexpr std::uint32_t kErrAccessDenied = 5;
inline constexpr std::uint32_t kErrInvalidHandle = 6;
inline constexpr std::uint32_t kErrNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrInvalidData = 13;
inline constexpr std::uint32_t kErrGenFailure = 31;
inline constexpr std::uint32_t kErrSharingViolation = 32;
inline constexpr std::uint32_t kErrHandleEof = 38;
inline constexpr std::uint32_t kErrFileExists = 80;
inline constexpr std::uint32_t kErrInvalidParameter = 87;
inline constexpr std::uint32_t kErrDiskFull = 112;
inline constexpr std::uint32_t kErrBrokenPipe = 109;
inline constexpr std::uint32_t kErrInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrModNotFound = 126;
inline constexpr std::uint32_t kErrProcNotFound = 127;
inline constexpr std::uint32_t kErrBadPathname = 161;
inline constexpr std::uint32_t kErrAlreadyExists = 183;
inline constexpr std::uint32_t kErrBadExeFormat = 193;
inline constexpr std::uint32_t kErrFilenameTooLong = 206;
inline constexpr std::uint32_t kErrNoData = 232;
inline constexpr std::uint32_t kErrPipeNotConnected = 233;
inline constexpr std::uint32_t kErrMoreData = 234;
inline constexpr std::uint32_t kErrWaitTimeout = 258;
inline constexpr std::uint32_t kErrNoMoreItems = 259;
inline constexpr std::uint32_t kErrNotOwner = 288;
inline constexpr std::uint32_t kErrPipeBusy = 231;
inline constexpr std::uint32_t kErrIoPending = 997;
inline constexpr std::uint32_t kErrFileInvalid = 1006;
inline constexpr std::uint32_t kErrBadDb = 1009;
inline constexpr std::uint32_t kErrRegistryIo = 1016;
inline constexpr std::uint32_t kErrServiceDoesNotExist = 1060;
inline constexpr std::uint32_t kErrServiceExists = 1073;
inline constexpr std::uint32_t kErrServiceMarkedForDelete = 1072;
inline constexpr std::uint32_t kErrServiceCannotAcceptCtrl = 1061;
inline constexpr std::uint32_t kErrServiceNotActive = 1062;
inline constexpr std::uint32_t kErrFailedServiceControllerConnect = 1063;
inline constexpr std::uint32_t kErrTimeout = 1460;

std::uint32_t LastError();
void SetLastError(std::uint32_t code);

// The Win32 code of the same meaning as a C runtime errno value; one table
// for both backends, so a failure reads the same wherever it happens.
std::uint32_t ErrorFromErrno(int err);

}  // namespace plat
