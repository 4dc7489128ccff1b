// Registration of services with the platform's service manager: the Win32
// service control manager, or on POSIX a systemd unit file in
// $QVAD_SYSTEMD_DIR (default /etc/systemd/system), with systemctl from PATH
// to reload, enable, stop and ask for the state when it is there.
// Failures return null or false with the last error set to a Win32 code.
#pragma once
#include <cstdint>

namespace plat {

// Service states, with the values the Win32 service manager reports.
inline constexpr std::uint32_t kSvcStopped = 1;
inline constexpr std::uint32_t kSvcStartPending = 2;
inline constexpr std::uint32_t kSvcStopPending = 3;
inline constexpr std::uint32_t kSvcRunning = 4;
inline constexpr std::uint32_t kSvcContinuePending = 5;
inline constexpr std::uint32_t kSvcPausePending = 6;
inline constexpr std::uint32_t kSvcPaused = 7;

// The service manager or one service in it.
struct SvcObject;
using SvcHandle = SvcObject *;

// The local service manager, opened with the right to create services.
SvcHandle SvcOpenManager();

// A service of its own process that starts with the system and runs as the
// system account; the name is also its display name and the command line
// its program. 1073 when a service of that name exists.
SvcHandle SvcCreate(SvcHandle manager, const char *name, const char *command_line);

// An existing service with full access; 1060 when there is none.
SvcHandle SvcOpen(SvcHandle manager, const char *name);

bool SvcQueryState(SvcHandle service, std::uint32_t *state);

// Asks the service to stop and returns at once.
bool SvcStop(SvcHandle service);

// Removes the registration.
bool SvcDelete(SvcHandle service);

// Closes a service or manager handle; null is ignored.
void SvcClose(SvcHandle handle);

}  // namespace plat
