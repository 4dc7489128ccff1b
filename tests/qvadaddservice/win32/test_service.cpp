// A small service program for the service tool tests: it runs until asked
// to stop, then reports a stop pending for a second before it stops, so a
// tool that does not wait for the stopped state is caught. Started with the
// argument "stuck" it reports the stop pending and never stops.
#include <windows.h>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;
bool g_stuck = false;

void Report(DWORD state, DWORD wait_hint) {
  SERVICE_STATUS st = {};
  st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  st.dwCurrentState = state;
  st.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  st.dwWaitHint = wait_hint;
  SetServiceStatus(g_status, &st);
}

DWORD WINAPI Handler(DWORD control, DWORD, void *, void *) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, 3000);
    if (!g_stuck) SetEvent(g_stop);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char **) {
  g_status = RegisterServiceCtrlHandlerExA("", Handler, nullptr);
  g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  Report(SERVICE_RUNNING, 0);
  WaitForSingleObject(g_stop, INFINITE);
  Sleep(1000);
  Report(SERVICE_STOPPED, 0);
}

}  // namespace

int main(int argc, char **argv) {
  g_stuck = argc > 1 && lstrcmpA(argv[1], "stuck") == 0;
  char name[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
