// The named pipe on POSIX: a FIFO named after the pipe's last name in the
// runtime folder. A lock file beside it keeps it to one instance, as the
// Win32 pipe is created with at most one instance; the lock dies with the
// process, so a FIFO left behind by a killed service does not block the next
// start. Reads are non-blocking reads plus poll for the timed wait.
#include "platform/pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/error.h"
#include "platform/event.h"
#include "platform/sys.h"

namespace plat {

namespace {

struct ReadState {
  void *buffer;
  std::uint32_t size;
  std::uint32_t got;
  std::uint32_t error;  // Win32 code of a failed read, 0 when it succeeded
  std::uint32_t state;  // 0 idle, 1 pending, 2 done
};
static_assert(sizeof(ReadState) <= sizeof(PipeOverlapped), "read state must fit the overlapped area");

ReadState *State(PipeOverlapped *ov) { return reinterpret_cast<ReadState *>(ov->storage); }

int Fd(PipeHandle h) { return static_cast<int>(reinterpret_cast<std::intptr_t>(h)); }
PipeHandle FromFd(int fd) { return reinterpret_cast<PipeHandle>(static_cast<std::intptr_t>(fd)); }

// The one server instance of this process.
std::mutex g_mutex;
int g_server_fd = -1;
int g_lock_fd = -1;
std::string g_fifo_path;

// Empty when the runtime folder cannot be trusted (see RuntimeDir).
std::string FifoPath(const char *name) {
  std::string n = name != nullptr ? name : "";
  std::size_t cut = n.find_last_of("\\/");
  if (cut != std::string::npos) n = n.substr(cut + 1);
  std::string dir = RuntimeDir();
  return dir.empty() ? dir : dir + "/" + n;
}

// One non-blocking read attempt: true when the read has ended (data, end of
// stream or an error), false when nothing is there yet.
bool TryRead(int fd, ReadState *s) {
  for (;;) {
    ssize_t n = read(fd, s->buffer, s->size);
    if (n > 0) {
      s->got = static_cast<std::uint32_t>(n);
      s->error = 0;
      s->state = 2;
      return true;
    }
    if (n == 0) {
      // Every writer is gone: Win32 reports this as a broken pipe.
      s->got = 0;
      s->error = kErrBrokenPipe;
      s->state = 2;
      return true;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return false;
    s->got = 0;
    s->error = ErrorFromErrno(errno);
    s->state = 2;
    return true;
  }
}

}  // namespace

PipeHandle CreatePipeServer(const char *name, bool inbound, std::uint32_t) {
  std::lock_guard<std::mutex> hold(g_mutex);
  std::string path = FifoPath(name);
  if (path.empty()) {
    SetLastError(kErrAccessDenied);
    return kInvalidPipe;
  }
  // Never through a link: in a folder others can write to, a link would
  // make us create or lock a file of their choosing.
  int lock = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock < 0) {
    SetLastError(errno == ELOOP ? kErrAccessDenied : ErrorFromErrno(errno));
    return kInvalidPipe;
  }
  if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
    close(lock);
    SetLastError(kErrPipeBusy);
    return kInvalidPipe;
  }
  unlink(path.c_str());  // left behind by a killed process
  if (mkfifo(path.c_str(), 0600) != 0) {
    SetLastError(ErrorFromErrno(errno));
    close(lock);
    return kInvalidPipe;
  }
  // A FIFO cannot be opened for writing alone without a reader; the
  // outbound server end holds both sides so the open never fails.
  int fd = open(path.c_str(), (inbound ? O_RDONLY : O_RDWR) | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    unlink(path.c_str());
    close(lock);
    return kInvalidPipe;
  }
  g_server_fd = fd;
  g_lock_fd = lock;
  g_fifo_path = path;
  return FromFd(fd);
}

PipeHandle OpenPipeClient(const char *name, bool server_inbound) {
  std::string path = FifoPath(name);
  if (path.empty()) {
    SetLastError(kErrAccessDenied);
    return kInvalidPipe;
  }
  // The client end is blocking, as a child expects its standard output to be.
  // It is close-on-exec here: a child gets it by being handed it as a stream.
  int fd = open(path.c_str(), (server_inbound ? O_WRONLY : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(errno == ENXIO ? kErrPipeNotConnected : ErrorFromErrno(errno));
    return kInvalidPipe;
  }
  int fl = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return FromFd(fd);
}

void ClosePipeEnd(PipeHandle end) {
  if (end == kInvalidPipe) return;
  int fd = Fd(end);
  std::lock_guard<std::mutex> hold(g_mutex);
  if (fd == g_server_fd) {
    unlink(g_fifo_path.c_str());
    close(g_lock_fd);
    g_server_fd = -1;
    g_lock_fd = -1;
    g_fifo_path.clear();
  }
  close(fd);
}

// Both are descriptors: the stream is the same number (and -1 stays -1).
FileHandle PipeStream(PipeHandle end) { return reinterpret_cast<FileHandle>(end); }

int StartPipeRead(PipeHandle end, PipeOverlapped *ov, EventHandle event, void *buffer, std::uint32_t size,
                  std::uint32_t *got) {
  ReadState *s = State(ov);
  s->buffer = buffer;
  s->size = size;
  s->got = 0;
  s->error = 0;
  s->state = 1;
  ResetEvent(event);
  if (!TryRead(Fd(end), s)) return 1;
  SetEvent(event);
  if (s->error != 0) {
    s->state = 0;
    SetLastError(s->error);
    return -1;
  }
  *got = s->got;
  return 0;
}

std::uint32_t WaitPipeRead(PipeHandle end, PipeOverlapped *ov, EventHandle event, std::uint32_t timeout_ms) {
  ReadState *s = State(ov);
  if (s->state != 1) return kWaitObject0;
  // Measured on the monotonic clock: setting the system clock must neither
  // stretch nor cut the wait.
  std::int64_t deadline = MonotonicMillis() + timeout_ms;
  for (;;) {
    std::int64_t left = deadline - MonotonicMillis();
    int wait = timeout_ms == kInfinite ? -1 : static_cast<int>(left > 0 ? left : 0);
    pollfd p{Fd(end), POLLIN, 0};
    int r = poll(&p, 1, wait);
    if (r < 0 && errno != EINTR) {
      SetLastError(ErrorFromErrno(errno));
      return kWaitFailed;
    }
    if (r > 0 && TryRead(Fd(end), s)) {
      SetEvent(event);
      return kWaitObject0;
    }
    if (r == 0 || (timeout_ms != kInfinite && MonotonicMillis() >= deadline)) return kWaitTimeout;
  }
}

bool PipeReadResult(PipeHandle end, PipeOverlapped *ov, std::uint32_t *got) {
  ReadState *s = State(ov);
  if (s->state == 1) {
    while (!TryRead(Fd(end), s)) {
      pollfd p{Fd(end), POLLIN, 0};
      poll(&p, 1, -1);
    }
  }
  if (s->state != 2) {
    SetLastError(kErrInvalidParameter);
    return false;
  }
  s->state = 0;
  if (s->error != 0) {
    SetLastError(s->error);
    return false;
  }
  *got = s->got;
  return true;
}

bool PipeReaderGone(FileHandle write_stream) {
  pollfd p{static_cast<int>(reinterpret_cast<std::intptr_t>(write_stream)), POLLOUT, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

}  // namespace plat

namespace plat {
void SetStreamBinary(std::FILE *) {}
}  // namespace plat
