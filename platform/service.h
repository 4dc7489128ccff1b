// Running as a service of the platform's service manager. Win32: the service
// control manager's dispatcher, control handler and status reports. POSIX: a
// foreground daemon for systemd or any supervisor. The main thread runs the
// service routine on a thread of its own and waits for signals, which it
// hands to the control handler: SIGTERM and SIGINT stop, SIGUSR1 pauses,
// SIGUSR2 continues, SIGHUP interrogates. Status reports go to systemd's
// notify socket ($NOTIFY_SOCKET) when there is one.
#pragma once
#include <cstdint>

#include "platform/types.h"

namespace plat {

inline constexpr std::uint32_t kServiceWin32OwnProcess = 16;
inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kServiceStartPending = 2;
inline constexpr std::uint32_t kServiceStopPending = 3;
inline constexpr std::uint32_t kServiceRunning = 4;
inline constexpr std::uint32_t kServiceContinuePending = 5;
inline constexpr std::uint32_t kServicePausePending = 6;
inline constexpr std::uint32_t kServicePaused = 7;

inline constexpr std::uint32_t kControlStop = 1;
inline constexpr std::uint32_t kControlPause = 2;
inline constexpr std::uint32_t kControlContinue = 3;
inline constexpr std::uint32_t kControlInterrogate = 4;
inline constexpr std::uint32_t kControlShutdown = 5;

struct ServiceStatus {
  std::uint32_t type;
  std::uint32_t state;
  std::uint32_t controls_accepted;
  std::uint32_t win32_exit_code;
  std::uint32_t specific_exit_code;
  std::uint32_t check_point;
  std::uint32_t wait_hint;
};

// What the service reports its status through.
struct ServiceStatusObject;
using ServiceStatusHandle = ServiceStatusObject *;

using ServiceRoutine = void (*)();
using ServiceControlHandler = void (*)(std::uint32_t control);

// Call first in main, before any other thread exists. POSIX: blocks the
// control signals, so one that arrives before the dispatcher waits for them
// stays pending until the dispatcher takes it, instead of ending the process
// at once (no stop time, no end event). Win32: nothing; the service manager
// sends controls only once the dispatcher runs.
void BlockServiceControls();

// Runs the service routine under the service manager and returns after it
// has ended. False with the last error set when the dispatcher cannot start
// (Win32: the program was not started by the service control manager).
bool RunServiceDispatcher(const char *name, ServiceRoutine routine);
// Null with the last error set on failure.
ServiceStatusHandle RegisterServiceControlHandler(const char *name, ServiceControlHandler handler);
bool ReportServiceStatus(ServiceStatusHandle status_handle, const ServiceStatus &status);
// A one-line free text about the service's progress for the service
// manager. POSIX: STATUS=<text> to systemd's notify socket when there is one
// (`systemctl status` shows it). Win32: nothing, the service control manager
// keeps no such text. True when sent or when there is nowhere to send it.
bool ReportServiceText(const char *text);

}  // namespace plat
