// Binding trace channels to the tracer library and writing entries.
#include "cmn/qvadtrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/error.h"
#include "platform/library.h"
#include "platform/sys.h"

namespace {

QVAD_TRACER_NOTICE g_notice = Qvad_TracerNoticeStderr;
// Why the last binding on this thread failed.
thread_local std::uint32_t t_load_result = 0;

// True the first time in this process. The front library, the engine and
// the host each carry their own copy of this code, so the mark is kept
// where all of them see it: the process's environment, with the process id
// so a child started later still gives its own notice.
bool FirstNotice() {
  char pid[16];
  std::snprintf(pid, sizeof pid, "%u", static_cast<unsigned>(plat::ProcessId()));
  if (plat::GetEnv("QVAD_TRACER_NOTICE") == pid) return false;
  plat::SetEnv("QVAD_TRACER_NOTICE", pid);
  return true;
}

void ClearBinding(QVAD_TRACER *c) {
  c->module = nullptr;
  c->ZltOpenTracer = nullptr;
  c->ZltTrace = nullptr;
  c->ZltTraceCheck = nullptr;
  c->ZltCloseTracer = nullptr;
  c->ZltSnap = nullptr;
  c->ZltDump = nullptr;
  c->ZltSetMemoryDump = nullptr;
  c->ZltRelMemoryDump = nullptr;
}

bool HandleOpen(const QVAD_TRACER *c) {
  std::uint32_t first = 0;
  std::memcpy(&first, c->handle, sizeof first);
  return first != 0;
}

template <typename Fn>
bool Bind(QVAD_TRACER *c, Fn *slot, const char *name) {
  *slot = reinterpret_cast<Fn>(plat::LibrarySymbol(c->module, name));
  return *slot != nullptr;
}

}  // namespace

int Qvad_TracerLoad(QVAD_TRACER *channel) {
  if (channel == nullptr) return 0;
  ClearBinding(channel);
  channel->module = plat::LoadLibraryByName("zltgate");
  if (channel->module == nullptr) {
    t_load_result = plat::LastError();
    return 0;
  }
  // Bound in this order, stopping at the first one that is missing.
  bool ok = Bind(channel, &channel->ZltOpenTracer, "ZltOpenTracer") && Bind(channel, &channel->ZltTrace, "ZltTrace") &&
            Bind(channel, &channel->ZltTraceCheck, "ZltTraceCheck") &&
            Bind(channel, &channel->ZltCloseTracer, "ZltCloseTracer") && Bind(channel, &channel->ZltSnap, "ZltSnap") &&
            Bind(channel, &channel->ZltDump, "ZltDump") &&
            Bind(channel, &channel->ZltSetMemoryDump, "ZltSetMemoryDump") &&
            Bind(channel, &channel->ZltRelMemoryDump, "ZltRelMemoryDump");
  if (!ok) {
    t_load_result = 127;  // an entry point is missing
    plat::FreeLibrary(channel->module);
    ClearBinding(channel);
    return 0;
  }
  return 1;
}

int Qvad_TracerUnload(QVAD_TRACER *channel) {
  if (channel == nullptr || channel->module == nullptr) return 0;
  int rc = plat::FreeLibrary(channel->module);
  ClearBinding(channel);
  return rc;
}

int Qvad_TraceOpen(QVAD_TRACER *channel, int mode, const char *name) {
  if (channel == nullptr) return 0;
  if (Qvad_TracerLoad(channel) == 0) {
    if (g_notice != nullptr && FirstNotice()) g_notice(t_load_result);
    return 0;
  }
  return channel->ZltOpenTracer(channel->handle, mode, name);
}

int Qvad_TraceWrite(QVAD_TRACER *channel, int thread_index, int level, const char *source, int line, int kind,
                    int length, std::uint32_t pid, int code, const char *text) {
  if (channel == nullptr || channel->ZltTrace == nullptr || !HandleOpen(channel)) return 0;
  return channel->ZltTrace(channel->handle, thread_index, level, source, line, kind, length, pid, code, text);
}

int Qvad_TraceClose(QVAD_TRACER *channel, int mode) {
  if (channel == nullptr) return 0;
  if (channel->ZltCloseTracer != nullptr && HandleOpen(channel)) channel->ZltCloseTracer(channel->handle, mode);
  Qvad_TracerUnload(channel);
  return 1;
}

int Qvad_TraceShorten(char *buffer, int size, int needed) {
  static const char kMark[] = " ...[cut]";
  if (needed < size) return needed;
  int keep = size - 1 - static_cast<int>(sizeof kMark - 1);
  std::memcpy(buffer + keep, kMark, sizeof kMark);
  return size - 1;
}

int Qvad_TraceF(QVAD_TRACER *channel, int thread_index, int level, const char *source, int line, int code,
                const char *format, ...) {
  // Nothing to format when the channel is not open.
  if (channel == nullptr || channel->ZltTrace == nullptr || !HandleOpen(channel)) return 0;
  char text[kQvadTraceTextSize];
  std::memset(text, 0, sizeof text);
  va_list ap;
  va_start(ap, format);
  int needed = std::vsnprintf(text, sizeof text, format, ap);
  va_end(ap);
  if (needed < 0) needed = 0;
  int length = Qvad_TraceShorten(text, sizeof text, needed);
  return Qvad_TraceWrite(channel, thread_index, level, source, line, 2, length, plat::ProcessId(), code, text);
}

void Qvad_SetTracerNotice(QVAD_TRACER_NOTICE notice) { g_notice = notice; }

void Qvad_TracerNoticeStderr(std::uint32_t code) {
  std::string program = plat::ModulePath();
  std::size_t cut = program.find_last_of("/\\");
  if (cut != std::string::npos) program.erase(0, cut + 1);
  std::fprintf(stderr, "%s: the tracer library zltgate could not be loaded (result %u); running without traces\n",
               program.c_str(), static_cast<unsigned>(code));
  std::fflush(stderr);
}
