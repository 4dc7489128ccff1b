// The service's progress as the service manager shows it: how many events
// went to the console, how many were skipped as repeats of events forwarded
// before a restart, how many lines were refused, when the last forwarded
// event happened and what the console said to it. Only the worker thread
// counts and reports.
#pragma once
#include <cstddef>
#include <cstdint>

struct OV_COUNTERS {
  std::uint64_t forwarded;   // handed to cnsput3, whatever it answered
  std::uint64_t repeats;     // skipped by the duplicate rule
  std::uint64_t refused;     // lines without time, host or message, or whose host names no host
  std::int32_t last_time;    // event time of the last forwarded event
  std::int32_t last_result;  // what cnsput3 returned for it
  // While the console refuses the event at the head of the line (-1).
  bool refusing;
  std::int64_t refusing_since;  // wall clock of the first refusal
  std::uint32_t refused_offers;
  std::int32_t held_time;  // event time of the event held back
};

// Clears the counters, at the start of each run of the event loop.
void OvStatusReset();
void OvStatusForwarded(std::int32_t event_time, int result);
void OvStatusRepeat();
void OvStatusRefused();
// The console refuses the held event (since, offers so far), or takes
// events again.
void OvStatusConsoleRefusing(std::int64_t since, std::uint32_t offers, std::int32_t held_time);
void OvStatusConsoleBack();
const OV_COUNTERS *OvStatusCounters();

// The one-line text, for example "Forwarding: 3 forwarded, 1 skipped as
// repeats, 0 refused; last forwarded event 2026-12-08 14:03:11, console
// result 0"; while the console refuses, "Console refusing since
// 2026-12-08 14:05:00 (4 offers of the event of 14:04:58); 3 forwarded,
// ...". Returns its length; never writes past size bytes.
int OvStatusText(char *buffer, std::size_t size);
// Sends the text to the service manager (systemd's STATUS= on POSIX).
void OvStatusReport();
