// The run mutex on Win32: a named kernel mutex.
#include "platform/mutex.h"

#include <windows.h>

#include "platform/error.h"

namespace plat {

int CreateRunMutex(const char *name, Handle *out) {
  if (name == nullptr || out == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  HANDLE h = ::CreateMutexA(nullptr, TRUE, name);
  if (h == nullptr) return -1;
  *out = h;
  return ::GetLastError() == ERROR_ALREADY_EXISTS ? kMutexExisted : kMutexCreated;
}

int WaitRunMutex(Handle mutex, std::uint32_t timeout_ms, std::uint32_t *wait_result) {
  DWORD r = ::WaitForSingleObject(mutex, timeout_ms);
  if (r == WAIT_OBJECT_0) return kMutexAcquired;
  if (r == WAIT_TIMEOUT) return kMutexTimedOut;
  if (wait_result != nullptr) *wait_result = r;
  return -1;
}

bool ReleaseRunMutex(Handle mutex) { return ::ReleaseMutex(mutex) != 0; }

void CloseRunMutex(Handle mutex) {
  if (mutex == nullptr || mutex == kInvalidHandle) return;
  ::CloseHandle(mutex);
}

}  // namespace plat
