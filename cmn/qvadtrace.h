// Trace channels bound at run time to the tracer library "zltgate". Tracing
// is best effort: when the library or any of its eight entry points is
// missing, every call does nothing and returns 0, and the program runs on.
#pragma once
#include <cstdint>

#include "platform/library.h"

extern "C" {

// The tracer library's entry points, as this adapter calls them.
typedef int (*ZLT_OPEN_TRACER)(void *handle, int mode, const char *name);
typedef int (*ZLT_TRACE)(void *handle, int thread_index, int level, const char *source, int line, int kind, int length,
                         std::uint32_t pid, int code, const char *text);
typedef int (*ZLT_TRACE_CHECK)(void *handle, int level);
typedef int (*ZLT_CLOSE_TRACER)(void *handle, int mode);
typedef int (*ZLT_SNAP)(void *handle, const char *text);
typedef int (*ZLT_DUMP)(void *handle, const void *data, int length);
typedef int (*ZLT_SET_MEMORY_DUMP)(void *handle, int size);
typedef int (*ZLT_REL_MEMORY_DUMP)(void *handle);

struct QVAD_TRACER {
  plat::Library module;
  ZLT_OPEN_TRACER ZltOpenTracer;
  ZLT_TRACE ZltTrace;
  ZLT_TRACE_CHECK ZltTraceCheck;
  ZLT_CLOSE_TRACER ZltCloseTracer;
  ZLT_SNAP ZltSnap;
  ZLT_DUMP ZltDump;
  ZLT_SET_MEMORY_DUMP ZltSetMemoryDump;
  ZLT_REL_MEMORY_DUMP ZltRelMemoryDump;
  // Belongs to the tracer library; its first 32-bit word is non-zero while open.
  alignas(8) unsigned char handle[96];
};

int Qvad_TracerLoad(QVAD_TRACER *channel);
int Qvad_TracerUnload(QVAD_TRACER *channel);
int Qvad_TraceOpen(QVAD_TRACER *channel, int mode, const char *name);
int Qvad_TraceWrite(QVAD_TRACER *channel, int thread_index, int level, const char *source, int line, int kind,
                    int length, std::uint32_t pid, int code, const char *text);
int Qvad_TraceClose(QVAD_TRACER *channel, int mode);
}

// Without the tracer a program runs on silently, so the first channel that
// cannot be bound says so once per process, where the program's operator
// looks: by default one line on standard error; a program whose standard
// error nobody reads (the service) sets its own notice. The code is the
// load's result: 127 an entry point missing, otherwise the library loader's
// (Win32 126 missing, 193 bad image; POSIX 2 missing).
using QVAD_TRACER_NOTICE = void (*)(std::uint32_t code);
void Qvad_SetTracerNotice(QVAD_TRACER_NOTICE notice);
// The default notice's line, for example "qvadrepini: the tracer library
// zltgate could not be loaded (result 126); running without traces".
void Qvad_TracerNoticeStderr(std::uint32_t code);

// printf-style checking of format texts: gcc needs gnu_printf so that the
// mingw builds check C99 conversions rather than the old runtime's.
#if defined(__clang__)
#define QVAD_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define QVAD_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#endif

// Size of the message buffer every trace text is formatted into.
inline constexpr int kQvadTraceTextSize = 1024;

// Formats a text into a cleared 1024-byte buffer and writes it as a text
// entry (kind 2) with the caller's pid. A text longer than 1023 characters
// is shortened and ends in " ...[cut]" so the reader sees that it was.
int Qvad_TraceF(QVAD_TRACER *channel, int thread_index, int level, const char *source, int line, int code,
                const char *format, ...) QVAD_PRINTF_FORMAT(7, 8);

// Shortens text in place to fit a buffer of size bytes, marking the cut.
// Returns the resulting length.
int Qvad_TraceShorten(char *buffer, int size, int needed);

// Ordinary entries: level 1, code 0, this source file and line.
#define QVAD_TRACE(channel, thread, ...) Qvad_TraceF((channel), (thread), 1, __FILE__, __LINE__, 0, __VA_ARGS__)
// Entries the system names as level 3.
#define QVAD_TRACE3(channel, thread, ...) Qvad_TraceF((channel), (thread), 3, __FILE__, __LINE__, 0, __VA_ARGS__)
// "END"-style entries that record a final result as the entry's code.
#define QVAD_TRACE_CODE(channel, thread, code, ...) \
  Qvad_TraceF((channel), (thread), 1, __FILE__, __LINE__, (code), __VA_ARGS__)
