// The service program's entry and its worker routine.
#pragma once
#include <cstdint>

inline constexpr const char kOvServiceName[] = "Ordovan Nerl NNM";
inline constexpr const char kOvProgramName[] = "qvadovevt.exe";
inline constexpr const char kOvNnmKey[] = "SOFTWARE\\Hewlett-Packard\\HP OpenView";
inline constexpr const char kOvNnmValue[] = "InstallDir";

// Exit status 1 in every case.
int OvMain();
std::uint32_t OvThreadMain(void *);
