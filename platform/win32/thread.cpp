// Worker threads on Win32: CreateThread, SuspendThread, ResumeThread.
#include "platform/thread.h"

#include <windows.h>

namespace plat {

namespace {
struct Start {
  ThreadStart routine;
  void *arg;
  HMODULE module;
};
// A thread keeps the module its code lives in loaded until it has ended: a
// library unloaded while its threads run (or before they have even
// started, which they cannot do while the unloading holds the loader lock)
// would leave them executing freed memory.
DWORD WINAPI Trampoline(LPVOID p) {
  Start s = *static_cast<Start *>(p);
  delete static_cast<Start *>(p);
  DWORD code = s.routine(s.arg);
  if (s.module != nullptr) ::FreeLibraryAndExitThread(s.module, code);
  return code;
}
}  // namespace

ThreadHandle StartThread(ThreadStart routine, void *arg) {
  auto *s = new Start{routine, arg, nullptr};
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&Trampoline),
                            &s->module)) {
    s->module = nullptr;
  }
  HANDLE h = ::CreateThread(nullptr, 0, Trampoline, s, 0, nullptr);
  if (h == nullptr) {
    DWORD error = ::GetLastError();
    if (s->module != nullptr) ::FreeLibrary(s->module);
    delete s;
    ::SetLastError(error);
  }
  return static_cast<ThreadHandle>(h);
}

std::uint32_t WaitThread(ThreadHandle thread, std::uint32_t timeout_ms) {
  return ::WaitForSingleObject(thread, timeout_ms);
}
bool SuspendThread(ThreadHandle thread) { return ::SuspendThread(thread) != static_cast<DWORD>(-1); }
bool ResumeThread(ThreadHandle thread) { return ::ResumeThread(thread) != static_cast<DWORD>(-1); }
void CloseThread(ThreadHandle thread) {
  if (thread != nullptr && thread != kInvalidThread) ::CloseHandle(thread);
}

SignalBlocker::SignalBlocker() : saved_{} {}
SignalBlocker::~SignalBlocker() = default;

}  // namespace plat
