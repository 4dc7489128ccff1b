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

void OvStatusConsoleRefusing(std::int64_t since, std::uint32_t offers, std::int32_t held_time) {
  g_counters.refusing = true;
  g_counters.refusing_since = since;
  g_counters.refused_offers = offers;
  g_counters.held_time = held_time;
}

void OvStatusConsoleBack() {
  g_counters.refusing = false;
  g_counters.refusing_since = 0;
  g_counters.refused_offers = 0;
  g_counters.held_time = 0;
}

const OV_COUNTERS *OvStatusCounters() { return &g_counters; }

namespace {

// A time in the local zone, as the console shows it.
void Stamp(std::int64_t when, const char *format, char *out, std::size_t size) {
  std::time_t t = static_cast<std::time_t>(when);
  std::tm tm{};
  const std::tm *local = std::localtime(&t);
  if (local != nullptr) tm = *local;
  out[0] = '\0';
  std::strftime(out, size, format, &tm);
}

}  // namespace

int OvStatusText(char *buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  const OV_COUNTERS &c = g_counters;
  char last[64] = "none";
  if (c.forwarded > 0) {
    char stamp[32];
    Stamp(c.last_time, "%Y-%m-%d %H:%M:%S", stamp, sizeof stamp);
    std::snprintf(last, sizeof last, "%s, console result %d", stamp, c.last_result);
  }
  char head[160] = "Forwarding: ";
  if (c.refusing) {
    char since[32], held[16];
    Stamp(c.refusing_since, "%Y-%m-%d %H:%M:%S", since, sizeof since);
    Stamp(c.held_time, "%H:%M:%S", held, sizeof held);
    std::snprintf(head, sizeof head, "Console refusing since %s (%u offers of the event of %s); ", since,
                  static_cast<unsigned>(c.refused_offers), held);
  }
  int n =
      std::snprintf(buffer, size, "%s%llu forwarded, %llu skipped as repeats, %llu refused; last forwarded event %s",
                    head, static_cast<unsigned long long>(c.forwarded), static_cast<unsigned long long>(c.repeats),
                    static_cast<unsigned long long>(c.refused), last);
  if (n < 0) return 0;
  return static_cast<int>(static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1);
}

void OvStatusReport() {
  char text[320];
  OvStatusText(text, sizeof text);
  plat::ReportServiceText(text);
}
