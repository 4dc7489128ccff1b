// Reporting milestones and serious failures to the event log under the
// source "QvAdnerl". The texts live in the message library; a call only
// chooses the type, the identifier and up to ten insertion strings.
#pragma once
#include <cstdint>

// The identifiers (QVAD_MSG_...), generated from the message source.
#include "qvadmsgids.h"

inline constexpr const char kQvadEventSource[] = "QvAdnerl";

// Event types.
inline constexpr unsigned short kQvadEventError = 1;
inline constexpr unsigned short kQvadEventWarning = 2;
inline constexpr unsigned short kQvadEventInformation = 4;

// Reports one event with the insertion strings that follow, up to the first
// null (at most ten are read). Returns the result of closing the event
// source, or 0 when the source cannot be opened. Warnings are limited to 20
// of one identifier a minute; the rest are held back and counted (the call
// then returns 1).
int Qvad_ReportEvent(const char *source, unsigned short type, std::uint32_t event_id, const char *first, ...);
// Reports how many warnings were held back (QVAD_MSG_REPORTS_HELD, one per
// identifier): for minutes that are over, or with all for every identifier,
// as a program does before it ends.
void Qvad_ReportHeldBack(bool all);
// Tests only: the clock of the limit in milliseconds (null: the monotonic
// clock); every count starts again.
void Qvad_SetEventLimitClock(std::int64_t (*clock)());
