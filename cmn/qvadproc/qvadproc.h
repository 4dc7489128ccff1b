// Starting and ending child processes, with failures told through the
// error record.
#pragma once
#include <cstdint>

#include "cmn/qvaderror.h"
#include "platform/process.h"

// What the platform's process creation takes as startup information, in a
// form both platforms share.
struct QVAD_STARTUPINFO {
  bool use_std_handles;  // hand the three handles below to the child
  plat::FileHandle std_in;
  plat::FileHandle std_out;
  plat::FileHandle std_err;
  bool hidden;  // no window (Win32); new session, streams on the null device unless given (POSIX)
  // The run's job (platform/job.h) the child belongs to, or null.
  plat::JobObject *job;
};

// What it gives back: the process handle (close with plat::CloseProcess or
// Qvad_TerminateProcess) and the process id.
struct QVAD_PROCESS_INFORMATION {
  plat::ProcessHandle process;
  std::uint32_t pid;
};

// Passes its first ten arguments to the platform's process creation; the
// security attributes and environment are accepted for the callers' sake and
// must be null. Returns 1, or 0 with the error record filled (2, last error).
int Qvad_CreateProcess(const char *application, const char *command_line, void *process_security, void *thread_security,
                       int inherit_handles, std::uint32_t creation_flags, void *environment,
                       const char *current_directory, const QVAD_STARTUPINFO *startup, QVAD_PROCESS_INFORMATION *info,
                       QVAD_ERROR_TBL *error);

// Terminates the process with the exit code and closes its handle in every
// case. Returns the platform's result; on failure the error record is filled
// (5, last error).
int Qvad_TerminateProcess(plat::ProcessHandle process, std::uint32_t exit_code, QVAD_ERROR_TBL *error);
