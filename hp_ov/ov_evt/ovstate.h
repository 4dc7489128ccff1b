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
