// Counters of the event loop and their status line.
#include "hp_ov/ov_evt/ovstatus.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/service.h"

namespace {

OV_COUNTERS g_counters;

}  // namespace

void OvStatusReset() { std::memset(&g_counters, 0, sizeof g_counters); }

void OvStatusForwarded(std::int32_t event_time, int result) {
  ++g_counters.forwarded;
  g_counters.last_time = event_time;
  g_counters.last_result = result;
}

void OvStatusRepeat() { ++g_counters.repeats; }

void OvStatusRefused() { ++g_counters.refused; }

const OV_COUNTERS *OvStatusCounters() { return &g_counters; }

int OvStatusText(char *buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  const OV_COUNTERS &c = g_counters;
  char last[64] = "none";
  if (c.forwarded > 0) {
    std::time_t t = static_cast<std::time_t>(c.last_time);
    std::tm tm{};
    // The event's own time, in the local zone as the console shows it.
    const std::tm *local = std::localtime(&t);
    if (local != nullptr) tm = *local;
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(last, sizeof last, "%s, console result %d", stamp, c.last_result);
  }
  int n = std::snprintf(buffer, size, "Forwarding: %llu forwarded, %llu skipped as repeats, %llu refused; last forwarded event %s",
                        static_cast<unsigned long long>(c.forwarded), static_cast<unsigned long long>(c.repeats),
                        static_cast<unsigned long long>(c.refused), last);
  if (n < 0) return 0;
  return static_cast<int>(static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1);
}

void OvStatusReport() {
  char text[256];
  OvStatusText(text, sizeof text);
  plat::ReportServiceText(text);
}
