// Appending files on Win32: a handle with append access only, so the system
// writes at the end of the file in one step (no move to the end first). The
// handle is the system's own, not the C runtime's, so the library that holds
// it needs nothing of its C runtime to close it.
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
  HANDLE h = ::CreateFileA(path, FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SetLastError(::GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool AppendFile::Write(const void *data, std::size_t size) {
  if (handle_ == kClosed) return false;
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
