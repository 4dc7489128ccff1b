// The main-routine skeleton of the setup tools: trace channels, option loop,
// and the three ways a tool reports an ending other than success.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cmn/qvadtool/qvadtool.h"
#include "platform/exitstatus.h"
#include "platform/sys.h"

namespace {

constexpr std::uint32_t kInvalid = 22;

// Formats into a cleared buffer of the tool's message size. A message that
// does not fit is shortened by the tracer's rule, so it still says so.
std::vector<char> FormatMessage(std::size_t size, const char *format, va_list ap) {
  std::vector<char> buf(size, '\0');
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(buf.data(), buf.size(), format, copy);
  va_end(copy);
  if (n >= static_cast<int>(buf.size())) Qvad_TraceShorten(buf.data(), static_cast<int>(buf.size()), n);
  return buf;
}

}  // namespace

int Qvad_ToolExit(std::uint32_t status) { return plat::ExitStatus(status); }

bool Qvad_CopyOptArg(char *buffer, std::size_t size, const char *arg) {
  std::size_t len = std::strlen(arg);
  if (len >= size) return false;
  std::memset(buffer, 0, size);
  std::memcpy(buffer, arg, len);
  return true;
}

bool Qvad_HasControlCharacter(const char *text) {
  for (const char *p = text; *p != '\0'; ++p)
    if (static_cast<unsigned char>(*p) < 32 || *p == 127) return true;
  return false;
}

bool Qvad_TakePathOption(void *context, int letter, const char *arg) {
  auto *o = static_cast<QvadPathOption *>(context);
  if (letter != 'p') return false;
  if (Qvad_HasControlCharacter(arg) || !Qvad_CopyOptArg(o->path, sizeof o->path, arg)) return false;
  o->given = true;
  return true;
}

QvadTool::QvadTool(const QVAD_TOOL_DEF &def, const char *source, int line) : def_(def) {
  std::memset(&err_, 0, sizeof err_);
  std::memset(&info_, 0, sizeof info_);
  std::memset(log_path_, 0, sizeof log_path_);
  Qvad_TraceOpen(&err_, 0, def_.error_channel);
  Qvad_TraceOpen(&info_, 0, def_.info_channel);
  open_ = true;
  Qvad_TraceF(&info_, 0, 1, source, line, 0, "START");
}

QvadTool::~QvadTool() {
  // Every ending closes the channels; this only covers a tool that returns
  // without one of them.
  if (open_) {
    Qvad_TraceClose(&err_, 0);
    Qvad_TraceClose(&info_, 0);
  }
}

void QvadTool::End(const char *source, int line, std::uint32_t status) {
  Qvad_TraceF(&info_, 0, 1, source, line, static_cast<int>(status), "END");
  Qvad_TraceClose(&err_, 0);
  Qvad_TraceClose(&info_, 0);
  open_ = false;
}

void QvadTool::PrintUsage() {
  std::fputs("Error: invalid parameter\n", stderr);
  std::fputs(def_.usage, stderr);
  std::fflush(stderr);
}

std::uint32_t QvadTool::InvalidCommandLine(const char *source, int line) {
  Qvad_TraceF(&err_, 0, 1, source, line, 0, "%s", def_.invalid_msg);
  End(source, line, kInvalid);
  // The usage text goes to standard error even with -o: the log file is
  // only for failures of a command line that was understood.
  PrintUsage();
  return kInvalid;
}

bool QvadTool::ParseOptions(int argc, char **argv, OptionSink sink, void *context, std::uint32_t *status,
                            const char *source, int line) {
  if (def_.empty_run_invalid && argc <= 1) {
    *status = InvalidCommandLine(source, line);
    return false;
  }
  for (;;) {
    int letter = Qvad_GetOpt(argc, argv, def_.options);
    if (letter == -1) break;
    bool ok = OptArg != nullptr && letter != '?' && letter != ':';
    if (ok) {
      if (letter == 'o') {
        // An over-long log path is refused like any other over-long
        // argument, never cut to a different file name.
        ok = Qvad_CopyOptArg(log_path_, sizeof log_path_, OptArg);
        if (ok) log_requested_ = true;
      } else {
        ok = sink(context, letter, OptArg);
      }
    }
    if (!ok) {
      *status = InvalidCommandLine(source, line);
      return false;
    }
  }
  *status = 0;
  return true;
}

void QvadTool::Report(const char *source, int line, const char *text, bool print_usage_instead) {
  Qvad_TraceF(&err_, 0, 1, source, line, 0, "%s", text);
  if (log_requested_) {
    if (Qvad_WriteLogFile(log_path_, text) != 0) Qvad_TraceF(&err_, 0, 1, source, line, 0, "%s", def_.logfile_msg);
  } else if (print_usage_instead) {
    PrintUsage();
  } else {
    std::fputs(text, stderr);
    std::fflush(stderr);
  }
}

std::uint32_t QvadTool::MissingOption(const char *source, int line) {
  Report(source, line, def_.invalid_msg, true);
  End(source, line, kInvalid);
  return kInvalid;
}

std::uint32_t QvadTool::MissingOption(const char *source, int line, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  std::vector<char> text = FormatMessage(def_.message_size, format, ap);
  va_end(ap);
  Report(source, line, text.data(), true);
  End(source, line, kInvalid);
  return kInvalid;
}

std::uint32_t QvadTool::Fail(const char *source, int line, std::uint32_t status, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  std::vector<char> text = FormatMessage(def_.message_size, format, ap);
  va_end(ap);
  Report(source, line, text.data(), false);
  End(source, line, status);
  return status;
}

std::uint32_t QvadTool::Succeed(const char *source, int line) {
  if (log_requested_) std::remove(log_path_);
  End(source, line, 0);
  return 0;
}
