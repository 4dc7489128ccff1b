// Manual-reset events on Win32: kernel event objects.
#include "platform/event.h"

#include <windows.h>

namespace plat {

EventHandle CreateManualEvent() { return static_cast<EventHandle>(::CreateEventA(nullptr, TRUE, FALSE, nullptr)); }
bool SetEvent(EventHandle event) { return ::SetEvent(event) != FALSE; }
bool ResetEvent(EventHandle event) { return ::ResetEvent(event) != FALSE; }
std::uint32_t WaitEvent(EventHandle event, std::uint32_t timeout_ms) {
  return ::WaitForSingleObject(event, timeout_ms);
}
void CloseEvent(EventHandle event) {
  if (event != nullptr && event != kInvalidEvent) ::CloseHandle(event);
}

}  // namespace plat
