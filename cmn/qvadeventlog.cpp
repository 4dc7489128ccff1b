// One event-log report under the adapter's source. The source is opened and
// closed on every call so that no handle outlives a report.
//
// Warnings are limited per identifier: at most kReportsPerWindow of one
// identifier in a minute reach the log, the rest are counted and told in one
// summary (QVAD_MSG_REPORTS_HELD) when the minute is over or the program
// ends. A source that prints a megabyte of garbage would otherwise write a
// warning per line and, on Windows, push other products' entries out of the
// Application log. Errors and information events (milestones, the failures
// that end a program) always go out; the traces keep every occurrence.
#include "cmn/qvadeventlog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/eventlog.h"
#include "platform/sys.h"

namespace {

constexpr int kReportsPerWindow = 20;
constexpr std::int64_t kWindowMs = 60000;
constexpr int kLimitSlots = 32;  // far more warning identifiers than the adapter has

struct Limit {
  std::uint32_t id;
  std::int64_t start;
  int reported;
  std::uint32_t held;
};

struct Summary {
  std::uint32_t id;
  std::uint32_t held;
  std::int64_t ms;
};

std::mutex g_limit_mutex;
Limit g_limits[kLimitSlots];
int g_limit_count = 0;
std::int64_t (*g_clock)() = plat::MonotonicMillis;

void Write(const char *source, unsigned short type, std::uint32_t event_id, int count, const char *const *strings) {
  plat::EventSourceHandle h = plat::OpenEventSource(source);
  if (h == nullptr) return;
  plat::WriteEvent(h, type, event_id, count, strings);
  plat::CloseEventSource(h);
}

void ReportSummary(const Summary &s) {
  char held[16], id[16], seconds[24];
  std::snprintf(held, sizeof held, "%u", static_cast<unsigned>(s.held));
  std::snprintf(id, sizeof id, "0x%08X", static_cast<unsigned>(s.id));
  std::snprintf(seconds, sizeof seconds, "%lld", static_cast<long long>((s.ms + 999) / 1000));
  const char *strings[] = {held, id, seconds};
  Write(kQvadEventSource, kQvadEventWarning, QVAD_MSG_REPORTS_HELD, 3, strings);
}

// Whether a warning of this identifier may go out now; a minute that is
// over and held reports back leaves its summary in *summary.
bool MayReport(std::uint32_t event_id, Summary *summary) {
  std::lock_guard<std::mutex> hold(g_limit_mutex);
  std::int64_t now = g_clock();
  Limit *l = nullptr;
  for (int i = 0; i < g_limit_count; ++i)
    if (g_limits[i].id == event_id) l = &g_limits[i];
  if (l == nullptr) {
    if (g_limit_count == kLimitSlots) return true;
    l = &g_limits[g_limit_count++];
    *l = Limit{event_id, now, 0, 0};
  }
  if (now - l->start >= kWindowMs) {
    if (l->held > 0) *summary = Summary{l->id, l->held, now - l->start};
    *l = Limit{event_id, now, 0, 0};
  }
  if (l->reported < kReportsPerWindow) {
    ++l->reported;
    return true;
  }
  ++l->held;
  return false;
}

}  // namespace

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
  if (type == kQvadEventWarning && event_id != QVAD_MSG_REPORTS_HELD) {
    Summary summary{0, 0, 0};
    bool report = MayReport(event_id, &summary);
    if (summary.held > 0) ReportSummary(summary);
    if (!report) return 1;  // held back, as if reported: the caller's trace has it
  }
  plat::EventSourceHandle h = plat::OpenEventSource(source);
  if (h == nullptr) return 0;
  plat::WriteEvent(h, type, event_id, count, strings);
  return plat::CloseEventSource(h);
}

void Qvad_ReportHeldBack(bool all) {
  Summary due[kLimitSlots];
  int n = 0;
  {
    std::lock_guard<std::mutex> hold(g_limit_mutex);
    std::int64_t now = g_clock();
    for (int i = 0; i < g_limit_count; ++i) {
      Limit &l = g_limits[i];
      if (l.held == 0 || (!all && now - l.start < kWindowMs)) continue;
      due[n++] = Summary{l.id, l.held, now - l.start};
      // A new minute starts with what was held told.
      l = Limit{l.id, now, 0, 0};
    }
  }
  for (int i = 0; i < n; ++i) ReportSummary(due[i]);
}

void Qvad_SetEventLimitClock(std::int64_t (*clock)()) {
  std::lock_guard<std::mutex> hold(g_limit_mutex);
  g_clock = clock != nullptr ? clock : plat::MonotonicMillis;
  g_limit_count = 0;
}
