// The service as a foreground daemon. The program blocks the control
// signals first thing in main (BlockServiceControls), before any other
// thread exists, so every thread inherits the block, a signal that comes
// early stays pending, and only the main thread's sigtimedwait takes them; it hands each to
// the control handler, as the Win32 dispatcher calls the handler on the
// main thread. Status reports go to the systemd notify socket when
// $NOTIFY_SOCKET names one: READY=1 when running, STOPPING=1 when stopping,
// and a STATUS= line with the state, check point and wait hint.
#include "platform/service.h"

#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/error.h"
#include "platform/sys.h"

namespace plat {

namespace {

ServiceRoutine g_routine = nullptr;
std::atomic<ServiceControlHandler> g_handler{nullptr};
std::atomic<bool> g_done{false};
// The last status report accepted controls. As the Win32 service manager
// refuses controls while a service is start pending, a stop that comes
// earlier is held until the service can act on it: before that, the stop
// event it would signal may not exist yet, and the stop would be lost.
std::atomic<bool> g_accepting{false};

void ControlSignals(sigset_t *set) {
  sigemptyset(set);
  for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGHUP}) sigaddset(set, s);
}

void *RunRoutine(void *) {
  g_routine();
  g_done = true;
  return nullptr;
}

std::uint32_t ControlOf(int sig) {
  switch (sig) {
    case SIGTERM:
    case SIGINT: return kControlStop;
    case SIGUSR1: return kControlPause;
    case SIGUSR2: return kControlContinue;
    default: return kControlInterrogate;
  }
}

const char *StateName(std::uint32_t state) {
  switch (state) {
    case kServiceStopped: return "Stopped";
    case kServiceStartPending: return "Start pending";
    case kServiceStopPending: return "Stop pending";
    case kServiceRunning: return "Running";
    case kServiceContinuePending: return "Continue pending";
    case kServicePausePending: return "Pause pending";
    case kServicePaused: return "Paused";
    default: return "Unknown";
  }
}

bool Notify(const std::string &message) {
  std::string path = GetEnv("NOTIFY_SOCKET");
  if (path.empty()) return true;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) {
    SetLastError(kErrFilenameTooLong);
    return false;
  }
  std::memcpy(addr.sun_path, path.data(), path.size());
  if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';  // abstract namespace
  socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  // Never block on a listener that does not read: the report is advisory,
  // and a full queue must not freeze the service.
  ssize_t n =
      sendto(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<sockaddr *>(&addr), len);
  int err = errno;
  close(fd);
  if (n < 0 && err != EAGAIN) {
    SetLastError(ErrorFromErrno(err));
    return false;
  }
  return true;
}

}  // namespace

void BlockServiceControls() {
  sigset_t set;
  ControlSignals(&set);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool RunServiceDispatcher(const char *, ServiceRoutine routine) {
  g_routine = routine;
  g_done = false;
  g_accepting = false;
  sigset_t set;
  ControlSignals(&set);
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &set, &old);
  pthread_t thread;
  int rc = pthread_create(&thread, nullptr, RunRoutine, nullptr);
  if (rc != 0) {
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    SetLastError(ErrorFromErrno(rc));
    return false;
  }
  std::uint32_t pending = 0;  // a stop that came before the service accepted controls
  while (!g_done) {
    timespec wait{0, (pending != 0 ? 10 : 100) * 1000000L};
    int sig = sigtimedwait(&set, nullptr, &wait);
    ServiceControlHandler handler = g_handler.load();
    bool accepting = handler != nullptr && g_accepting.load();
    if (sig > 0) {
      std::uint32_t control = ControlOf(sig);
      if (accepting) {
        handler(control);
      } else if (control == kControlStop) {
        pending = control;  // pause and continue are refused then, as on Win32
      }
    }
    if (pending != 0 && accepting) {
      handler(pending);
      pending = 0;
    }
  }
  pthread_join(thread, nullptr);
  g_handler = nullptr;
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return true;
}

ServiceStatusHandle RegisterServiceControlHandler(const char *name, ServiceControlHandler handler) {
  if (name == nullptr || handler == nullptr) {
    SetLastError(kErrInvalidParameter);
    return nullptr;
  }
  g_handler = handler;
  static int token;
  return reinterpret_cast<ServiceStatusHandle>(&token);
}

bool ReportServiceStatus(ServiceStatusHandle status_handle, const ServiceStatus &status) {
  if (status_handle == nullptr) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  g_accepting = status.controls_accepted != 0;
  char text[256];
  std::snprintf(text, sizeof text, "STATUS=%s (state %u, check point %u, wait hint %u ms, controls %u)\n",
                StateName(status.state), status.state, status.check_point, status.wait_hint, status.controls_accepted);
  std::string message = text;
  if (status.state == kServiceRunning) message += "READY=1\n";
  if (status.state == kServiceStopPending) message += "STOPPING=1\n";
  if (status.state == kServiceStopPending || status.state == kServiceStartPending) {
    // Ask systemd for the hinted time, as the service manager grants it on Win32.
    message +=
        "EXTEND_TIMEOUT_USEC=" + std::to_string(static_cast<unsigned long long>(status.wait_hint) * 1000 + 1000000) +
        "\n";
  }
  return Notify(message);
}

bool ReportServiceText(const char *text) {
  if (text == nullptr) return true;
  return Notify(std::string("STATUS=") + text + "\n");
}

}  // namespace plat
