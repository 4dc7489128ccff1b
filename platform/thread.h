// Worker threads that another thread can suspend and resume. On POSIX a
// suspend is a signal whose handler parks the thread in sigsuspend until
// the resume signal arrives, so the thread stops wherever it is, as with
// SuspendThread; system calls it was blocked in resume or return early
// (EINTR), which every wait of the platform layer retries.
#pragma once
#include <cstdint>

#include "platform/types.h"

namespace plat {

// A thread started by StartThread.
struct ThreadObject;
using ThreadHandle = ThreadObject *;
inline ThreadHandle const kInvalidThread = InvalidHandleOf<ThreadHandle>();

using ThreadStart = std::uint32_t (*)(void *arg);

// Starts a thread running at once; null with the last error set on failure.
// On Win32 the thread keeps the module of its code loaded until it ends.
ThreadHandle StartThread(ThreadStart routine, void *arg);
// kWaitObject0 once the thread has ended, kWaitTimeout, or kWaitFailed.
std::uint32_t WaitThread(ThreadHandle thread, std::uint32_t timeout_ms);
// Returns once the thread is parked (POSIX) or suspended (Win32).
bool SuspendThread(ThreadHandle thread);
bool ResumeThread(ThreadHandle thread);
// Releases the handle; a thread still running goes on, detached.
void CloseThread(ThreadHandle thread);

// While one lives, the calling thread takes no asynchronous process signals,
// and threads it starts inherit that: a library's helper thread must never
// take the stop, pause or continue signal meant for the service's main
// thread (POSIX). Nothing to do on Win32.
class SignalBlocker {
 public:
  SignalBlocker();
  ~SignalBlocker();
  SignalBlocker(const SignalBlocker &) = delete;
  SignalBlocker &operator=(const SignalBlocker &) = delete;

 private:
  unsigned char saved_[256];
};

}  // namespace plat
