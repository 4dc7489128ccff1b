// The platform's event log. Win32: the Application log through
// RegisterEventSourceA/ReportEventA. POSIX: each event is formatted from the
// message catalogue registered for the source (its EventMessageFile value)
// and written as one line to $QVAD_EVENTLOG_FILE, or to syslog.
#pragma once
#include <cstdint>

#include "platform/types.h"

namespace plat {

// A source opened for writing events.
struct EventSourceObject;
using EventSourceHandle = EventSourceObject *;

// Null with the last error set when the source cannot be opened.
EventSourceHandle OpenEventSource(const char *source);
bool WriteEvent(EventSourceHandle source, std::uint16_t type, std::uint32_t event_id, int count,
                const char *const *strings);
// Non-zero on success, as DeregisterEventSource.
int CloseEventSource(EventSourceHandle source);

// Whether this process also writes each error event (type 1) as one plain
// line to standard error. POSIX: a service's standard error is its journal,
// so `journalctl -u` shows why it stopped. Win32: nothing changes, the
// event viewer already shows the event with its text.
void SetEventEcho(bool on);

// A note for the operator beside an event the program reported. POSIX: one
// plain line on standard error, which the journal keeps with the unit's
// other output (the event itself may have gone to a file or to syslog).
// Win32: nothing; the event log is where the operator looks.
void NoteForOperator(const char *text);

}  // namespace plat
