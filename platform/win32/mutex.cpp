// The run mutex on Win32: a named kernel mutex.
#include "platform/mutex.h"

#include <windows.h>

#include "platform/error.h"

namespace plat {

int CreateRunMutex(const char *name, RunMutexHandle *out) {
  if (name == nullptr || out == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  HANDLE h = ::CreateMutexA(nullptr, TRUE, name);
  if (h == nullptr) return -1;
  *out = static_cast<RunMutexHandle>(h);
  return ::GetLastError() == ERROR_ALREADY_EXISTS ? kMutexExisted : kMutexCreated;
}

int WaitRunMutex(RunMutexHandle mutex, std::uint32_t timeout_ms, std::uint32_t *wait_result) {
  DWORD r = ::WaitForSingleObject(mutex, timeout_ms);
  if (r == WAIT_OBJECT_0) return kMutexAcquired;
  if (r == WAIT_TIMEOUT) return kMutexTimedOut;
  if (wait_result != nullptr) *wait_result = r;
  return -1;
}

bool ReleaseRunMutex(RunMutexHandle mutex) { return ::ReleaseMutex(mutex) != 0; }

void CloseRunMutex(RunMutexHandle mutex) {
  if (mutex == nullptr || mutex == kInvalidRunMutex) return;
  ::CloseHandle(mutex);
}

}  // namespace plat

namespace plat {

// The file opened without sharing: a second open fails with a sharing
// violation until this handle is closed, by us or by the system when the
// process ends. The handle is not inheritable, so a child never keeps it.
InstanceLockHandle LockInstance(const char *path) {
  if (path == nullptr || path[0] == '\0') {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return kInvalidInstanceLock;
  }
  HANDLE h = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_SHARING_VIOLATION) {
    h = ::CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  return h == INVALID_HANDLE_VALUE ? kInvalidInstanceLock : static_cast<InstanceLockHandle>(h);
}

void UnlockInstance(InstanceLockHandle lock) {
  if (lock == nullptr || lock == kInvalidInstanceLock) return;
  ::CloseHandle(lock);
}

}  // namespace plat
