// The service program's entry and its worker routine.
#pragma once
#include <cstdint>

#include "cmn/qvaderror.h"
#include "cmn/qvadproc/qvadproc.h"
#include "platform/process.h"

inline constexpr const char kOvServiceName[] = "Ordovan Nerl NNM";
inline constexpr const char kOvProgramName[] = "qvadovevt.exe";
inline constexpr const char kOvNnmKey[] = "SOFTWARE\\Hewlett-Packard\\HP OpenView";
inline constexpr const char kOvNnmValue[] = "InstallDir";

// Exit statuses of the program, and on Win32 also the service-specific
// exit code of its final stop report. A requested stop is 1, as it always
// was (the unit counts it a success); every end after a failure has its own
// status, so a supervisor restarts the service and the operator sees why.
// The numbers are the BSD sysexits values of the same meaning, which
// systemd shows by name.
inline constexpr int kOvExitStopped = 1;          // stop requested; or not started by the service manager
inline constexpr int kOvExitUnavailable = 69;     // ovdumpevents could not be started (0xE0000C88)
inline constexpr int kOvExitFramework = 70;       // the service framework failed (a status report, the worker thread)
inline constexpr int kOvExitPipe = 71;            // the pipe could not be created (0xE0000C87)
inline constexpr int kOvExitProcessing = 74;      // event processing ended: child ended, pipe failed (0xE0000C89)
inline constexpr int kOvExitAlreadyRunning = 75;  // another instance runs for this install (0xE0000C90)
inline constexpr int kOvExitNotInstalled = 78;    // network manager or adapter install directory not found (0xE0000C8E)

int OvMain();
std::uint32_t OvThreadMain(void *);

// The event dump command the worker runs. OvStartChild starts it (as
// Qvad_CreateProcess, with the startup information given) and keeps its
// record; OvChildProcess is its process handle for the loop to poll
// (kInvalidProcess before a start and after the end); OvEndChild terminates
// it and closes the handle (1, or 0 with the error record filled).
int OvStartChild(const char *app, const char *command, const QVAD_STARTUPINFO *startup, QVAD_ERROR_TBL *error);
plat::ProcessHandle OvChildProcess();
int OvEndChild(QVAD_ERROR_TBL *error);
