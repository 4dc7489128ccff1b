// The worker's trace writers. The worker opens the two static channels at
// its start; the main thread has a pair of its own.
#include "hp_ov/ov_evt/ovtrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/sys.h"

QVAD_TRACER g_OvTraceError;
QVAD_TRACER g_OvTraceInfo;

namespace {

int Write(QVAD_TRACER *channel, const char *text, const char *source, int line) {
  // Several entries per event: ask the system for the process id once.
  static const std::uint32_t pid = plat::ProcessId();
  return Qvad_TraceWrite(channel, 1, 1, source, line, 2, static_cast<int>(std::strlen(text)), pid, 0, text) != 0
             ? 1
             : 0;
}

int WriteV(QVAD_TRACER *channel, const char *source, int line, const char *format, va_list ap) {
  // Formatting costs more than a closed channel's write; skip it then.
  if (channel->ZltTrace == nullptr) return 0;
  char text[kQvadTraceTextSize];
  std::memset(text, 0, sizeof text);
  int needed = std::vsnprintf(text, sizeof text, format, ap);
  Qvad_TraceShorten(text, sizeof text, needed < 0 ? 0 : needed);
  return Write(channel, text, source, line);
}

}  // namespace

int OvTraceInfo(const char *text, const char *source, int line) { return Write(&g_OvTraceInfo, text, source, line); }
int OvTraceError(const char *text, const char *source, int line) {
  return Write(&g_OvTraceError, text, source, line);
}

int OvTraceInfoF(const char *source, int line, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int r = WriteV(&g_OvTraceInfo, source, line, format, ap);
  va_end(ap);
  return r;
}

int OvTraceErrorF(const char *source, int line, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int r = WriteV(&g_OvTraceError, source, line, format, ap);
  va_end(ap);
  return r;
}
