// The worker's two trace channels and the writers all of its code shares.
#pragma once
#include "cmn/qvadtrace.h"

extern QVAD_TRACER g_OvTraceError;  // "QvAdnerl01"
extern QVAD_TRACER g_OvTraceInfo;   // "QvAdnerl02"

inline constexpr const char kOvErrorChannel[] = "QvAdnerl01";
inline constexpr const char kOvInfoChannel[] = "QvAdnerl02";

// One entry on the worker's channel: thread index 1, level 1, kind 2.
// 1 when the write went through, else 0.
int OvTraceInfo(const char *text, const char *source, int line);
int OvTraceError(const char *text, const char *source, int line);

// The same after formatting into a cleared 1024-byte buffer; a text that
// does not fit is cut and marked, never written past the buffer.
int OvTraceInfoF(const char *source, int line, const char *format, ...) QVAD_PRINTF_FORMAT(3, 4);
int OvTraceErrorF(const char *source, int line, const char *format, ...) QVAD_PRINTF_FORMAT(3, 4);

#define OV_INFO(...) OvTraceInfoF(__FILE__, __LINE__, __VA_ARGS__)
#define OV_ERROR(...) OvTraceErrorF(__FILE__, __LINE__, __VA_ARGS__)
