// The system-wide run mutex that keeps inventory runs of all processes apart:
// a named mutex on Win32; on POSIX a process-owned lock on a file in the var
// folder of the install that holds the calling module ("<install>/bin/..."),
// so every caller of one install meets the same lock. Waits end the moment the mutex is released; the time-out is only
// the longest a single wait may take.
#pragma once
#include <cstdint>

#include "platform/types.h"

namespace plat {

// The run mutex opened by CreateRunMutex.
struct RunMutexObject;
using RunMutexHandle = RunMutexObject *;
inline RunMutexHandle const kInvalidRunMutex = InvalidHandleOf<RunMutexHandle>();

// Results as the system reports them.
inline constexpr int kMutexCreated = 0;   // this call created the mutex and owns it
inline constexpr int kMutexExisted = 5;   // it existed; the handle is returned, not owned
inline constexpr int kMutexAcquired = 6;  // a wait acquired it
inline constexpr int kMutexTimedOut = 7;  // a wait timed out

// Opens the mutex of this name (a leading "Global\" names the system-wide
// namespace), asking for ownership. kMutexCreated, kMutexExisted, or -1 with
// the last error set.
int CreateRunMutex(const char *name, RunMutexHandle *out);

// Waits up to timeout_ms: kMutexAcquired, kMutexTimedOut, or -1 with *wait_result
// holding the platform's wait result (an abandoned mutex counts as a failure).
int WaitRunMutex(RunMutexHandle mutex, std::uint32_t timeout_ms, std::uint32_t *wait_result);

// Gives up ownership; the handle stays open.
bool ReleaseRunMutex(RunMutexHandle mutex);

// Closes the handle (ownership, if still held, ends with it). A null or
// invalid handle is ignored.
void CloseRunMutex(RunMutexHandle mutex);

}  // namespace plat

namespace plat {

// A lock that marks the one running instance of a program for the folder
// the lock file lies in: an exclusive lock on that file, taken without
// waiting and held until UnlockInstance or the end of the process (the
// system drops it when its holder dies, so a killed instance never blocks
// the next). The file is created when missing; one that cannot be created
// but exists is locked as it is. kInvalidInstanceLock with the last error set
// on failure: kErrSharingViolation (32) when another process holds the lock.
struct InstanceLockObject;
using InstanceLockHandle = InstanceLockObject *;
inline InstanceLockHandle const kInvalidInstanceLock = InvalidHandleOf<InstanceLockHandle>();

InstanceLockHandle LockInstance(const char *path);
void UnlockInstance(InstanceLockHandle lock);

}  // namespace plat
