// Manual-reset event objects: set stays set until reset, and any number of
// waiters see it. On POSIX the event is an eventfd, so setting it never takes
// a lock and is safe from a signal handler or while another thread is frozen.
#pragma once
#include <cstdint>

#include "platform/types.h"

namespace plat {

inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// A new unnamed manual-reset event, not signalled; null with the last error set on failure.
Handle CreateManualEvent();
bool SetEvent(Handle event);
bool ResetEvent(Handle event);
// kWaitObject0 when signalled, kWaitTimeout when the time passed, kWaitFailed otherwise.
std::uint32_t WaitEvent(Handle event, std::uint32_t timeout_ms);
void CloseEvent(Handle event);

}  // namespace plat
