// Worker threads on Win32: CreateThread, SuspendThread, ResumeThread.
#include "platform/thread.h"

#include <windows.h>

namespace plat {

namespace {
struct Start {
  ThreadStart routine;
  void *arg;
};
DWORD WINAPI Trampoline(LPVOID p) {
  Start s = *static_cast<Start *>(p);
  delete static_cast<Start *>(p);
  return s.routine(s.arg);
}
}  // namespace

Handle StartThread(ThreadStart routine, void *arg) {
  auto *s = new Start{routine, arg};
  HANDLE h = ::CreateThread(nullptr, 0, Trampoline, s, 0, nullptr);
  if (h == nullptr) delete s;
  return h;
}

std::uint32_t WaitThread(Handle thread, std::uint32_t timeout_ms) { return ::WaitForSingleObject(thread, timeout_ms); }
bool SuspendThread(Handle thread) { return ::SuspendThread(thread) != static_cast<DWORD>(-1); }
bool ResumeThread(Handle thread) { return ::ResumeThread(thread) != static_cast<DWORD>(-1); }
void CloseThread(Handle thread) {
  if (thread != nullptr && thread != kInvalidHandle) ::CloseHandle(thread);
}

SignalBlocker::SignalBlocker() : saved_{} {}
SignalBlocker::~SignalBlocker() = default;

}  // namespace plat
