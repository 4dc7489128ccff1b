// Whole-file replacement on POSIX: a temporary file beside the target, the
// target's mode and owner copied to it, fsync, rename.
#include "platform/file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace plat {

namespace {

std::string FolderOf(const std::string &path) {
  std::size_t cut = path.rfind('/');
  if (cut == std::string::npos) return ".";
  return cut == 0 ? "/" : path.substr(0, cut);
}

}  // namespace

std::string FileBehindLinks(const char *path, int *err) {
  std::string cur = path;
  // As many links as the system itself follows in one path.
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (lstat(cur.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return cur;
    char buf[PATH_MAX];
    ssize_t n = readlink(cur.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return cur;
    std::string next(buf, static_cast<std::size_t>(n));
    // A relative target is relative to the folder that holds the link.
    cur = next[0] == '/' ? next : FolderOf(cur) + "/" + next;
  }
  if (err != nullptr) *err = ELOOP;
  return {};
}

int FileLength(const char *path, std::uint64_t *length) {
  struct stat st {};
  if (stat(path, &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  *length = static_cast<std::uint64_t>(st.st_size);
  return 0;
}

int CutFileBack(const char *path, std::uint64_t length) {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int err = 0;
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    err = errno;
  } else if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) < length) {
    err = EINVAL;
  } else if (ftruncate(fd, static_cast<off_t>(length)) != 0) {
    err = errno;
  }
  if (close(fd) != 0 && err == 0) err = errno;
  return err;
}

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}

int FileReplacement::Open(const char *path, bool) {
  Discard();
  int err = 0;
  target_ = FileBehindLinks(path, &err);
  if (target_.empty()) return err;

  struct stat old {};
  bool existed = stat(target_.c_str(), &old) == 0;
  if (!existed && errno != ENOENT) return errno;
  if (existed) {
    if (S_ISDIR(old.st_mode)) return EISDIR;
    // A device or a pipe cannot be replaced by a file in its place.
    if (!S_ISREG(old.st_mode)) return EINVAL;
    // A file without any write permission is read-only for everyone, root
    // included, as a read-only file is on Windows.
    if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(target_.c_str(), W_OK) != 0) return EACCES;
  }

  // One name per writer, so two writers never write into the same file.
  static std::atomic<unsigned> serial{0};
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp_ = target_ + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    fd = open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    err = errno;
    temp_.clear();
    return err;
  }
  if (existed) {
    // Owner first: a change of owner clears the set-id bits that the mode
    // then puts back.
    struct stat now {};
    if (fstat(fd, &now) != 0 ||
        ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && fchown(fd, old.st_uid, old.st_gid) != 0) ||
        fchmod(fd, old.st_mode & 07777) != 0) {
      err = errno;
      close(fd);
      Discard();
      return err;
    }
  }
  stream_ = fdopen(fd, "w");
  if (stream_ == nullptr) {
    err = errno;
    close(fd);
    Discard();
    return err;
  }
  return 0;
}

int FileReplacement::Commit() {
  if (stream_ == nullptr) return EBADF;
  int err = 0;
  errno = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0)
    err = errno != 0 ? errno : EIO;
  else if (fsync(fileno(stream_)) != 0)
    err = errno;
  std::FILE *f = stream_;
  stream_ = nullptr;
  if (std::fclose(f) != 0 && err == 0) err = errno;
  if (err == 0 && rename(temp_.c_str(), target_.c_str()) != 0) err = errno;
  if (err != 0) {
    Discard();
    return err;
  }
  temp_.clear();
  // The rename itself reaches the disk with the folder.
  int dir = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return 0;
}

}  // namespace plat
