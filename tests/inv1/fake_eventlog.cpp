// Stand-in for the event-log reporter until the real one is merged: it
// records the reports so the tests can look at them.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "cmn/qvadeventlog.h"
#include "fake_eventlog.h"

namespace qvtest {
std::vector<std::string> g_events;
}

int Qvad_ReportEvent(const char *, unsigned short type, std::uint32_t event_id, const char *first, ...) {
  char head[32];
  std::snprintf(head, sizeof head, "%u 0x%08X", type, event_id);
  std::string line = head;
  va_list ap;
  va_start(ap, first);
  for (const char *s = first; s != nullptr; s = va_arg(ap, const char *)) line += std::string(" [") + s + "]";
  va_end(ap);
  qvtest::g_events.push_back(line);
  return 1;
}
