// Appending files on Win32: a handle that may append but not overwrite, so
// the system writes at the end of the file (no move to the end first), and
// each write made under an exclusive lock of one byte far beyond any end the
// file will reach: an append-only handle alone still lost an entry now and
// then under Wine, whose end-of-file append is a look at the size and a write
// there. Readers never touch the locked byte. The handle is the system's own,
// not the C runtime's, so the library that holds it needs nothing of its C
// runtime to close it.
#include "platform/append.h"

#include <windows.h>

#include "platform/error.h"

namespace plat {

bool AppendFile::Open(const char *path) {
  Close();
  // Shared for reading and writing, as the C runtime opens files, but not
  // for deletion: a file deleted while open would linger, pending, until the
  // last program closes it, and every other program's open would fail
  // meanwhile (a whole folder cannot be removed while it lingers either).
  // Read access is what the lock needs; it reads nothing.
  HANDLE h = ::CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SetLastError(::GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

namespace {

// The byte every writer of the file locks around its append.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

class AppendLock {
 public:
  explicit AppendLock(HANDLE h) : h_(h) {
    ov_.OffsetHigh = kLockOffsetHigh;
    held_ = ::LockFileEx(h_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &ov_) != 0;
  }
  ~AppendLock() {
    if (held_) ::UnlockFileEx(h_, 0, 1, 0, &ov_);
  }
  AppendLock(const AppendLock &) = delete;
  AppendLock &operator=(const AppendLock &) = delete;

 private:
  HANDLE h_;
  OVERLAPPED ov_{};
  bool held_ = false;
};

}  // namespace

bool AppendFile::Write(const void *data, std::size_t size) {
  if (handle_ == kClosed) return false;
  // Without the lock (a file system that has none) the append still goes
  // to the end; only the rare race is back.
  AppendLock lock(reinterpret_cast<HANDLE>(handle_));
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    DWORD chunk = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
    DWORD done = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(handle_), p, chunk, &done, nullptr) || done == 0) {
      SetLastError(::GetLastError());
      return false;
    }
    p += done;
    size -= done;
  }
  return true;
}

void AppendFile::Close() {
  if (handle_ == kClosed) return;
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kClosed;
}

}  // namespace plat
