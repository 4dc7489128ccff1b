// Trace channels against the real tracer stand-in, an incomplete tracer and
// no tracer at all. Each binding case runs in a probe process, because the
// platform's loader keeps a library loaded by name for the process's life.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "cmn/qvadtrace.h"
#include "platform/sys.h"
#include "testutil.h"

namespace {

// The probe finds its tracer through the library search path only.
std::string RunProbe(const std::string &tracer_dir, const qvtest::ScratchDir &dir) {
  const char *var = plat::kExeSuffix[0] != '\0' ? "PATH" : "LD_LIBRARY_PATH";
  std::string old = plat::GetEnv(var);
  std::string value = tracer_dir.empty() ? old : tracer_dir + (plat::kExeSuffix[0] != '\0' ? ";" : ":") + old;
  qvtest::EnvVar env(var, value);
  std::string out = dir.file("probe.txt");
  int rc = qvtest::Run("\"" + qvtest::FixturePath("trace_probe") + "\" \"" + out + "\"");
  EXPECT_EQ(rc, 0);
  return qvtest::ReadFile(out);
}

}  // namespace

TEST(TraceBinding, NoTracerMakesEveryCallSilent) {
  qvtest::ScratchDir dir("notracer");
  EXPECT_EQ(RunProbe("", dir), "load=0 cleared=1 open=0 bound=0 write=0 close=1 loaded_after=0");
}

TEST(TraceBinding, TracerMissingItsLastEntryPointIsRefusedAndReleased) {
  qvtest::ScratchDir dir("incomplete");
  qvtest::EnvVar trc("ZLTGATE_DIR", dir.path());
  EXPECT_EQ(RunProbe(std::string(QVAD_FIXTURE_DIR) + plat::kSep + "incomplete", dir),
            "load=0 cleared=1 open=0 bound=0 write=0 close=1 loaded_after=0");
  EXPECT_FALSE(qvtest::Exists(dir.file("QvAdnerlProbe.trc")));
}

TEST(TraceBinding, CompleteTracerWritesAndIsReleasedAtClose) {
  qvtest::ScratchDir dir("complete");
  qvtest::EnvVar trc("ZLTGATE_DIR", dir.path());
  EXPECT_EQ(RunProbe(QVAD_BIN_DIR, dir), "load=1 cleared=0 open=1 bound=1 write=1 close=1 loaded_after=0");
  std::string text = qvtest::ReadFile(dir.file("QvAdnerlProbe.trc"));
  EXPECT_NE(text.find("| probe entry"), std::string::npos) << text;
}

TEST(TraceChannel, NullAndUnopenedChannelsDoNothing) {
  EXPECT_EQ(Qvad_TraceOpen(nullptr, 0, "x"), 0);
  EXPECT_EQ(Qvad_TraceClose(nullptr, 0), 0);
  EXPECT_EQ(Qvad_TraceWrite(nullptr, 0, 1, "f", 1, 2, 0, 1, 0, ""), 0);
  QVAD_TRACER ch;
  std::memset(&ch, 0, sizeof ch);
  EXPECT_EQ(Qvad_TraceWrite(&ch, 0, 1, "f", 1, 2, 1, 1, 0, "x"), 0);
  EXPECT_EQ(Qvad_TraceClose(&ch, 0), 1);
  EXPECT_EQ(Qvad_TracerUnload(&ch), 0);
}

// What a fake tracer received, to check the exact arguments passed on.
namespace {
struct Received {
  int calls = 0, thread = -1, level = -1, line = -1, kind = -1, length = -1, code = -1;
  std::uint32_t pid = 0;
  std::string source, text;
} g_received;

int FakeTrace(void *handle, int thread_index, int level, const char *source, int line, int kind, int length,
              std::uint32_t pid, int code, const char *text) {
  EXPECT_NE(handle, nullptr);
  g_received.calls++;
  g_received.thread = thread_index;
  g_received.level = level;
  g_received.source = source;
  g_received.line = line;
  g_received.kind = kind;
  g_received.length = length;
  g_received.pid = pid;
  g_received.code = code;
  g_received.text = text;
  return 7;
}
int g_closes = 0;
int FakeClose(void *, int) { return ++g_closes; }
}  // namespace

TEST(TraceChannel, WritePassesValuesUnchangedOnlyWhileTheHandleIsOpen) {
  QVAD_TRACER ch;
  std::memset(&ch, 0, sizeof ch);
  ch.ZltTrace = FakeTrace;
  ch.ZltCloseTracer = FakeClose;
  // First handle word 0: the open failed, so writes and the close call nothing.
  EXPECT_EQ(Qvad_TraceWrite(&ch, 1, 3, "src.cpp", 12, 2, 3, 99, 5, "abc"), 0);
  EXPECT_EQ(g_received.calls, 0);
  EXPECT_EQ(Qvad_TraceClose(&ch, 0), 1);
  EXPECT_EQ(g_closes, 0);

  ch.ZltTrace = FakeTrace;
  ch.ZltCloseTracer = FakeClose;
  ch.handle[0] = 1;
  EXPECT_EQ(Qvad_TraceWrite(&ch, 1, 3, "src.cpp", 12, 2, 3, 99, 5, "abc"), 7);
  EXPECT_EQ(g_received.thread, 1);
  EXPECT_EQ(g_received.level, 3);
  EXPECT_EQ(g_received.source, "src.cpp");
  EXPECT_EQ(g_received.line, 12);
  EXPECT_EQ(g_received.kind, 2);
  EXPECT_EQ(g_received.length, 3);
  EXPECT_EQ(g_received.pid, 99u);
  EXPECT_EQ(g_received.code, 5);
  EXPECT_EQ(g_received.text, "abc");

  // An empty text goes out with length 0; formatted entries carry our pid and kind 2.
  EXPECT_EQ(QVAD_TRACE(&ch, 0, "%s", ""), 7);
  EXPECT_EQ(g_received.length, 0);
  EXPECT_EQ(g_received.kind, 2);
  EXPECT_EQ(g_received.pid, plat::ProcessId());
  EXPECT_NE(g_received.source.find("trace_test.cpp"), std::string::npos);

  EXPECT_EQ(Qvad_TraceClose(&ch, 0), 1);
  EXPECT_EQ(g_closes, 1);
}

TEST(TraceChannel, OverlongTextsAreShortenedWithAVisibleMark) {
  QVAD_TRACER ch;
  std::memset(&ch, 0, sizeof ch);
  ch.ZltTrace = FakeTrace;
  ch.handle[0] = 1;
  std::string exact(1023, 'e');
  QVAD_TRACE(&ch, 0, "%s", exact.c_str());
  EXPECT_EQ(g_received.text, exact);
  EXPECT_EQ(g_received.length, 1023);

  std::string big(5000, 'b');
  QVAD_TRACE(&ch, 0, "line (%s)", big.c_str());
  EXPECT_EQ(g_received.length, 1023);
  EXPECT_EQ(g_received.text.size(), 1023u);
  EXPECT_EQ(g_received.text.substr(0, 6), "line (");
  EXPECT_EQ(g_received.text.substr(1023 - 9), " ...[cut]");
}

TEST(Zltgate, WritesOneEscapedLinePerEntryAndSharesChannelsSafely) {
  qvtest::ScratchDir dir("zlt");
  qvtest::EnvVar trc("ZLTGATE_DIR", dir.path());
  qvtest::EnvVar buffered("ZLTGATE_FLUSH", "");
  constexpr int kThreads = 4, kEntries = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      QVAD_TRACER ch;
      std::memset(&ch, 0, sizeof ch);
      Qvad_TraceOpen(&ch, 0, "QvAdnerlShared");
      for (int i = 0; i < kEntries; ++i) QVAD_TRACE_CODE(&ch, t, i, "thread %d entry %d\nsecond\tpart", t, i);
      Qvad_TraceClose(&ch, 0);
    });
  }
  for (std::thread &t : threads) t.join();
  std::vector<std::string> lines = qvtest::Lines(qvtest::ReadFile(dir.file("QvAdnerlShared.trc")));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kEntries));
  for (const std::string &l : lines) {
    EXPECT_NE(l.find(" pid=" + std::to_string(plat::ProcessId()) + " "), std::string::npos) << l;
    EXPECT_NE(l.find("\\nsecond\\tpart"), std::string::npos) << l;
    EXPECT_NE(l.find("src="), std::string::npos) << l;
    EXPECT_EQ(l[4], '-');
  }
}

TEST(Zltgate, UnwritableFolderLeavesTracingOff) {
  qvtest::ScratchDir dir("zltro");
  qvtest::EnvVar trc("ZLTGATE_DIR", dir.file("missing-folder"));
  QVAD_TRACER ch;
  std::memset(&ch, 0, sizeof ch);
  EXPECT_EQ(Qvad_TraceOpen(&ch, 0, "QvAdnerlOff"), 0);
  EXPECT_EQ(QVAD_TRACE(&ch, 0, "nothing"), 0);
  EXPECT_EQ(Qvad_TraceClose(&ch, 0), 1);
}

TEST(Zltgate, BufferedEntriesReachTheFileSoonWithoutAClose) {
  qvtest::ScratchDir dir("zltbuf");
  qvtest::EnvVar trc("ZLTGATE_DIR", dir.path());
  qvtest::EnvVar buffered("ZLTGATE_FLUSH", "");
  QVAD_TRACER ch;
  std::memset(&ch, 0, sizeof ch);
  ASSERT_EQ(Qvad_TraceOpen(&ch, 0, "QvAdnerlIdle"), 1);
  QVAD_TRACE(&ch, 0, "last words before a quiet spell");
  // The flusher writes within 100 ms; allow a loaded machine ten seconds.
  bool seen = false;
  for (int i = 0; i < 1000 && !seen; ++i) {
    seen = qvtest::ReadFile(dir.file("QvAdnerlIdle.trc")).find("last words") != std::string::npos;
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(seen);
  Qvad_TraceClose(&ch, 0);
}
