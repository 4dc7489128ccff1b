// Preloaded into a host so that no file can be cut back: a disk whose
// appends fail half-way and whose files then cannot be shortened either.
#include <sys/types.h>

#include <cerrno>

extern "C" int ftruncate(int, off_t) {
  errno = EIO;
  return -1;
}

extern "C" int truncate(const char *, off_t) {
  errno = EIO;
  return -1;
}
