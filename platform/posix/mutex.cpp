// The run mutex on POSIX: an exclusive lock on "<install>/var/<name>.lock".
// The install folder is the one above the folder of the module that holds
// this code: the engine is only ever loaded from "<install>/bin", so every
// host of one install, root or not, whatever its runtime folder or
// environment, meets the same file, and two installs do not hold each other
// up. The file belongs to the install's group, the group that owns the var
// folder, and is made 0660: a lock needs a descriptor open for writing, so
// every member can take it, and a user outside the install cannot open it
// at all, let alone hold it for good.
//
// It is a process-owned record lock (fcntl), not an flock: a Win32 mutex may
// be taken again by the thread that owns it, and a host that calls Init twice
// without Close (the engine is reloaded and its first handle is lost) must
// get the mutex again instead of waiting for itself forever. A record lock
// belongs to the process, so a second request of the same process is granted
// at once, and releasing it frees it for other processes whatever handles
// were lost. The lock call has no timed wait, so a wait hands the blocking
// call to a helper thread and waits on a condition variable for it; the
// helper stays on the lock across time-outs, so the next wait takes over the
// same attempt and returns the moment the lock is granted. The kernel drops
// the lock when its holder dies, so there is no abandoned state.
#include "platform/mutex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/error.h"
#include "platform/sys.h"

namespace plat {

namespace {

struct RunMutex {
  int fd = -1;
  bool owned = false;
  std::mutex guard;
  std::condition_variable changed;
  std::thread waiter;
  bool waiting = false;  // a helper thread is inside the blocking lock call
  bool granted = false;  // the helper's lock call succeeded
  int wait_errno = 0;    // the helper's lock call failed with this
};

// Whole-file write lock: F_SETLK tries, F_SETLKW blocks, unlock releases.
int LockFile(int fd, int command, short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  return ::fcntl(fd, command, &fl);
}

std::string LockPath(const char *name) {
  std::string n = name;
  const std::string global = "Global\\";
  if (n.compare(0, global.size(), global) == 0) n.erase(0, global.size());
  for (char &c : n) {
    if (c == '/' || c == '\\') c = '_';
  }
  // An address with internal linkage, so it names this module even when
  // another module in the process carries the same platform code.
  std::string module = ModulePath(reinterpret_cast<const void *>(&LockFile));
  std::string bin = module.substr(0, module.rfind('/'));
  std::size_t up = bin.rfind('/');
  std::string install = up == std::string::npos ? std::string() : bin.substr(0, up);
  return install + "/var/" + n + ".lock";
}

// Gives a lock file the install's group and mode 0660, whatever the
// creator's umask and primary group. A file from an older install (0666)
// is brought to the same state by its owner or root; one that belongs to
// another user is used as it is.
void ShareWithInstall(int fd, const std::string &path) {
  struct stat file {};
  struct stat folder {};
  if (::fstat(fd, &file) != 0) return;
  if (file.st_uid != ::geteuid() && ::geteuid() != 0) return;
  std::string dir = path.substr(0, path.rfind('/'));
  if (::stat(dir.empty() ? "/" : dir.c_str(), &folder) == 0 && file.st_gid != folder.st_gid) {
    // Refused for a user outside that group: the file keeps the creator's
    // group, which the docs tell how to avoid (a setgid var folder).
    int refused = ::fchown(fd, static_cast<uid_t>(-1), folder.st_gid);
    (void)refused;
  }
  if ((file.st_mode & 07777) != 0660) ::fchmod(fd, 0660);
}

// Opens the lock file, creating it when it is new; never through a link,
// which would lock (and re-mode) a file of someone else's choosing.
int OpenLockFile(const std::string &path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0660);
  if (fd < 0 && errno == EEXIST) fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd >= 0) ShareWithInstall(fd, path);
  if (fd < 0 && errno == ELOOP) errno = EACCES;  // a link is refused, as a denied file is
  return fd;
}

}  // namespace

int CreateRunMutex(const char *name, RunMutexHandle *out) {
  if (name == nullptr || out == nullptr) {
    SetLastError(kErrInvalidParameter);
    return -1;
  }
  int fd = OpenLockFile(LockPath(name));
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return -1;
  }
  auto *m = new RunMutex;
  m->fd = fd;
  *out = reinterpret_cast<RunMutexHandle>(m);
  if (LockFile(fd, F_SETLK, F_WRLCK) == 0) {
    m->owned = true;
    return kMutexCreated;
  }
  if (errno != EACCES && errno != EAGAIN) {
    SetLastError(ErrorFromErrno(errno));
    ::close(fd);
    delete m;
    *out = nullptr;
    return -1;
  }
  return kMutexExisted;
}

int WaitRunMutex(RunMutexHandle mutex, std::uint32_t timeout_ms, std::uint32_t *wait_result) {
  auto *m = reinterpret_cast<RunMutex *>(mutex);
  if (m == nullptr || mutex == kInvalidRunMutex) {
    if (wait_result != nullptr) *wait_result = 0xFFFFFFFFu;
    SetLastError(kErrInvalidHandle);
    return -1;
  }
  if (m->owned) return kMutexAcquired;
  std::unique_lock<std::mutex> lock(m->guard);
  if (!m->waiting && !m->granted) {
    if (m->waiter.joinable()) m->waiter.join();
    m->waiting = true;
    m->wait_errno = 0;
    m->waiter = std::thread([m] {
      int r;
      do {
        r = LockFile(m->fd, F_SETLKW, F_WRLCK);
      } while (r != 0 && errno == EINTR);
      int e = r == 0 ? 0 : errno;
      std::lock_guard<std::mutex> g(m->guard);
      m->waiting = false;
      m->granted = r == 0;
      m->wait_errno = e;
      m->changed.notify_all();
    });
  }
  m->changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), [m] { return !m->waiting; });
  if (m->waiting) return kMutexTimedOut;
  if (m->waiter.joinable()) m->waiter.join();
  if (m->granted) {
    m->granted = false;
    m->owned = true;
    return kMutexAcquired;
  }
  if (wait_result != nullptr) *wait_result = 0xFFFFFFFFu;
  SetLastError(ErrorFromErrno(m->wait_errno));
  return -1;
}

bool ReleaseRunMutex(RunMutexHandle mutex) {
  auto *m = reinterpret_cast<RunMutex *>(mutex);
  if (m == nullptr || mutex == kInvalidRunMutex || !m->owned) {
    SetLastError(kErrNotOwner);
    return false;
  }
  m->owned = false;
  return LockFile(m->fd, F_SETLK, F_UNLCK) == 0;
}

void CloseRunMutex(RunMutexHandle mutex) {
  auto *m = reinterpret_cast<RunMutex *>(mutex);
  if (m == nullptr || mutex == kInvalidRunMutex) return;
  {
    std::unique_lock<std::mutex> lock(m->guard);
    if (m->waiting) {
      // A helper still blocks in the lock call; it cannot be interrupted. Leave the
      // record to it: it owns the descriptor from here on and the lock goes
      // with the process. Callers never close while a wait is pending.
      m->waiter.detach();
      return;
    }
  }
  if (m->waiter.joinable()) m->waiter.join();
  ::close(m->fd);  // drops the lock if still held
  delete m;
}

}  // namespace plat

#include <sys/file.h>

namespace plat {

// flock, not a record lock: the lock belongs to this open file, so a second
// attempt within the same process is refused too, as a second service
// instance must be. The descriptor is close-on-exec, so a child never keeps
// the lock alive after the service has died.
InstanceLockHandle LockInstance(const char *path) {
  if (path == nullptr || path[0] == '\0') {
    SetLastError(kErrInvalidParameter);
    return kInvalidInstanceLock;
  }
  // For the service's user alone (0600): flock needs no write access, so
  // a file anyone may read could be locked by anyone, and a user outside
  // the service would keep it from starting. An older file (0644) is
  // narrowed by its owner. Never through a link.
  int fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 07777) != 0600) ::fchmod(fd, 0600);
  if (fd < 0 && errno != ELOOP) fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return kInvalidInstanceLock;
  }
  int r;
  do {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    int e = errno;
    ::close(fd);
    SetLastError(e == EWOULDBLOCK ? kErrSharingViolation : ErrorFromErrno(e));
    return kInvalidInstanceLock;
  }
  return reinterpret_cast<InstanceLockHandle>(static_cast<std::intptr_t>(fd) + 1);
}

void UnlockInstance(InstanceLockHandle lock) {
  if (lock == nullptr || lock == kInvalidInstanceLock) return;
  ::close(static_cast<int>(reinterpret_cast<std::intptr_t>(lock) - 1));
}

}  // namespace plat
