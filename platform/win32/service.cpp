// Service control on Win32: the service control manager's dispatcher,
// control handler registration and status reports.
#include "platform/service.h"

#include <windows.h>

#include <cstring>

namespace plat {

namespace {
ServiceRoutine g_routine = nullptr;
ServiceControlHandler g_handler = nullptr;

void WINAPI Main(DWORD, LPSTR *) { g_routine(); }
void WINAPI Control(DWORD control) { g_handler(control); }
}  // namespace

void BlockServiceControls() {}

bool RunServiceDispatcher(const char *name, ServiceRoutine routine) {
  g_routine = routine;
  char service_name[256] = {};
  std::strncpy(service_name, name, sizeof service_name - 1);
  SERVICE_TABLE_ENTRYA table[2] = {{service_name, Main}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherA(table) != FALSE;
}

ServiceStatusHandle RegisterServiceControlHandler(const char *name, ServiceControlHandler handler) {
  g_handler = handler;
  return reinterpret_cast<ServiceStatusHandle>(::RegisterServiceCtrlHandlerA(name, Control));
}

bool ReportServiceStatus(ServiceStatusHandle status_handle, const ServiceStatus &status) {
  SERVICE_STATUS s;
  s.dwServiceType = status.type;
  s.dwCurrentState = status.state;
  s.dwControlsAccepted = status.controls_accepted;
  s.dwWin32ExitCode = status.win32_exit_code;
  s.dwServiceSpecificExitCode = status.specific_exit_code;
  s.dwCheckPoint = status.check_point;
  s.dwWaitHint = status.wait_hint;
  return ::SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(status_handle), &s) != FALSE;
}

bool ReportServiceText(const char *) { return true; }

}  // namespace plat
