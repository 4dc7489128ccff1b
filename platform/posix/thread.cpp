// Worker threads on POSIX. The end of a thread is an event, so waiting for
// it can time out. Suspension parks the thread inside a signal handler (see
// thread.h); the resume signal is blocked while the handler runs and only
// let through by sigsuspend, so a resume can never slip in before the park.
#include "platform/thread.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <cerrno>

#include "platform/error.h"
#include "platform/event.h"
#include "platform/sys.h"

namespace plat {

namespace {

struct Thread {
  pthread_t id{};
  ThreadStart routine = nullptr;
  void *arg = nullptr;
  EventHandle ended = nullptr;
  std::atomic<int> refs{2};  // the handle and the running thread
  std::atomic<int> suspend{0};
  std::atomic<int> parked{0};
};

thread_local Thread *t_self = nullptr;

int SuspendSignal() { return SIGRTMIN + 2; }
int ResumeSignal() { return SIGRTMIN + 3; }

void Release(Thread *t) {
  if (--t->refs == 0) {
    CloseEvent(t->ended);
    delete t;
  }
}

void OnSuspend(int) {
  int saved = errno;
  Thread *t = t_self;
  if (t != nullptr) {
    sigset_t wait;
    pthread_sigmask(SIG_SETMASK, nullptr, &wait);
    sigdelset(&wait, ResumeSignal());
    t->parked = 1;
    while (t->suspend.load() != 0) sigsuspend(&wait);
    t->parked = 0;
  }
  errno = saved;
}

void OnResume(int) {}

void InstallHandlers() {
  static std::atomic<bool> done{false};
  if (done.exchange(true)) return;
  struct sigaction sa {};
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  sigaddset(&sa.sa_mask, ResumeSignal());
  sa.sa_handler = OnSuspend;
  sigaction(SuspendSignal(), &sa, nullptr);
  struct sigaction ra {};
  ra.sa_flags = SA_RESTART;
  sigemptyset(&ra.sa_mask);
  ra.sa_handler = OnResume;
  sigaction(ResumeSignal(), &ra, nullptr);
}

void *Run(void *p) {
  auto *t = static_cast<Thread *>(p);
  t_self = t;
  // The signals a service's main thread waits for are not ours to take.
  sigset_t mine;
  sigemptyset(&mine);
  sigaddset(&mine, SuspendSignal());
  sigaddset(&mine, ResumeSignal());
  pthread_sigmask(SIG_UNBLOCK, &mine, nullptr);
  t->routine(t->arg);
  t_self = nullptr;
  SetEvent(t->ended);
  Release(t);
  return nullptr;
}

void SleepMs(int ms) {
  timespec ts{0, ms * 1000000L};
  nanosleep(&ts, nullptr);
}

}  // namespace

ThreadHandle StartThread(ThreadStart routine, void *arg) {
  InstallHandlers();
  auto *t = new Thread;
  t->routine = routine;
  t->arg = arg;
  t->ended = CreateManualEvent();
  if (t->ended == nullptr) {
    delete t;
    return nullptr;
  }
  int rc = pthread_create(&t->id, nullptr, Run, t);
  if (rc != 0) {
    CloseEvent(t->ended);
    delete t;
    SetLastError(ErrorFromErrno(rc));
    return nullptr;
  }
  // Joinable until the handle is closed, so a suspend or resume signal
  // never targets a thread id that has been reused.
  return reinterpret_cast<ThreadHandle>(t);
}

std::uint32_t WaitThread(ThreadHandle thread, std::uint32_t timeout_ms) {
  auto *t = reinterpret_cast<Thread *>(thread);
  if (t == nullptr) {
    SetLastError(kErrInvalidHandle);
    return kWaitFailed;
  }
  return WaitEvent(t->ended, timeout_ms);
}

bool SuspendThread(ThreadHandle thread) {
  auto *t = reinterpret_cast<Thread *>(thread);
  if (t == nullptr || WaitEvent(t->ended, 0) == kWaitObject0) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  t->suspend = 1;
  int rc = pthread_kill(t->id, SuspendSignal());
  if (rc != 0) {
    t->suspend = 0;
    SetLastError(ErrorFromErrno(rc));
    return false;
  }
  // Return once it is parked (or has ended meanwhile), as SuspendThread
  // does; a thread that never parks is given up on after five seconds.
  const std::int64_t deadline = MonotonicMillis() + 5000;
  while (t->parked.load() == 0 && WaitEvent(t->ended, 0) != kWaitObject0 && MonotonicMillis() < deadline) SleepMs(1);
  return true;
}

bool ResumeThread(ThreadHandle thread) {
  auto *t = reinterpret_cast<Thread *>(thread);
  if (t == nullptr) {
    SetLastError(kErrInvalidHandle);
    return false;
  }
  t->suspend = 0;
  if (WaitEvent(t->ended, 0) != kWaitObject0) pthread_kill(t->id, ResumeSignal());
  return true;
}

void CloseThread(ThreadHandle thread) {
  auto *t = reinterpret_cast<Thread *>(thread);
  if (t == nullptr) return;
  if (WaitEvent(t->ended, 0) == kWaitObject0) {
    pthread_join(t->id, nullptr);
  } else {
    pthread_detach(t->id);
  }
  Release(t);
}

SignalBlocker::SignalBlocker() {
  static_assert(sizeof(sigset_t) <= sizeof saved_, "room for the old mask");
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, reinterpret_cast<sigset_t *>(saved_));
}

SignalBlocker::~SignalBlocker() { pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t *>(saved_), nullptr); }

}  // namespace plat
