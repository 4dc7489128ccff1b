// The shared pieces of the console setup tools: the option parser, the log
// file writer and the main-routine skeleton with its three ways to end
// (invalid command line, missing option, failure of the tool's work).
#pragma once
#include <cstddef>
#include <cstdint>

#include "cmn/qvadtrace.h"

extern "C" {

// Parser state, one per process. OptInd starts at 1.
extern std::int32_t OptInd;
extern char *OptArg;
extern char *NextChar;

// Returns the next option letter; '?' for an unknown letter, a missing
// argument or an argument that begins with '-'; -1 when no option is left.
// Parsing stops at the first word that does not begin with '-'.
std::int32_t Qvad_GetOpt(int count, char *const *words, const char *options);

// Writes the text, with no line end added, as the whole content of the file
// (text mode, created or truncated): 0 written, 2 cannot open, 4 write failed.
std::int32_t Qvad_WriteLogFile(const char *path, const char *text);
}

// What makes one tool different from the others in the skeleton.
struct QVAD_TOOL_DEF {
  const char *options;        // option string, e.g. "p:o:"
  const char *error_channel;  // e.g. "QvAdnerl03"
  const char *info_channel;   // e.g. "QvAdnerl04"
  const char *usage;          // the usage line printed after "Error: invalid parameter\n"
  const char *invalid_msg;    // the invalid-parameter message
  const char *logfile_msg;    // traced when the log file cannot be written
  bool empty_run_invalid;     // a run with no argument at all is an invalid command line
  std::size_t message_size;   // size of the buffer each message is formatted into
};

// The exit status for a tool result; see platform/exitstatus.h.
int Qvad_ToolExit(std::uint32_t status);

// One run of a tool. Construct at the start of main: opens the channels and
// traces "START". Every ending closes the channels and returns the status
// for main to hand to Qvad_ToolExit.
//
// Every entry carries the source position of the tool's own statement that
// caused it, not this skeleton's: the constructor, ParseOptions and Succeed
// take their caller's file and line as default arguments, MissingOption and
// Fail through the macros below, so the trace points into the tool.
class QvadTool {
 public:
  explicit QvadTool(const QVAD_TOOL_DEF &def, const char *source = __builtin_FILE(), int line = __builtin_LINE());
  ~QvadTool();
  QvadTool(const QvadTool &) = delete;
  QvadTool &operator=(const QvadTool &) = delete;

  // Called once per option letter of the tool other than 'o', with its
  // argument. Returns false when the argument cannot be taken (too long for
  // its buffer), which makes the command line invalid.
  using OptionSink = bool (*)(void *context, int letter, const char *arg);

  // Parses the command line. Returns true to go on; false after an invalid
  // command line was reported, with the status (22) in *status.
  bool ParseOptions(int argc, char **argv, OptionSink sink, void *context, std::uint32_t *status,
                    const char *source = __builtin_FILE(), int line = __builtin_LINE());

  // A required option is missing or the option set is invalid: the message
  // goes to the log file when -o was given, else the usage text is printed.
  // Returns 22. The first form reports the tool's invalid-parameter message.
  std::uint32_t MissingOption(const char *source, int line);
  std::uint32_t MissingOption(const char *source, int line, const char *format, ...) QVAD_PRINTF_FORMAT(4, 5);

  // The tool's work failed: traced, then written to the log file or printed
  // on standard error. Returns status.
  std::uint32_t Fail(const char *source, int line, std::uint32_t status, const char *format, ...)
      QVAD_PRINTF_FORMAT(5, 6);

  // The tool's work is done: the log file is deleted. Returns 0.
  std::uint32_t Succeed(const char *source = __builtin_FILE(), int line = __builtin_LINE());

  bool log_requested() const { return log_requested_; }
  const char *log_path() const { return log_path_; }
  QVAD_TRACER *error_channel() { return &err_; }
  QVAD_TRACER *info_channel() { return &info_; }

 private:
  std::uint32_t InvalidCommandLine(const char *source, int line);
  void Report(const char *source, int line, const char *text, bool print_usage_instead);
  void End(const char *source, int line, std::uint32_t status);
  void PrintUsage();

  const QVAD_TOOL_DEF &def_;
  QVAD_TRACER err_;
  QVAD_TRACER info_;
  bool open_ = false;
  bool log_requested_ = false;
  char log_path_[260];
};

#define QVAD_TOOL_MISSING(tool, ...) (tool).MissingOption(__FILE__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)
#define QVAD_TOOL_FAIL(tool, status, ...) (tool).Fail(__FILE__, __LINE__, (status), __VA_ARGS__)

// Copies an option argument into a fixed buffer. False, leaving the buffer
// as it was, when the argument does not fit with its terminating null.
bool Qvad_CopyOptArg(char *buffer, std::size_t size, const char *arg);

// True when the text holds a control character (1 to 31, or 127). Arguments
// that a tool writes into a file or the registry are refused with one, as a
// line feed would add lines or keys of the caller's choosing. Bytes from 128
// up pass: they are the letters of the system code page.
bool Qvad_HasControlCharacter(const char *text);

// The one option of a tool that takes a path with -p and writes it where
// other programs read it (a file's lines, a registry value): the argument
// whole, refused with a control character in it.
struct QvadPathOption {
  char path[260];
  bool given;
};
// An option sink for ParseOptions whose context is a QvadPathOption.
bool Qvad_TakePathOption(void *context, int letter, const char *arg);
