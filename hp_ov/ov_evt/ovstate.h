// The service's three state files in <install>/etc: EvtKeep.txt (the last
// handled event line), EvtCount.txt (how many events of that line's time
// were handled) and StopTime.txt (when the worker last ended), and the
// adapter install directory they live in.
#pragma once
#include <cstdint>

inline constexpr const char kOvRazEvtIni[] = "RazEvt.ini";
inline constexpr const char kOvEvtKeep[] = "EvtKeep.txt";
inline constexpr const char kOvEvtCount[] = "EvtCount.txt";
inline constexpr const char kOvStopTime[] = "StopTime.txt";
// Beside the state files: held while a service works on them, so one
// install has one running service whatever runtime folder each was given.
inline constexpr const char kOvInstanceLock[] = "qvadovevt.lock";

// How far an event or stored time may lie ahead of this computer's clock
// and still count as the last handled time. Events are stamped on this
// computer, so a later time means a clock that was set back, or a damaged
// time; taken as the reference it would make every event until then look
// handled already.
inline constexpr std::int64_t kOvClockToleranceSeconds = 2;
// The look-back asks for this much more than the time since the last
// handled event: the event dump command starts a little later than the
// look-back is worked out, and would otherwise miss the end of that second.
// What comes twice is dropped by the duplicate rule.
inline constexpr std::int64_t kOvLookBackMarginSeconds = 60;
// No second can hold more handled events than this: each one costs two
// synced file replacements. A larger (or a negative) count is a damaged
// EvtCount.txt.
inline constexpr std::int32_t kOvCountLimit = 1000000;

// The directory two levels above the program file: 0, the last error when
// the program's name cannot be read, or 87.
std::uint32_t OvGetInstallDir(char *buffer, std::uint32_t size);
// <install>/etc/<name> into a 260-byte buffer; false when it does not fit.
bool OvEtcPath(const char *install_dir, const char *name, char *path);

int OvCountRead(std::int32_t *count);
int OvCountWrite(std::int32_t count);
int OvStopTime();
int OvGetStopTime(const char *path, std::int32_t *minutes);
int OvGetStopTimeOnly(const char *path, std::int32_t *time);
// 0 read, 1 cannot be opened, 2 empty, 3 read failed. text: 4097 bytes.
int OvReadLogFile(const char *path, char *text);
int OvGetLogCheck(const char *path, char *text);
int OvLogSaveFile(const char *text, const char *path);
int OvGetDifTime(const char *text, std::int32_t *minutes);

// Whole minutes since a time, rounded up, on the C runtime's clock.
std::int32_t OvMinutesSince(std::int64_t then, std::int64_t now);
// The -l argument for the event dump command: 0 when nothing was handled
// before (reference 0: everything it has), otherwise the minutes since the
// reference plus the margin, at least 1.
std::int32_t OvLookBackMinutes(std::int64_t reference, std::int64_t now);
// True when the time lies ahead of now by more than the tolerance.
bool OvTimeAhead(std::int64_t time, std::int64_t now);
// Tells the operator (event 0xA000089F and a note) that what holds the time
// disagrees with the clock.
void OvTellClockAhead(const char *what, std::int64_t time, std::int64_t now);

// Where the duplicate rule stands in a run: the last handled event's time,
// how many events of that second were recorded before the run started
// (EvtCount.txt) and how many of them this run has met.
struct OV_DUP_STATE {
  std::int32_t last_time;
  std::int32_t stored_count;
  std::int32_t run_index;
};

enum class OvDupVerdict {
  Earlier,  // older than the last handled event: forwarded before
  Handled,  // one of the stored count of the last handled second
  New,      // to forward; run_index is then the count to record with it
};

// The duplicate rule for one event's time (not ahead of the clock), moving
// the state on: a later second starts a new count, the same second counts on.
OvDupVerdict OvDuplicateRule(OV_DUP_STATE *state, std::int32_t event_time);

// The outcome of recording progress (the state writes after an event, the
// stop time). The first failure is reported (event 0xA00008A0 and a note),
// later ones are not, until a write succeeds again, which is reported
// once too (event 0x6000044F). what: the file that failed first.
void OvStateWriteOutcome(bool ok, const char *what);
// The system error of the last state write that failed.
std::uint32_t OvLastStateWriteError();
// Forgets an earlier failure (a new run of the loop starts afresh).
void OvStateWriteReset();
