// Tracer library stand-in. Each channel writes one line per entry to
// <dir>/<channel>.trc, where <dir> is $ZLTGATE_DIR or <temp>/zltgate:
//
//   2026-12-07 23:30:01.123 pid=1234 thr=0 lvl=1 src=cmn/x.cpp:42 code=0 | text
//
// Line breaks and other control characters inside a text are escaped, so an
// entry is always exactly one line. Channels of the same name share one open
// file, and each entry goes out in a single write under a lock, so two
// threads never interleave inside a line. A folder that cannot be written
// leaves the channel closed and tracing silently off.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sys.h"

// Exported by name through the .def file on Win32 and by default visibility on POSIX.
#define ZLT_EXPORT extern "C"

namespace {

// The caller's 96-byte handle area holds this, and nothing else.
struct ZltHandle {
  std::uint32_t open;  // non-zero while open
  std::uint32_t slot;  // index into the channel table
};
static_assert(sizeof(ZltHandle) <= 96, "fits the handle area");

struct Channel {
  std::string name;
  std::FILE *file = nullptr;
  int users = 0;
};

std::mutex g_lock;
std::vector<Channel> g_channels;

std::string TraceDir() {
  std::string dir = plat::GetEnv("ZLTGATE_DIR");
  if (dir.empty()) {
    dir = plat::TempDir() + plat::kSep + "zltgate";
    plat::MakeDirectory(dir.c_str());
  }
  return dir;
}

ZltHandle *AsHandle(void *handle) { return static_cast<ZltHandle *>(handle); }

void AppendEscaped(std::string &out, const char *text, int length) {
  for (int i = 0; i < length && text[i] != '\0'; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02X", c);
      out += b;
    } else {
      out += static_cast<char>(c);
    }
  }
}

}  // namespace

ZLT_EXPORT int ZltOpenTracer(void *handle, int /*mode*/, const char *name) {
  if (handle == nullptr || name == nullptr || *name == '\0') return 0;
  std::lock_guard<std::mutex> guard(g_lock);
  std::size_t slot = 0;
  for (; slot < g_channels.size(); ++slot) {
    if (g_channels[slot].name == name && g_channels[slot].users > 0) break;
  }
  if (slot == g_channels.size()) {
    std::string path = TraceDir() + plat::kSep + name + ".trc";
    std::FILE *f = std::fopen(path.c_str(), "ab");
    if (f == nullptr) return 0;
    std::setvbuf(f, nullptr, _IONBF, 0);
    // Reuse a free slot so long-running programs do not grow the table.
    for (slot = 0; slot < g_channels.size() && g_channels[slot].users > 0; ++slot) {
    }
    if (slot == g_channels.size()) g_channels.emplace_back();
    g_channels[slot] = Channel{name, f, 0};
  }
  ++g_channels[slot].users;
  ZltHandle *h = AsHandle(handle);
  h->slot = static_cast<std::uint32_t>(slot);
  h->open = 1;
  return 1;
}

ZLT_EXPORT int ZltTrace(void *handle, int thread_index, int level, const char *source, int line, int kind, int length,
                        std::uint32_t pid, int code, const char *text) {
  ZltHandle *h = AsHandle(handle);
  if (h == nullptr || h->open == 0) return 0;
  std::int64_t ms = plat::NowMillis();
  std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::lock_guard<std::mutex> guard(g_lock);
  if (h->slot >= g_channels.size() || g_channels[h->slot].file == nullptr) return 0;
  std::tm tm = *std::localtime(&secs);  // under the lock: localtime's buffer is shared
  char head[512];
  std::snprintf(head, sizeof head, "%04d-%02d-%02d %02d:%02d:%02d.%03d pid=%u thr=%d lvl=%d src=%s:%d code=%d | ",
                tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms % 1000), pid, thread_index, level, source != nullptr ? source : "?", line, code);
  std::string entry = head;
  if (kind == 2 && text != nullptr) AppendEscaped(entry, text, length < 0 ? 0 : length);
  entry += '\n';
  return std::fwrite(entry.data(), 1, entry.size(), g_channels[h->slot].file) == entry.size() ? 1 : 0;
}

ZLT_EXPORT int ZltTraceCheck(void *handle, int /*level*/) {
  ZltHandle *h = AsHandle(handle);
  return h != nullptr && h->open != 0 ? 1 : 0;
}

ZLT_EXPORT int ZltCloseTracer(void *handle, int /*mode*/) {
  ZltHandle *h = AsHandle(handle);
  if (h == nullptr || h->open == 0) return 0;
  std::lock_guard<std::mutex> guard(g_lock);
  h->open = 0;
  if (h->slot < g_channels.size()) {
    Channel &c = g_channels[h->slot];
    if (--c.users <= 0 && c.file != nullptr) {
      std::fclose(c.file);
      c.file = nullptr;
      c.users = 0;
    }
  }
  return 1;
}

// Required for a complete binding; the adapter never calls these. They write
// what they are given to the channel, which is what an operator would expect.
ZLT_EXPORT int ZltSnap(void *handle, const char *text) {
  return ZltTrace(handle, 0, 1, "snap", 0, 2, text != nullptr ? static_cast<int>(std::strlen(text)) : 0,
                  plat::ProcessId(), 0, text);
}

ZLT_EXPORT int ZltDump(void *handle, const void *data, int length) {
  std::string hex;
  const unsigned char *p = static_cast<const unsigned char *>(data);
  for (int i = 0; p != nullptr && i < length && i < 256; ++i) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X", p[i]);
    hex += b;
  }
  return ZltTrace(handle, 0, 1, "dump", 0, 2, static_cast<int>(hex.size()), plat::ProcessId(), 0, hex.c_str());
}

ZLT_EXPORT int ZltSetMemoryDump(void *handle, int /*size*/) { return ZltTraceCheck(handle, 0); }

// The test suite builds a copy without this one to check that a tracer
// missing an entry point is refused as a whole.
#if !defined(ZLT_WITHOUT_LAST_ENTRY)
ZLT_EXPORT int ZltRelMemoryDump(void *handle) { return ZltTraceCheck(handle, 0); }
#endif
