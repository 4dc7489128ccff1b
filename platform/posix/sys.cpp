// Process facts, paths and atomic file replacement on POSIX.
#include "platform/sys.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/error.h"

namespace plat {

const char kSep[] = "/";
const char kExeSuffix[] = "";
const char kEtcPiece[] = "/etc/";
const char kMessageLibraryFile[] = "RazMessage.cat";
const char kBinPiece[] = "/bin/";

std::uint32_t ProcessId() { return static_cast<std::uint32_t>(getpid()); }

std::uint32_t ThreadNumber() {
  static std::atomic<std::uint32_t> next{0};
  thread_local std::uint32_t mine = next++;
  return mine;
}

std::int64_t NowMillis() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  return static_cast<std::int64_t>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
}

std::int64_t MonotonicMillis() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string ModulePath(const void *address_in_module) {
  if (address_in_module != nullptr) {
    Dl_info info{};
    link_map *map = nullptr;
    // The main program's entry has an empty name; its path comes from /proc
    // below, whatever name it was started by.
    if (dladdr1(address_in_module, &info, reinterpret_cast<void **>(&map), RTLD_DL_LINKMAP) != 0 && map != nullptr &&
        map->l_name != nullptr && map->l_name[0] != '\0') {
      char resolved[PATH_MAX];
      if (realpath(map->l_name, resolved) != nullptr) return resolved;
      return map->l_name;
    }
  }
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = '\0';
  return buf;
}

std::string GetEnv(const char *name) {
  const char *v = std::getenv(name);
  return v != nullptr ? v : "";
}

bool SetEnv(const char *name, const char *value) {
  return (value != nullptr ? setenv(name, value, 1) : unsetenv(name)) == 0;
}

std::string TempDir() {
  std::string t = GetEnv("TMPDIR");
  while (t.size() > 1 && t.back() == '/') t.pop_back();
  return t.empty() ? "/tmp" : t;
}

static bool WritableDir(const std::string &dir) {
  struct stat st {};
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(dir.c_str(), W_OK | X_OK) == 0;
}

// A folder of this user's own in the temp folder: made 0700 when missing;
// one that is there is used only when it is a real folder (not a link) of
// this user that nobody else may enter. The temp folder is shared, so the
// name can be taken by anyone first; what is not ours is refused, never
// used, so no other user can read, replace or lock the pipe.
static std::string OwnTempFolder(std::string *refusal) {
  const uid_t me = geteuid();
  std::string dir = TempDir() + "/qvadnerl-" + std::to_string(me);
  bool made = mkdir(dir.c_str(), 0700) == 0;
  int saved = errno;
  char why[600];
  why[0] = '\0';
  // Checked on the opened folder itself, so a name swapped between the
  // check and the use cannot pass.
  int fd = made || saved == EEXIST ? open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
  if (!made && saved != EEXIST) {
    std::snprintf(why, sizeof why, "the folder %.400s cannot be made: %s", dir.c_str(), std::strerror(saved));
  } else if (fd < 0) {
    // Not opened: say what is there instead (a folder closed to us is
    // another user's).
    int e = errno;
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) {
      std::snprintf(why, sizeof why, "%.400s cannot be opened: %s", dir.c_str(), std::strerror(e));
    } else if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode)) {
      std::snprintf(why, sizeof why, "%.400s is %s, not a folder of this user's own", dir.c_str(),
                    S_ISLNK(st.st_mode) ? "a symbolic link" : "not a folder");
    } else if (st.st_uid != me) {
      std::snprintf(why, sizeof why, "%.400s belongs to user %u, not to this user (%u)", dir.c_str(),
                    static_cast<unsigned>(st.st_uid), static_cast<unsigned>(me));
    } else {
      std::snprintf(why, sizeof why, "%.400s cannot be opened: %s", dir.c_str(), std::strerror(e));
    }
  } else {
    struct stat st {};
    if (made) fchmod(fd, 0700);  // whatever the umask
    if (fstat(fd, &st) != 0) {
      std::snprintf(why, sizeof why, "%.400s cannot be examined: %s", dir.c_str(), std::strerror(errno));
    } else if (st.st_uid != me) {
      std::snprintf(why, sizeof why, "%.400s belongs to user %u, not to this user (%u)", dir.c_str(),
                    static_cast<unsigned>(st.st_uid), static_cast<unsigned>(me));
    } else if ((st.st_mode & 07777) != 0700) {
      std::snprintf(why, sizeof why, "%.400s has mode %04o, not 0700", dir.c_str(),
                    static_cast<unsigned>(st.st_mode & 07777));
    }
  }
  if (fd >= 0) close(fd);
  if (why[0] == '\0') return dir;
  if (refusal != nullptr) *refusal = why;
  return {};
}

std::string RuntimeDir(std::string *refusal) {
  if (refusal != nullptr) refusal->clear();
  std::string env = GetEnv("QVAD_RUNDIR");
  if (!env.empty()) {
    mkdir(env.c_str(), 0755);
    return env;
  }
  if (WritableDir("/run/qvadnerl")) return "/run/qvadnerl";
  if (WritableDir("/run") && mkdir("/run/qvadnerl", 0755) == 0) return "/run/qvadnerl";
  return OwnTempFolder(refusal);
}

bool FileExists(const char *path) {
  struct stat st {};
  return stat(path, &st) == 0;
}

bool CanRunProgram(const char *path) {
  struct stat st {};
  return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, X_OK) == 0;
}

namespace {

bool SameIgnoringAsciiCase(const char *a, const char *b) {
  auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

struct DirCloser {
  void operator()(DIR *d) const { closedir(d); }
};

}  // namespace

std::FILE *OpenFileAnyCase(const char *path, const char *mode) {
  std::FILE *f = std::fopen(path, mode);
  if (f != nullptr || errno != ENOENT) return f;
  std::string p = path;
  std::size_t slash = p.rfind('/');
  std::string dir = slash == std::string::npos ? "." : p.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  std::unique_ptr<DIR, DirCloser> d(opendir(dir.c_str()));
  std::string found;
  if (d != nullptr) {
    while (const dirent *e = readdir(d.get())) {
      if (SameIgnoringAsciiCase(e->d_name, name.c_str()) && (found.empty() || found.compare(e->d_name) > 0))
        found = e->d_name;
    }
  }
  if (found.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  return std::fopen(((slash == std::string::npos ? std::string() : dir) + found).c_str(), mode);
}

bool MakeDirectory(const char *path) {
  if (mkdir(path, 0755) == 0 || errno == EEXIST) return true;
  SetLastError(ErrorFromErrno(errno));
  return false;
}

bool RemoveFolder(const char *path) {
  if (DIR *d = opendir(path)) {
    while (dirent *e = readdir(d)) {
      std::string file = std::string(path) + "/" + e->d_name;
      struct stat st;
      if (lstat(file.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) unlink(file.c_str());
    }
    closedir(d);
  }
  if (rmdir(path) == 0 || errno == ENOENT) return true;
  SetLastError(ErrorFromErrno(errno));
  return false;
}

std::uint32_t ReplaceFileAtomically(const char *path, const void *data, std::size_t size, bool durable) {
  // One fixed temporary name per file: a writer killed half-way leaves one
  // stray file that the next write replaces, not one per process.
  std::string tmp = std::string(path) + ".tmp";

  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return ErrorFromErrno(errno);
  const char *p = static_cast<const char *>(data);
  std::size_t left = size;
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::uint32_t err = ErrorFromErrno(errno);
      close(fd);
      unlink(tmp.c_str());
      return err;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if ((durable && fdatasync(fd) != 0) || close(fd) != 0) {
    std::uint32_t err = ErrorFromErrno(errno);
    unlink(tmp.c_str());
    return err;
  }
  if (rename(tmp.c_str(), path) != 0) {
    std::uint32_t err = ErrorFromErrno(errno);
    unlink(tmp.c_str());
    return err;
  }
  return 0;
}

}  // namespace plat
