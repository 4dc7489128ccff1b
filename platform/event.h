// Manual-reset event objects: set stays set until reset, and any number of
// waiters see it. On POSIX the event is an eventfd, so setting it never takes
// a lock and is safe from a signal handler or while another thread is frozen.
#pragma once
#include <cstdint>

#include "platform/types.h"

namespace plat {

// A manual-reset event made by CreateManualEvent.
struct EventObject;
using EventHandle = EventObject *;
inline EventHandle const kInvalidEvent = InvalidHandleOf<EventHandle>();

inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// A new unnamed manual-reset event, not signalled; null with the last error set on failure.
EventHandle CreateManualEvent();
bool SetEvent(EventHandle event);
bool ResetEvent(EventHandle event);
// kWaitObject0 when signalled, kWaitTimeout when the time passed, kWaitFailed otherwise.
std::uint32_t WaitEvent(EventHandle event, std::uint32_t timeout_ms);
void CloseEvent(EventHandle event);

}  // namespace plat
