// Taking one event line of the event dump command apart: its time, host,
// message text and severity token, and the tests that decide whether a host
// field names a host. Pure text operations: each returns 0 or a small
// failure code and reports nothing.
#pragma once
#include <cstdint>

// Field sizes, terminating NUL included.
inline constexpr int kOvLineSize = 4097;      // a line of at most 4096 characters
inline constexpr int kOvHostSize = 129;       // at most 128 characters
inline constexpr int kOvMessageSize = 4097;   // at most 4092 characters after escaping
inline constexpr int kOvSeveritySize = 16;    // at most 15 characters
inline constexpr int kOvTimeFieldMax = 15;    // characters of the time field

// Failure codes.
inline constexpr int kOvNoTab = 4;
inline constexpr int kOvNoSpace = 5;
inline constexpr int kOvNoSemicolon = 6;
inline constexpr int kOvNotNumber = 7;
// A field longer than its buffer: the line is refused rather than cut.
inline constexpr int kOvFieldTooLong = 8;

int OvGetEventTime(const char *text, std::int32_t *time);
int OvGetHostName(const char *line, char *host);         // host: kOvHostSize bytes
int OvGetEventMessage(const char *line, char *message);  // message: kOvMessageSize bytes
int OvGetSeverity(const char *line, char *key);          // key: kOvSeveritySize bytes

void OvToLower(char *text);
bool OvIsIpAddress(const char *text);
bool OvIsHostName(const char *text);
