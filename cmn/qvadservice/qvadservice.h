// A small framework that turns a program into a service with one worker
// thread: it answers the service manager (start, stop, shutdown, pause,
// continue), runs the worker, and reports the stop. The worker never talks
// to the service manager; it polls Qvad_IsStopRequested and, when it ends on
// its own, calls Qvad_RequestStop so that any end of the worker ends the
// service.
#pragma once
#include <atomic>
#include <cstdint>

#include "cmn/qvaderror.h"
#include "platform/event.h"
#include "platform/service.h"
#include "platform/thread.h"

using QVAD_WORKER_ROUTINE = plat::ThreadStart;

// The framework's context. Three threads read and write it (see
// service.cpp): what more than one of them touches is atomic; the name,
// routine, status handle, worker thread and error record are written before
// the threads that read them are started or told to look (a store to an
// atomic after them publishes them).
struct QVAD_SERVICE {
  char name[32];
  QVAD_WORKER_ROUTINE worker_routine;
  std::atomic<std::int32_t> running;
  std::atomic<std::int32_t> suspended;
  plat::ServiceStatusHandle status_handle;
  std::atomic<plat::EventHandle> stop_event;
  plat::ThreadHandle worker_thread;
  std::atomic<std::int32_t> failed;
  QVAD_ERROR_TBL error;
  // Non-zero when the worker ended on its own after a failure: reported
  // with the final stop so the service manager treats the stop as a
  // failure (Win32 recovery actions, Restart=on-failure).
  std::atomic<std::uint32_t> specific_exit_code;
};

// Runs the service: 1 when it ran and stopped normally, 0 on failure with
// the error record filled.
int Qvad_CreateService(const char *name, QVAD_WORKER_ROUTINE worker, QVAD_ERROR_TBL *error);

void Qvad_ServiceMain();
void Qvad_ServiceCtrlHandler(std::uint32_t control);
int Qvad_StartWorker();
int Qvad_SetServiceStatus(std::uint32_t state, std::uint32_t exit_code, std::uint32_t specific_exit_code,
                          std::uint32_t check_point, std::uint32_t wait_hint);
void Qvad_ServiceStop();
void Qvad_RequestStop();
// The worker names why it ends on its own, before it requests the stop: the
// final status report then carries the code as the service-specific exit
// code (Win32 exit code 1066). 0, the default, is an ordinary stop.
void Qvad_SetServiceExitCode(std::uint32_t specific_exit_code);
std::uint32_t Qvad_ServiceExitCode();
// 0 only when the wait timed out, 1 for any other result.
int Qvad_IsStopRequested(std::uint32_t timeout_ms);
void Qvad_SuspendWorker();
void Qvad_ResumeWorker();

// Runs the worker without a service manager, with the stop event and worker
// thread the service would give it, for hosting the worker in a foreground
// process (diagnosis, tests). Qvad_RequestStop asks it to end;
// Qvad_EndDetachedWorker waits for it (up to timeout_ms) and releases both.
// 1 on success; 0 with the error record filled (200 or 3, last error), or
// from the end when the worker did not end in time.
int Qvad_StartDetachedWorker(QVAD_WORKER_ROUTINE worker, QVAD_ERROR_TBL *error);
int Qvad_EndDetachedWorker(std::uint32_t timeout_ms);
