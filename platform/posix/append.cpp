// Appending files on POSIX: O_APPEND, which has the kernel put each write at
// the end of the file in one step.
#include "platform/append.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error.h"

namespace plat {

bool AppendFile::Open(const char *path) {
  Close();
  int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return false;
  }
  handle_ = fd;
  return true;
}

bool AppendFile::Write(const void *data, std::size_t size) {
  if (handle_ == kClosed) return false;
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    ssize_t n = ::write(static_cast<int>(handle_), p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(ErrorFromErrno(n < 0 ? errno : ENOSPC));
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void AppendFile::Close() {
  if (handle_ == kClosed) return;
  ::close(static_cast<int>(handle_));
  handle_ = kClosed;
}

}  // namespace plat
