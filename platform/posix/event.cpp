// Manual-reset events on POSIX: an eventfd whose counter is non-zero while
// the event is set. Setting writes to it and waiting polls it, so neither
// takes a lock that a frozen (suspended) thread could be holding.
#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/error.h"
#include "platform/sys.h"

namespace plat {

namespace {

struct Event {
  int fd;
};

Event *AsEvent(EventHandle h) { return (h == nullptr || h == kInvalidEvent) ? nullptr : reinterpret_cast<Event *>(h); }

}  // namespace

EventHandle CreateManualEvent() {
  int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return nullptr;
  }
  return reinterpret_cast<EventHandle>(new Event{fd});
}

bool SetEvent(EventHandle event) {
  Event *e = AsEvent(event);
  if (e == nullptr) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  std::uint64_t one = 1;
  // A full counter (never in practice) still leaves the event set.
  if (write(e->fd, &one, sizeof one) < 0 && errno != EAGAIN) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  return true;
}

bool ResetEvent(EventHandle event) {
  Event *e = AsEvent(event);
  if (e == nullptr) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  std::uint64_t value = 0;
  if (read(e->fd, &value, sizeof value) < 0 && errno != EAGAIN) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  return true;
}

std::uint32_t WaitEvent(EventHandle event, std::uint32_t timeout_ms) {
  Event *e = AsEvent(event);
  if (e == nullptr) {
    SetLastError(kErrInvalidHandle);
    return kWaitFailed;
  }
  std::int64_t deadline = MonotonicMillis() + timeout_ms;
  for (;;) {
    int wait = -1;
    if (timeout_ms != kInfinite) {
      std::int64_t left = deadline - MonotonicMillis();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd p{e->fd, POLLIN, 0};
    int r = poll(&p, 1, wait);
    if (r > 0) return kWaitObject0;
    if (r == 0) return kWaitTimeout;
    if (errno != EINTR) {
      SetLastError(ErrorFromErrno(errno));
      return kWaitFailed;
    }
  }
}

void CloseEvent(EventHandle event) {
  Event *e = AsEvent(event);
  if (e == nullptr) return;
  close(e->fd);
  delete e;
}

}  // namespace plat
