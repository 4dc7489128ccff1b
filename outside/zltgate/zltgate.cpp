// Tracer library stand-in. Each channel writes one line per entry to
// <dir>/<channel>.trc, where <dir> is $ZLTGATE_DIR or <temp>/zltgate:
//
//   2026-12-07 23:30:01.123 pid=1234 thr=0 lvl=1 src=cmn/x.cpp:42 code=0 | text
//
// Line breaks and other control characters inside a text are escaped, so an
// entry is always exactly one line. Channels of the same name share one open
// file and one buffer, filled under a lock, so two threads never interleave
// inside a line. A folder that cannot be written leaves the channel closed
// and tracing silently off.
//
// Entries are buffered: a busy service traces several entries per event, and
// one write per entry would cost more than the work it describes. A flusher
// thread writes a channel's entries out at most 100 ms after the first of
// them arrived (so an idle program's last entries still reach the file), a
// full buffer is written at once, and closing a channel writes what is left.
// A process that dies loses at most its last 100 ms of entries. With
// ZLTGATE_FLUSH=each in the environment when a channel is opened, that
// channel writes every entry at once instead (for tests that read a trace
// while the program runs, and for chasing a crash).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/append.h"
#include "platform/sys.h"
#include "platform/thread.h"

// Exported by name through the .def file on Win32 and by default visibility on POSIX.
#define ZLT_EXPORT extern "C"

namespace {

// The caller's 96-byte handle area holds this, and nothing else.
struct ZltHandle {
  std::uint32_t open;  // non-zero while open
  std::uint32_t slot;  // index into the channel table
};
static_assert(sizeof(ZltHandle) <= 96, "fits the handle area");

constexpr std::size_t kFlushAt = 64 * 1024;
constexpr auto kFlushDelay = std::chrono::milliseconds(100);

struct Channel {
  std::string name;
  // Opened for atomic appends: several programs write one trace file at once.
  std::unique_ptr<plat::AppendFile> file;
  int users = 0;
  std::string pending;
  bool each = false;  // write every entry at once
};

// The objects with destructors are made once and never destroyed: at process
// exit the platform may already have ended the flusher thread inside a wait,
// and destroying its thread, lock or condition then can hang or abort.
struct Globals {
  std::mutex lock;
  std::condition_variable wake;
  std::vector<Channel> channels;
  std::mutex flusher_lock;
  std::thread flusher;
};
Globals &g_globals = *new Globals;
std::mutex &g_lock = g_globals.lock;  // guards everything below
std::condition_variable &g_wake = g_globals.wake;
std::vector<Channel> &g_channels = g_globals.channels;
int g_users = 0;
bool g_dirty = false;
bool g_stop = false;
std::mutex &g_flusher_lock = g_globals.flusher_lock;  // start and stop of the flusher; taken before g_lock
std::thread &g_flusher = g_globals.flusher;

// The date and time of the current second, formatted once per second:
// localtime looks at the time zone on every call.
std::time_t g_stamp_second = -1;
char g_stamp[64];

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

// Called with g_lock held.
void WriteOut(Channel &c) {
  if (c.file != nullptr && !c.pending.empty()) c.file->Write(c.pending.data(), c.pending.size());
  c.pending.clear();
}

void FlusherMain() {
  std::unique_lock<std::mutex> lock(g_lock);
  for (;;) {
    g_wake.wait(lock, [] { return g_stop || g_dirty; });
    if (!g_stop) g_wake.wait_for(lock, kFlushDelay, [] { return g_stop; });
    for (Channel &c : g_channels) WriteOut(c);
    g_dirty = false;
    if (g_stop) return;
  }
}

void StopFlusher() {
  {
    std::lock_guard<std::mutex> guard(g_lock);
    g_stop = true;
  }
  g_wake.notify_all();
  if (g_flusher.joinable()) g_flusher.join();
  std::lock_guard<std::mutex> guard(g_lock);
  g_stop = false;
}

// Writes what is left when the library goes away with channels still open
// (a program that never closed them).
struct AtUnload {
  ~AtUnload() {
    std::unique_lock<std::mutex> lock(g_lock, std::try_to_lock);
    if (!lock.owns_lock()) return;
    for (Channel &c : g_channels) WriteOut(c);
    lock.unlock();
    // With no flusher left (every channel was closed, the usual case when the
    // library is released) the globals can go; otherwise they stay.
    if (!g_flusher.joinable()) delete &g_globals;
  }
} g_at_unload;

}  // namespace

ZLT_EXPORT int ZltOpenTracer(void *handle, int /*mode*/, const char *name) {
  if (handle == nullptr || name == nullptr || *name == '\0') return 0;
  std::lock_guard<std::mutex> starting(g_flusher_lock);
  std::lock_guard<std::mutex> guard(g_lock);
  std::size_t slot = 0;
  for (; slot < g_channels.size(); ++slot) {
    if (g_channels[slot].name == name && g_channels[slot].users > 0) break;
  }
  if (slot == g_channels.size()) {
    std::string path = TraceDir() + plat::kSep + name + ".trc";
    auto f = std::make_unique<plat::AppendFile>();
    if (!f->Open(path.c_str())) return 0;
    // Reuse a free slot so long-running programs do not grow the table.
    for (slot = 0; slot < g_channels.size() && g_channels[slot].users > 0; ++slot) {
    }
    if (slot == g_channels.size()) g_channels.emplace_back();
    g_channels[slot] = Channel{name, std::move(f), 0, {}, plat::GetEnv("ZLTGATE_FLUSH") == "each"};
  }
  ++g_channels[slot].users;
  ++g_users;
  if (!g_flusher.joinable()) {
    // The flusher must never take a signal meant for the program's own threads.
    plat::SignalBlocker quiet;
    g_flusher = std::thread(FlusherMain);
  }
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
  std::string entry;
  entry.reserve(160 + (length > 0 ? static_cast<std::size_t>(length) : 0));
  if (kind == 2 && text != nullptr) AppendEscaped(entry, text, length < 0 ? 0 : length);
  std::lock_guard<std::mutex> guard(g_lock);
  if (h->slot >= g_channels.size() || g_channels[h->slot].file == nullptr) return 0;
  Channel &c = g_channels[h->slot];
  if (secs != g_stamp_second) {
    std::tm tm = *std::localtime(&secs);  // under the lock: localtime's buffer is shared
    std::snprintf(g_stamp, sizeof g_stamp, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    g_stamp_second = secs;
  }
  char head[512];
  int n = std::snprintf(head, sizeof head, "%s.%03d pid=%u thr=%d lvl=%d src=%s:%d code=%d | ", g_stamp,
                        static_cast<int>(ms % 1000), pid, thread_index, level, source != nullptr ? source : "?", line,
                        code);
  c.pending.append(
      head, n > 0 && static_cast<std::size_t>(n) < sizeof head ? static_cast<std::size_t>(n) : std::strlen(head));
  c.pending += entry;
  c.pending += '\n';
  if (c.each || c.pending.size() >= kFlushAt) {
    WriteOut(c);
  } else if (!g_dirty) {
    g_dirty = true;
    g_wake.notify_all();
  }
  return 1;
}

ZLT_EXPORT int ZltTraceCheck(void *handle, int /*level*/) {
  ZltHandle *h = AsHandle(handle);
  return h != nullptr && h->open != 0 ? 1 : 0;
}

ZLT_EXPORT int ZltCloseTracer(void *handle, int /*mode*/) {
  ZltHandle *h = AsHandle(handle);
  if (h == nullptr || h->open == 0) return 0;
  std::lock_guard<std::mutex> stopping(g_flusher_lock);
  bool last = false;
  {
    std::lock_guard<std::mutex> guard(g_lock);
    h->open = 0;
    if (h->slot < g_channels.size()) {
      Channel &c = g_channels[h->slot];
      WriteOut(c);
      if (--c.users <= 0 && c.file != nullptr) {
        c.file.reset();
        c.users = 0;
      }
    }
    last = --g_users <= 0;
    if (last) g_users = 0;
  }
  // No channel left: the flusher ends before the library can be released.
  if (last) StopFlusher();
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
