// The event loop against a real pipe and a real child (the event-dump
// stand-in), forwarding to the console stand-in. This program lives in an
// install tree of its own (evtroot/bin), so its state files are
// evtroot/etc/*.txt, as the service's are <install>/etc/*.txt.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "cmn/qvadpipe/qvadpipe.h"
#include "cmn/qvadproc/qvadproc.h"
#include "cmn/qvadservice/qvadservice.h"
#include "hp_ov/ov_evt/ovloop.h"
#include "hp_ov/ov_evt/ovmain.h"
#include "hp_ov/ov_evt/ovstate.h"
#include "hp_ov/ov_evt/ovtrace.h"
#include "platform/sys.h"
#include "testutil.h"

namespace {

struct LoopRun {
  std::string razevt, evtkeep, stoptime, args = "-l 0 -t";
  int result = -9;
  bool started = false;
};
LoopRun *g_run = nullptr;

std::uint32_t Worker(void *) {
  LoopRun *r = g_run;
  std::memset(&g_OvTraceError, 0, sizeof g_OvTraceError);
  std::memset(&g_OvTraceInfo, 0, sizeof g_OvTraceInfo);
  Qvad_TraceOpen(&g_OvTraceError, 0, kOvErrorChannel);
  Qvad_TraceOpen(&g_OvTraceInfo, 0, kOvInfoChannel);
  QVAD_PIPE pipe;
  QVAD_ERROR_TBL err{};
  if (Qvad_CreatePipe(&pipe, 1, 4097, &err)) {
    QVAD_STARTUPINFO si{true,   plat::kInvalidFile, plat::PipeStream(pipe.write_handle), plat::kInvalidFile, false,
                        nullptr};
    std::string app = qvtest::BinPath("ovdumpevents");
    std::string cmd = "ovdumpevents.exe " + r->args;
    if (OvStartChild(app.c_str(), cmd.c_str(), &si, &err)) {
      r->started = true;
      r->result = OvGetParameter(r->razevt.c_str(), r->evtkeep.c_str(), &pipe, r->stoptime.c_str());
      OvEndChild(&err);
    }
    Qvad_ClosePipe(&pipe);
  }
  Qvad_TraceClose(&g_OvTraceError, 0);
  Qvad_TraceClose(&g_OvTraceInfo, 0);
  return 0;
}

class Loop : public ::testing::Test {
 protected:
  void SetUp() override {
    char install[260];
    ASSERT_EQ(OvGetInstallDir(install, sizeof install), 0u);
    etc_ = std::string(install) + plat::kSep + "etc";
    std::filesystem::remove_all(etc_);
    std::filesystem::create_directories(etc_);
    run_.razevt = Etc(kOvRazEvtIni);
    run_.evtkeep = Etc(kOvEvtKeep);
    run_.stoptime = Etc(kOvStopTime);
    ASSERT_TRUE(qvtest::WriteFile(run_.razevt, "[Severity]\r\nCritical=4\r\nNormal=1\r\nMinor=-1\r\n"));
    env_.emplace_back(std::make_unique<qvtest::EnvVar>("QVAD_RUNDIR", dir_.file("run")));
    env_.emplace_back(std::make_unique<qvtest::EnvVar>("ZLTGATE_DIR", dir_.path()));
    env_.emplace_back(std::make_unique<qvtest::EnvVar>("QVAD_EVENTLOG_FILE", dir_.file("events.log")));
    env_.emplace_back(std::make_unique<qvtest::EnvVar>("QVAD_REGISTRY", dir_.file("registry.reg")));
    env_.emplace_back(std::make_unique<qvtest::EnvVar>("QVCNSPUT_SPOOL", dir_.file("spool.txt")));
    env_.emplace_back(std::make_unique<qvtest::EnvVar>("OVDUMPEVENTS_SOURCE", dir_.file("source.txt")));
    g_run = &run_;
  }
  void TearDown() override {
    Qvad_RequestStop();
    Qvad_EndDetachedWorker(20000);
    g_run = nullptr;
  }
  std::string Etc(const char *name) { return etc_ + plat::kSep + name; }
  void Env(const char *name, const std::string &value) {
    env_.emplace_back(std::make_unique<qvtest::EnvVar>(name, value));
  }
  void Start(const std::string &source) {
    ASSERT_TRUE(qvtest::WriteFile(dir_.file("source.txt"), source));
    QVAD_ERROR_TBL err{};
    ASSERT_EQ(Qvad_StartDetachedWorker(Worker, &err), 1);
  }
  std::vector<std::string> Spool() { return qvtest::Lines(qvtest::ReadFile(dir_.file("spool.txt"))); }
  // Waits (generously) until the trace holds this text, the sign that the loop got that far.
  bool WaitTrace(const std::string &text) {
    for (int i = 0; i < 600; ++i) {
      if (Trace().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  std::string Trace() {
    return qvtest::ReadFile(dir_.file("QvAdnerl01.trc")) + qvtest::ReadFile(dir_.file("QvAdnerl02.trc"));
  }
  int Occurrences(const std::string &text) {
    std::string t = Trace();
    int n = 0;
    for (std::size_t at = t.find(text); at != std::string::npos; at = t.find(text, at + 1)) ++n;
    return n;
  }
  int Stop() {
    Qvad_RequestStop();
    EXPECT_EQ(Qvad_EndDetachedWorker(20000), 1);
    return run_.result;
  }

  qvtest::ScratchDir dir_{"evtloop"};
  std::vector<std::unique_ptr<qvtest::EnvVar>> env_;
  std::string etc_;
  LoopRun run_;
};

std::string Line(long t, const std::string &host, const std::string &msg, const std::string &sev) {
  return std::to_string(t) + " 0x1 " + host + "\tx " + msg + ";" + sev + " .1.3.6\n";
}

TEST_F(Loop, ForwardsWithSeverityHostAndEscapingAcrossSplitBlocks) {
  Env("OVDUMPEVENTS_CHUNK", "7");  // every line arrives in several reads
  std::string src = Line(100, "Node1.Example.COM", "Link down", "Critical") +
                    Line(100, "10.0.0.1", "100% in C:\\x", "Unknown") +
                    "101 0x1 1234\tx all-digit host;Normal x\n" +  // refused: no host name
                    "102 0x1 node2\tx no severity at all\r\n" +    // key "0", CR kept
                    Line(103, "node3", "minus one counts as missing", "Minor") + "junk without structure\n" +
                    Line(104, std::string(129, 'h'), "over-long host", "Normal") + Line(105, "node5", "last", "Normal");
  Start(src);
  ASSERT_TRUE(WaitTrace("last ).")) << Trace();
  ASSERT_TRUE(WaitTrace("The notified Event was saved"));
  for (int i = 0; i < 100 && Spool().size() < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::vector<std::string> s = Spool();
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[0], "0\t772\tnode1.example.com\t100\tLink down");
  EXPECT_EQ(s[1], "0\t768\t10.0.0.1\t100\t100%% in C:\\\\x");
  EXPECT_EQ(s[2], "0\t768\tnode2\t102\tno severity at all");
  // Lines() drops line ends; the spool itself shows the CR was forwarded.
  EXPECT_NE(qvtest::ReadFile(dir_.file("spool.txt")).find("no severity at all\r\n"), std::string::npos);
  EXPECT_EQ(s[3], "0\t768\tnode3\t103\tminus one counts as missing");
  EXPECT_EQ(s[4], "0\t769\tnode5\t105\tlast");
  EXPECT_EQ(Stop(), 1);

  std::string t = Trace();
  EXPECT_NE(t.find("lvl=3 src="), std::string::npos);
  EXPECT_NE(t.find("The Event Notif is not done because no Host Name. (1234)"), std::string::npos);
  EXPECT_EQ(t.find("No IP though the Host Name was checked. (10.0.0.1)"), std::string::npos);
  EXPECT_NE(t.find("Section : Severity Key : Unknown"), std::string::npos);
  EXPECT_NE(t.find("Host name acquisition failure. : (8)"), std::string::npos);
  if (plat::kExeSuffix[0] == '\0') {  // the Win32 event log keeps its events itself
    std::string events = qvtest::ReadFile(dir_.file("events.log"));
    EXPECT_NE(events.find("0xA0000899"), std::string::npos);
    EXPECT_NE(events.find("0xA000089D"), std::string::npos);
  }
  std::string last = Line(105, "node5", "last", "Normal");
  EXPECT_EQ(qvtest::ReadFile(run_.evtkeep), last.substr(0, last.size() - 1));
  EXPECT_EQ(qvtest::ReadFile(Etc(kOvEvtCount)), "1");
}

TEST_F(Loop, DuplicateRuleAcrossARestart) {
  ASSERT_TRUE(qvtest::WriteFile(run_.evtkeep, Line(500, "node", "before", "Normal").substr(0, 30)));
  ASSERT_TRUE(qvtest::WriteFile(Etc(kOvEvtCount), "2"));
  Start(Line(499, "node", "earlier", "Normal") + Line(500, "node", "a", "Normal") + Line(500, "node", "b", "Normal") +
        Line(500, "node", "c", "Normal"));
  ASSERT_TRUE(WaitTrace(" c ).")) << Trace();
  ASSERT_TRUE(WaitTrace("The notified Event was saved"));
  for (int i = 0; i < 100 && Spool().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::vector<std::string> s = Spool();
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0], "0\t769\tnode\t500\tc");
  EXPECT_EQ(qvtest::ReadFile(Etc(kOvEvtCount)), "3");
  EXPECT_EQ(Occurrences("had already been notified. : (-3)"), 2);
  EXPECT_EQ(Occurrences("has already been notified.(500 > 499)"), 1);
  // A later second starts a new count.
  std::string more = Line(501, "node", "d", "Normal");
  std::FILE *f = std::fopen(dir_.file("source.txt").c_str(), "ab");
  ASSERT_NE(f, nullptr);
  std::fputs(more.c_str(), f);
  std::fclose(f);
  ASSERT_TRUE(WaitTrace(" d )."));
  for (int i = 0; i < 100 && Spool().size() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Stop(), 1);
  EXPECT_EQ(Spool().size(), 2u);
  EXPECT_EQ(qvtest::ReadFile(Etc(kOvEvtCount)), "1");
  EXPECT_EQ(qvtest::ReadFile(run_.evtkeep), more.substr(0, more.size() - 1));
}

TEST_F(Loop, ConsoleResultClasses) {
  Env("QVCNSPUT_RESULTS", "5,-1,-2,-3,-7");
  Start(Line(10, "n", "taken", "Normal") + Line(11, "n", "refused", "Normal") + Line(12, "n", "down", "Normal") +
        Line(13, "n", "again", "Normal") + Line(14, "n", "odd", "Normal"));
  ASSERT_TRUE(WaitTrace(" odd )."));
  for (int i = 0; i < 100 && qvtest::ReadFile(run_.evtkeep).find("odd") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Stop(), 1);
  // Refused (-1) is offered again, before anything after it, and then
  // takes the next result (-2); each of the five is recorded once taken.
  std::vector<std::string> spool = Spool();
  ASSERT_EQ(spool.size(), 6u);
  EXPECT_EQ(spool[1].substr(0, 3), "-1\t");
  EXPECT_NE(spool[1].find("refused"), std::string::npos);
  EXPECT_EQ(spool[2].substr(0, 3), "-2\t");
  EXPECT_NE(spool[2].find("refused"), std::string::npos);
  EXPECT_EQ(Occurrences("It succeeded in the Notif of the Event."), 1);
  EXPECT_EQ(Occurrences("in Notif or Temporary files. : (-1)"), 1);
  EXPECT_EQ(Occurrences("at a file at one time. : (-2)"), 1);
  EXPECT_EQ(Occurrences("had already been notified. : (-3)"), 1);
  EXPECT_EQ(Occurrences("The notified Event was saved to the log file."), 5);
  if (plat::kExeSuffix[0] == '\0') {
    EXPECT_NE(qvtest::ReadFile(dir_.file("events.log")).find("WARNING 0xA000089C"), std::string::npos);
  }
}

TEST_F(Loop, ChildEndEndsTheLoopAndAQuietStopIsQuick) {
  run_.args = "-l 0";  // prints and exits
  Start(Line(1, "n", "m", "Normal"));
  for (int i = 0; i < 400 && !run_.started; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  ASSERT_TRUE(WaitTrace("ovdumpevents process has stopped. Detail=0"));
  EXPECT_EQ(Qvad_EndDetachedWorker(20000), 1);
  EXPECT_EQ(run_.result, 0);
}

TEST_F(Loop, StopWhileThePipeIsQuiet) {
  Start("");
  ASSERT_TRUE(WaitTrace("The Count Quantity is not used"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(Stop(), 1);
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(s, 4.5);
  EXPECT_NE(Trace().find("The Stop Service Req was received."), std::string::npos);
}

// After a restart the replay skips what was forwarded before. Skipping
// writes nothing: rewriting the state for each skipped event would move
// progress on disk back to an earlier event, and a kill then makes the next
// start forward everything after it again.
TEST_F(Loop, SkippedEventsLeaveTheStateFilesAlone) {
  std::string src;
  for (const char *m : {"a", "b", "c", "d", "e"}) src += Line(500, "node", m, "Normal");
  std::string last = Line(500, "node", "e", "Normal");
  ASSERT_TRUE(qvtest::WriteFile(run_.evtkeep, last.substr(0, last.size() - 1)));
  ASSERT_TRUE(qvtest::WriteFile(Etc(kOvEvtCount), "5"));
  auto hour_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  std::filesystem::last_write_time(run_.evtkeep, hour_ago);
  std::filesystem::last_write_time(Etc(kOvEvtCount), hour_ago);
  auto old = std::filesystem::last_write_time(run_.evtkeep);  // as the file system keeps it
  ASSERT_EQ(std::filesystem::last_write_time(Etc(kOvEvtCount)), old);
  Start(src);
  for (int i = 0; i < 600 && Occurrences("had already been notified. : (-3)") < 5; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(Occurrences("had already been notified. : (-3)"), 5) << Trace();
  EXPECT_TRUE(Spool().empty());
  EXPECT_EQ(std::filesystem::last_write_time(run_.evtkeep), old);
  EXPECT_EQ(std::filesystem::last_write_time(Etc(kOvEvtCount)), old);

  // The next event of that second is new: forwarded and recorded.
  std::FILE *f = std::fopen(dir_.file("source.txt").c_str(), "ab");
  ASSERT_NE(f, nullptr);
  std::fputs(Line(500, "node", "f", "Normal").c_str(), f);
  std::fclose(f);
  ASSERT_TRUE(WaitTrace(" f )."));
  for (int i = 0; i < 100 && qvtest::ReadFile(Etc(kOvEvtCount)) != "6"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Stop(), 1);
  EXPECT_EQ(Spool(), std::vector<std::string>{"0\t769\tnode\t500\tf"});
  EXPECT_EQ(qvtest::ReadFile(Etc(kOvEvtCount)), "6");
}

// An event stamped ahead of the clock is forwarded, but the events after it
// that carry the right time are not taken for repeats, and it is never
// recorded as the last handled event. The operator hears of it once.
TEST_F(Loop, AnEventAheadOfTheClockIsNeverTheReference) {
  long now = static_cast<long>(std::time(nullptr));
  Start(Line(now - 10, "node", "before", "Normal") + Line(now + 3600, "node", "hour ahead", "Normal") +
        Line(now - 5, "node", "after one", "Normal") + Line(2147483647L, "node", "far ahead", "Normal") +
        Line(now - 4, "node", "after two", "Normal"));
  ASSERT_TRUE(WaitTrace(" after two )."));
  for (int i = 0; i < 100 && Spool().size() < 5; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (int i = 0; i < 100 && qvtest::ReadFile(run_.evtkeep).find("after two") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Stop(), 1);
  std::vector<std::string> s = Spool();
  ASSERT_EQ(s.size(), 5u);
  EXPECT_NE(s[2].find("after one"), std::string::npos);
  EXPECT_NE(s[4].find("after two"), std::string::npos);
  std::string after = Line(now - 4, "node", "after two", "Normal");
  EXPECT_EQ(qvtest::ReadFile(run_.evtkeep), after.substr(0, after.size() - 1));
  EXPECT_EQ(qvtest::ReadFile(Etc(kOvEvtCount)), "1");
  EXPECT_EQ(Occurrences("is ahead of the clock; the event is forwarded"), 2);
  if (plat::kExeSuffix[0] == '\0') {
    std::string events = qvtest::ReadFile(dir_.file("events.log"));
    std::size_t first = events.find("WARNING 0xA000089F");
    ASSERT_NE(first, std::string::npos) << events;
    EXPECT_EQ(events.find("WARNING 0xA000089F", first + 1), std::string::npos) << events;
  }
}

// The count in EvtCount.txt is used only with the EvtKeep.txt line it was
// written with, and only when it is a count a second can hold.
TEST_F(Loop, TheCountIsUsedOnlyWithItsLine) {
  struct Case {
    const char *name;
    bool keep_line;         // EvtKeep.txt holds a line of second 700 (else it is empty)
    const char *count;      // EvtCount.txt
    std::size_t forwarded;  // of four events of second 700
  };
  const Case cases[] = {
      {"count with its line", true, "2", 2},
      {"empty EvtKeep.txt, time from StopTime.txt", false, "3", 4},
      {"negative count", true, "-5", 4},
      {"count no second can hold", true, "2000000000", 4},
  };
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string spool = dir_.file("spool" + std::to_string(++n) + ".txt");
    Env("QVCNSPUT_SPOOL", spool);
    std::string kept = Line(700, "node", "kept", "Normal");
    ASSERT_TRUE(qvtest::WriteFile(run_.evtkeep, c.keep_line ? kept.substr(0, kept.size() - 1) : ""));
    ASSERT_TRUE(qvtest::WriteFile(Etc(kOvEvtCount), c.count));
    ASSERT_TRUE(qvtest::WriteFile(run_.stoptime, "700"));
    std::string src;
    for (int i = 0; i < 4; ++i) src += Line(700, "node", "m" + std::to_string(i), "Normal");
    src += Line(701, "node", "end", "Normal");
    Start(src);
    ASSERT_TRUE(WaitTrace(" end ).")) << Trace();
    auto lines = [&] { return qvtest::Lines(qvtest::ReadFile(spool)); };
    for (int i = 0; i < 100 && lines().size() < c.forwarded + 1; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(Stop(), 1);
    EXPECT_EQ(lines().size(), c.forwarded + 1);
    std::filesystem::remove(dir_.file("QvAdnerl01.trc"));
    std::filesystem::remove(dir_.file("QvAdnerl02.trc"));
  }
}

// A state write that fails (here the temporary file cannot be made) is
// reported once, not for every event, and so is its recovery; events keep
// flowing throughout.
TEST_F(Loop, AFailingStateWriteIsReportedOnceAndSoIsItsRecovery) {
  std::filesystem::create_directories(Etc(kOvEvtCount) + ".tmp");
  Start(Line(800, "node", "one", "Normal") + Line(801, "node", "two", "Normal") + Line(802, "node", "three", "Normal"));
  ASSERT_TRUE(WaitTrace(" three )."));
  for (int i = 0; i < 100 && Spool().size() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(Spool().size(), 3u);
  std::filesystem::remove(Etc(kOvEvtCount) + ".tmp");
  std::FILE *f = std::fopen(dir_.file("source.txt").c_str(), "ab");
  ASSERT_NE(f, nullptr);
  std::fputs((Line(803, "node", "four", "Normal") + Line(804, "node", "five", "Normal")).c_str(), f);
  std::fclose(f);
  ASSERT_TRUE(WaitTrace(" five )."));
  for (int i = 0; i < 100 && qvtest::ReadFile(run_.evtkeep).find("five") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Stop(), 1);
  EXPECT_EQ(Spool().size(), 5u);
  EXPECT_EQ(qvtest::ReadFile(Etc(kOvEvtCount)), "1");
  EXPECT_EQ(Occurrences("It failed in writing the Count Quantity."), 3);
  EXPECT_EQ(Occurrences("Progress could not be recorded in EvtCount.txt"), 1);
  EXPECT_EQ(Occurrences("Progress is recorded in EvtCount.txt again."), 1);
  if (plat::kExeSuffix[0] == '\0') {
    std::string events = qvtest::ReadFile(dir_.file("events.log"));
    EXPECT_EQ(events.find("WARNING 0xA00008A0"), events.rfind("WARNING 0xA00008A0")) << events;
    EXPECT_NE(events.find("WARNING 0xA00008A0"), std::string::npos) << events;
    EXPECT_NE(events.find("INFORMATION 0x6000044F"), std::string::npos) << events;
  }
}

}  // namespace
