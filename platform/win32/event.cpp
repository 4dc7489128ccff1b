// Manual-reset events on Win32: kernel event objects.
#include "platform/event.h"

#include <windows.h>

namespace plat {

Handle CreateManualEvent() { return ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
bool SetEvent(Handle event) { return ::SetEvent(event) != FALSE; }
bool ResetEvent(Handle event) { return ::ResetEvent(event) != FALSE; }
std::uint32_t WaitEvent(Handle event, std::uint32_t timeout_ms) { return ::WaitForSingleObject(event, timeout_ms); }
void CloseEvent(Handle event) {
  if (event != nullptr && event != kInvalidHandle) ::CloseHandle(event);
}

}  // namespace plat
