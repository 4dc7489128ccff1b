// Service registration through the Win32 service control manager.
#include "platform/svcmgr.h"

#include <windows.h>

namespace plat {

namespace {
SC_HANDLE Native(SvcHandle h) { return reinterpret_cast<SC_HANDLE>(h); }
SvcHandle AsHandle(SC_HANDLE h) { return reinterpret_cast<SvcHandle>(h); }
}  // namespace

SvcHandle SvcOpenManager() { return AsHandle(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE)); }

SvcHandle SvcCreate(SvcHandle manager, const char *name, const char *command_line) {
  return AsHandle(CreateServiceA(Native(manager), name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                 SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command_line, nullptr, nullptr, nullptr,
                                 nullptr, nullptr));
}

SvcHandle SvcOpen(SvcHandle manager, const char *name) {
  return AsHandle(OpenServiceA(Native(manager), name, SERVICE_ALL_ACCESS));
}

bool SvcQueryState(SvcHandle service, std::uint32_t *state) {
  SERVICE_STATUS st = {};
  if (!QueryServiceStatus(Native(service), &st)) return false;
  *state = st.dwCurrentState;
  return true;
}

bool SvcStop(SvcHandle service) {
  SERVICE_STATUS st = {};
  return ControlService(Native(service), SERVICE_CONTROL_STOP, &st) != 0;
}

bool SvcDelete(SvcHandle service) { return DeleteService(Native(service)) != 0; }

void SvcClose(SvcHandle handle) {
  if (handle != nullptr) CloseServiceHandle(Native(handle));
}

}  // namespace plat
