// Child processes: start with given standard streams, poll, exit code,
// terminate. On POSIX a command line composed as one text is split into
// arguments by the Win32 rules, so a child sees the same arguments on both.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/types.h"

namespace plat {

inline constexpr std::uint32_t kStillActive = 259;

// A child process started by StartProcess.
struct ProcessObject;
using ProcessHandle = ProcessObject *;
inline ProcessHandle const kInvalidProcess = InvalidHandleOf<ProcessHandle>();

struct JobObject;  // platform/job.h

struct ProcessOptions {
  // Program to run; null: the first argument of the command line, looked up on PATH.
  const char *application = nullptr;
  // Working directory of the child; null: ours.
  const char *directory = nullptr;
  // Standard streams handed to the child; kInvalidFile: inherited from us
  // (or the null device when hidden is set).
  FileHandle std_in = kInvalidFile;
  FileHandle std_out = kInvalidFile;
  FileHandle std_err = kInvalidFile;
  // No window on Win32; on POSIX a new session with its streams on /dev/null
  // unless given above.
  bool hidden = false;
  // The job the child belongs to (platform/job.h): it ends with the job and
  // with the process that holds it. On POSIX TerminateProcess also ends
  // what it started (its process group); on Win32 those end with the job.
  // Null: a child of its own.
  JobObject *job = nullptr;
};

struct Process {
  ProcessHandle handle = kInvalidProcess;  // owned; release with CloseProcess
  std::uint32_t pid = 0;
};

// Starts the command line. Returns true, or false with the last error set.
bool StartProcess(const char *command_line, const ProcessOptions &options, Process *out);

// Waits up to timeout_ms for the child to end (0xFFFFFFFF: no limit) and
// returns at the moment it ends: 0 ended, 1 timed out, -1 failed.
int WaitProcess(ProcessHandle process, std::uint32_t timeout_ms);

// The exit code, or kStillActive while running. False with the last error set on failure.
bool ProcessExitCode(ProcessHandle process, std::uint32_t *code);

// Ends the child at once; its exit code becomes code.
bool TerminateProcess(ProcessHandle process, std::uint32_t code);

void CloseProcess(ProcessHandle process);

// The handle under an open C stream, to be handed to a child as one of its
// standard streams (StartProcess lets the child inherit it).
FileHandle FileHandleOf(std::FILE *file);

// Splits a command line into arguments by the Win32 rules: blanks separate,
// double quotes group and are removed, backslashes escape a quote.
std::vector<std::string> SplitCommandLine(const char *command_line);

// Looks a program up as the platform would: a name with a separator is
// taken as it is, otherwise each PATH folder is tried. Empty when not found.
std::string FindProgram(const char *name);

}  // namespace plat
