// The Application event log on Win32.
#include "platform/eventlog.h"

#include <windows.h>

namespace plat {

EventSourceHandle OpenEventSource(const char *source) {
  return static_cast<EventSourceHandle>(::RegisterEventSourceA(nullptr, source));
}

bool WriteEvent(EventSourceHandle source, std::uint16_t type, std::uint32_t event_id, int count,
                const char *const *strings) {
  return ::ReportEventA(source, type, 0, event_id, nullptr, static_cast<WORD>(count), 0,
                        const_cast<const char **>(strings), nullptr) != FALSE;
}

int CloseEventSource(EventSourceHandle source) { return ::DeregisterEventSource(source) ? 1 : 0; }

void SetEventEcho(bool) {}
void NoteForOperator(const char *) {}

}  // namespace plat
