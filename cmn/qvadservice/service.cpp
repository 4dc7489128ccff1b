// The service framework. Three threads meet here: the main thread runs the
// platform's dispatcher and, inside it, the control handler; the service
// thread runs Qvad_ServiceMain; the worker runs the caller's routine. The
// flags they share are atomics and the stop event is their only other
// synchronisation; no lock is taken, since the worker may be suspended at
// any point and would hold it. The worker is never killed, only waited for.
//
// The stop event lives until the dispatcher has returned: a stop control
// can still come while the service stops, and its handler must find the
// event open.
#include "platform/service.h"

#include <cstring>

#include "cmn/qvadservice/qvadservice.h"
#include "platform/error.h"
#include "platform/event.h"

namespace {

QVAD_SERVICE g_service;

void Fail(std::int32_t local, std::uint32_t system, int line) {
  Qvad_FillError(&g_service.error, local, system, line, __FILE__);
  g_service.failed = 1;
}

// A fresh context for one run.
void ResetService(QVAD_WORKER_ROUTINE worker) {
  std::memset(g_service.name, 0, sizeof g_service.name);
  g_service.worker_routine = worker;
  g_service.running = 0;
  g_service.suspended = 0;
  g_service.status_handle = nullptr;
  g_service.stop_event = nullptr;
  g_service.worker_thread = nullptr;
  g_service.failed = 0;
  std::memset(&g_service.error, 0, sizeof g_service.error);
  g_service.specific_exit_code = 0;
}

void CloseStopEvent() {
  plat::EventHandle event = g_service.stop_event.exchange(nullptr);
  if (event != nullptr) plat::CloseEvent(event);
}

}  // namespace

int Qvad_CreateService(const char *name, QVAD_WORKER_ROUTINE worker, QVAD_ERROR_TBL *error) {
  // The name must fit the context's 32 bytes; a longer one is refused like an empty one.
  if (name == nullptr || name[0] == '\0' || std::strlen(name) > 31 || worker == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  ResetService(worker);
  std::memcpy(g_service.name, name, std::strlen(name) + 1);
  bool dispatched = plat::RunServiceDispatcher(g_service.name, Qvad_ServiceMain);
  std::uint32_t dispatch_error = plat::LastError();
  CloseStopEvent();
  if (!dispatched) {
    QVAD_FILL_ERROR(error, 22, dispatch_error);
    return 0;
  }
  if (g_service.failed == 1) {
    if (error != nullptr) std::memcpy(error, &g_service.error, sizeof *error);
    return 0;
  }
  return 1;
}

void Qvad_ServiceMain() {
  g_service.status_handle = plat::RegisterServiceControlHandler(g_service.name, Qvad_ServiceCtrlHandler);
  if (g_service.status_handle == nullptr) {
    Fail(1, plat::LastError(), __LINE__);
    return;
  }
  do {
    if (!Qvad_SetServiceStatus(plat::kServiceStartPending, 0, 0, 1, 5000)) {
      Fail(2, plat::LastError(), __LINE__);
      break;
    }
    g_service.stop_event = plat::CreateManualEvent();
    if (g_service.stop_event.load() == nullptr) {
      Fail(200, plat::LastError(), __LINE__);
      break;
    }
    if (!Qvad_SetServiceStatus(plat::kServiceStartPending, 0, 0, 1, 5000)) {
      Fail(2, plat::LastError(), __LINE__);
      break;
    }
    if (!Qvad_StartWorker()) {
      Fail(3, plat::LastError(), __LINE__);
      break;
    }
    if (!Qvad_SetServiceStatus(plat::kServiceRunning, 0, 0, 0, 0)) {
      Fail(2, plat::LastError(), __LINE__);
      break;
    }
    plat::WaitEvent(g_service.stop_event.load(), plat::kInfinite);
  } while (false);
  Qvad_ServiceStop();
}

int Qvad_StartWorker() {
  g_service.worker_thread = plat::StartThread(g_service.worker_routine, nullptr);
  g_service.running = g_service.worker_thread != nullptr ? 1 : 0;
  return g_service.running;
}

int Qvad_SetServiceStatus(std::uint32_t state, std::uint32_t exit_code, std::uint32_t specific_exit_code,
                          std::uint32_t check_point, std::uint32_t wait_hint) {
  plat::ServiceStatus s;
  s.type = plat::kServiceWin32OwnProcess;
  s.state = state;
  s.controls_accepted = state == plat::kServiceStartPending ? 0 : 7;
  s.win32_exit_code = specific_exit_code != 0 ? 1066 : exit_code;
  s.specific_exit_code = specific_exit_code;
  s.check_point = check_point;
  s.wait_hint = wait_hint;
  if (!plat::ReportServiceStatus(g_service.status_handle, s)) {
    std::uint32_t err = plat::LastError();
    Qvad_RequestStop();
    plat::SetLastError(err);
    return 0;
  }
  return 1;
}

void Qvad_ServiceStop() {
  Qvad_SetServiceStatus(plat::kServiceStopPending, 0, 0, 1, 1000);
  if (g_service.worker_thread != nullptr) {
    if (g_service.suspended == 1) {
      g_service.suspended = 0;
      plat::ResumeThread(g_service.worker_thread);
    }
    for (;;) {
      Qvad_SetServiceStatus(plat::kServiceStopPending, 0, 0, 1, 2000);
      if (plat::WaitThread(g_service.worker_thread, 1000) != plat::kWaitTimeout) break;
    }
    Qvad_SetServiceStatus(plat::kServiceStopPending, 0, 0, 1, 1000);
    plat::CloseThread(g_service.worker_thread);
    g_service.worker_thread = nullptr;
  }
  Qvad_SetServiceStatus(plat::kServiceStopped, 0, g_service.specific_exit_code, 0, 0);
}

void Qvad_ServiceCtrlHandler(std::uint32_t control) {
  switch (control) {
    case plat::kControlStop:
    case plat::kControlShutdown: Qvad_RequestStop(); break;
    case plat::kControlPause:
      if (g_service.running == 1 && g_service.suspended == 0) {
        Qvad_SetServiceStatus(plat::kServicePausePending, 0, 0, 1, 1000);
        Qvad_SuspendWorker();
        Qvad_SetServiceStatus(plat::kServicePaused, 0, 0, 0, 0);
      }
      break;
    case plat::kControlContinue:
      if (g_service.running == 1 && g_service.suspended == 1) {
        Qvad_SetServiceStatus(plat::kServiceContinuePending, 0, 0, 1, 1000);
        Qvad_ResumeWorker();
        Qvad_SetServiceStatus(plat::kServiceRunning, 0, 0, 0, 0);
      }
      break;
    default: break;
  }
}

void Qvad_RequestStop() {
  g_service.running = 0;
  // Before the service thread has made the event (a failed first status
  // report) there is nothing to signal; the stop sequence follows anyway.
  plat::EventHandle event = g_service.stop_event.load();
  if (event != nullptr) plat::SetEvent(event);
}

void Qvad_SetServiceExitCode(std::uint32_t specific_exit_code) { g_service.specific_exit_code = specific_exit_code; }

std::uint32_t Qvad_ServiceExitCode() { return g_service.specific_exit_code; }

int Qvad_IsStopRequested(std::uint32_t timeout_ms) {
  plat::EventHandle event = g_service.stop_event.load();
  if (event == nullptr) return 1;
  return plat::WaitEvent(event, timeout_ms) == plat::kWaitTimeout ? 0 : 1;
}

void Qvad_SuspendWorker() {
  g_service.suspended = 1;
  plat::SuspendThread(g_service.worker_thread);
}

void Qvad_ResumeWorker() {
  g_service.suspended = 0;
  plat::ResumeThread(g_service.worker_thread);
}

int Qvad_StartDetachedWorker(QVAD_WORKER_ROUTINE worker, QVAD_ERROR_TBL *error) {
  if (worker == nullptr) {
    QVAD_FILL_ERROR(error, 22, plat::kErrInvalidParameter);
    return 0;
  }
  ResetService(worker);
  g_service.stop_event = plat::CreateManualEvent();
  if (g_service.stop_event.load() == nullptr) {
    QVAD_FILL_ERROR(error, 200, plat::LastError());
    return 0;
  }
  if (!Qvad_StartWorker()) {
    QVAD_FILL_ERROR(error, 3, plat::LastError());
    CloseStopEvent();
    return 0;
  }
  return 1;
}

int Qvad_EndDetachedWorker(std::uint32_t timeout_ms) {
  if (g_service.worker_thread == nullptr) return 0;
  if (g_service.suspended == 1) Qvad_ResumeWorker();
  if (plat::WaitThread(g_service.worker_thread, timeout_ms) != plat::kWaitObject0) return 0;
  plat::CloseThread(g_service.worker_thread);
  g_service.worker_thread = nullptr;
  CloseStopEvent();
  return 1;
}
