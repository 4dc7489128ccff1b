// Running a setup tool as an installer does, and the platform facts its
// results depend on.
#pragma once
#include <cstdint>
#include <string>

#include "testutil.h"

namespace tooltest {

// Line end of a text file on disk: CR LF on Win32, LF on POSIX.
extern const char kEol[];
// Whether the platform hands a parent the whole 32-bit exit code.
extern const bool kFullExitCodes;
// Whether starting a process takes long (about a second under Wine).
extern const bool kSlowProcessStart;
// Whether a file that a reader has open cannot be renamed over (Win32).
extern const bool kOpenFileBlocksRename;
// A device that accepts an open for writing and fails every write, or empty.
extern const char kFullDevice[];

struct Result {
  int rc;           // exit status as the parent sees it
  std::string out;  // standard output and standard error together
};

// Runs bin/<tool> with the arguments (a command-line text) in dir.
Result RunTool(const qvtest::ScratchDir &dir, const std::string &tool, const std::string &args);
// The same, for a program at a full path.
Result RunProgram(const qvtest::ScratchDir &dir, const std::string &program, const std::string &args);

// The status a parent sees for a tool result code.
int Seen(std::uint32_t code);

// "\"text\"" for a command line.
std::string Q(const std::string &text);

// The usage text printed after an invalid command line.
std::string Usage(const std::string &line);

// The trace entries of one channel in dir/trc, or empty.
std::string Trace(const qvtest::ScratchDir &dir, const std::string &channel);

}  // namespace tooltest
