// Whole-file replacement on Win32: a temporary file beside the target through
// the C runtime (so text mode writes CR LF), _commit, then MoveFileExA with
// write-through.
#include "platform/file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <cerrno>

namespace plat {

namespace {

// The C runtime error number of the same meaning, as the tools report errno.
int ErrnoFromWin32(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_NOT_ENOUGH_MEMORY: return ENOMEM;
    default: return EIO;
  }
}

}  // namespace

std::string FileBehindLinks(const char *path, int *) { return path; }

int FileLength(const char *path, std::uint64_t *length) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return ErrnoFromWin32(::GetLastError());
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EINVAL;
  *length = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return 0;
}

int CutFileBack(const char *path, std::uint64_t length) {
  HANDLE h = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return ErrnoFromWin32(::GetLastError());
  int err = 0;
  LARGE_INTEGER now{}, at{};
  at.QuadPart = static_cast<LONGLONG>(length);
  if (!::GetFileSizeEx(h, &now)) {
    err = ErrnoFromWin32(::GetLastError());
  } else if (static_cast<std::uint64_t>(now.QuadPart) < length) {
    err = EINVAL;
  } else if (!::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) || !::SetEndOfFile(h)) {
    err = ErrnoFromWin32(::GetLastError());
  }
  if (!::CloseHandle(h) && err == 0) err = ErrnoFromWin32(::GetLastError());
  return err;
}

FileReplacement::~FileReplacement() { Discard(); }

void FileReplacement::Discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (!temp_.empty()) ::DeleteFileA(temp_.c_str());
  temp_.clear();
}

int FileReplacement::Open(const char *path, bool text) {
  Discard();
  target_ = path;
  DWORD attr = ::GetFileAttributesA(path);
  if (attr != INVALID_FILE_ATTRIBUTES) {
    if ((attr & FILE_ATTRIBUTE_DIRECTORY) != 0) return EISDIR;
    if ((attr & FILE_ATTRIBUTE_READONLY) != 0) return EACCES;
  }
  // One name per writer, so two writers never write into the same file.
  static std::atomic<unsigned> serial{0};
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp_ = target_ + ".tmp" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(serial++);
    fd = _open(temp_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | (text ? _O_TEXT : _O_BINARY), _S_IREAD | _S_IWRITE);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    int err = errno;
    temp_.clear();
    return err;
  }
  stream_ = _fdopen(fd, text ? "w" : "wb");
  if (stream_ == nullptr) {
    int err = errno;
    _close(fd);
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
  else if (_commit(_fileno(stream_)) != 0)
    err = errno;
  std::FILE *f = stream_;
  stream_ = nullptr;
  if (std::fclose(f) != 0 && err == 0) err = errno;
  if (err == 0) {
    // A reader that has the old file open (without delete sharing) holds
    // the rename off for a moment; wait for it up to ten seconds (a busy
    // machine can keep a reader from letting go for a while), not for ever.
    for (int attempt = 0;; ++attempt) {
      if (::MoveFileExA(temp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) break;
      DWORD code = ::GetLastError();
      if ((code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED) || attempt >= 200) {
        err = ErrnoFromWin32(code);
        break;
      }
      ::Sleep(50);
    }
  }
  if (err != 0) {
    Discard();
    return err;
  }
  temp_.clear();
  return 0;
}

}  // namespace plat
