// One event-log report under the adapter's source. The source is opened and
// closed on every call so that no handle outlives a report.
#include "cmn/qvadeventlog.h"

#include <cstdarg>

#include "platform/eventlog.h"

int Qvad_ReportEvent(const char *source, unsigned short type, std::uint32_t event_id, const char *first, ...) {
  const char *strings[10] = {};
  int count = 0;
  if (first != nullptr) {
    strings[count++] = first;
    va_list ap;
    va_start(ap, first);
    // Whatever follows the tenth string is never read.
    while (count < 10) {
      const char *next = va_arg(ap, const char *);
      if (next == nullptr) break;
      strings[count++] = next;
    }
    va_end(ap);
  }
  plat::EventSourceHandle h = plat::OpenEventSource(source);
  if (h == nullptr) return 0;
  plat::WriteEvent(h, type, event_id, count, strings);
  return plat::CloseEventSource(h);
}
