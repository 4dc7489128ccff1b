// The console library's notification call, imported from QVCNSPUT (by its
// export ordinal 9 on Win32). Arguments in the console's order: a null
// pointer, the severity, the host, a null pointer, the event time, seven
// zero words, the message text.
#pragma once

extern "C" int cnsput3(void *reserved1, int severity, const char *host, void *reserved2, int event_time, int z1,
                       int z2, int z3, int z4, int z5, int z6, int z7, const char *message);

// Its results: 0 or more taken; the rest as named.
inline constexpr int kCnsNotStored = -1;     // kept neither for notification nor in a temporary file
inline constexpr int kCnsConsoleDown = -2;   // console stopped; written to a temporary file
inline constexpr int kCnsAlreadyNotified = -3;
