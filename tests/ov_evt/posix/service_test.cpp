// The whole service on POSIX, run as its users run it: the program and its
// libraries copied into an install tree, started as a foreground daemon
// with a systemd-style notify socket, controlled by signals. Also the crash
// test: the service is killed with SIGKILL at random moments while events
// flow, restarted each time, and must lose nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "platform/process.h"
#include "platform/sys.h"
#include "testutil.h"

namespace fs = std::filesystem;

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Cuts a program's RUNPATH down to $ORIGIN, in place: a build may add its
// own folders after it (with the libraries a test has taken away).
bool OnlyOrigin(const std::string &program) {
  std::string image = qvtest::ReadFile(program);
  const std::string origin = "$ORIGIN";
  std::size_t at = image.find(origin + ":");
  if (at == std::string::npos) return image.find(origin) != std::string::npos;
  for (std::size_t i = at + origin.size(); i < image.size() && image[i] != '\0'; ++i) image[i] = '\0';
  return qvtest::WriteFile(program, image) &&
         (fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec), true);
}

class Service : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.file("root");
    fs::create_directories(root_ + "/bin");
    fs::create_directories(root_ + "/etc");
    fs::create_directories(dir_.file("trc"));
    std::string bin = qvtest::BinPath("qvadovevt");
    bin = bin.substr(0, bin.rfind('/'));
    for (const char *f : {"qvadovevt", "libqvcnsput.so", "libzltgate.so", "ovdumpevents", "RazMessage.cat"})
      fs::copy_file(bin + "/" + f, root_ + "/bin/" + f);
    // As installed: the program finds its libraries beside it, never in the
    // build's folder, whatever RUNPATH the build gave it.
    ASSERT_TRUE(OnlyOrigin(root_ + "/bin/qvadovevt"));
    Write("etc/RazEvt.ini", "[Severity]\nCritical=4\nNormal=1\n");
    std::string reg =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Hewlett-Packard\\HP OpenView]\n\"InstallDir\"=\"" +
        root_ +
        "/\"\n\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\QvAdnerl]\n"
        "\"EventMessageFile\"=\"" +
        root_ + "/bin/RazMessage.cat\"\n";
    ASSERT_TRUE(qvtest::WriteFile(dir_.file("registry.reg"), reg));
    for (auto [k, v] : std::map<std::string, std::string>{{"QVAD_REGISTRY", dir_.file("registry.reg")},
                                                          {"QVAD_RUNDIR", dir_.file("run")},
                                                          {"ZLTGATE_DIR", dir_.file("trc")},
                                                          {"QVAD_EVENTLOG_FILE", dir_.file("events.log")},
                                                          {"QVCNSPUT_SPOOL", dir_.file("spool.txt")},
                                                          {"OVDUMPEVENTS_SOURCE", dir_.file("source.txt")},
                                                          {"OVDUMPEVENTS_ARGS", dir_.file("args.txt")},
                                                          {"NOTIFY_SOCKET", dir_.file("notify")}})
      env_.emplace_back(std::make_unique<qvtest::EnvVar>(k.c_str(), v));
    sock_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::string p = dir_.file("notify");
    std::strncpy(a.sun_path, p.c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(bind(sock_, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_TRUE(qvtest::WriteFile(dir_.file("source.txt"), ""));
  }
  // A fresh install tree and settings, for a table of cases in one test.
  void SetUpAgain() {
    TearDown();
    env_.clear();
    statuses_.clear();
    ready_ = false;
    run_as_.clear();
    qvtest::RemoveTree(dir_.path());
    fs::create_directories(dir_.path());
    SetUp();
  }
  void TearDown() override {
    if (proc_.handle != plat::kInvalidProcess) {
      kill(static_cast<pid_t>(proc_.pid), SIGKILL);
      plat::WaitProcess(proc_.handle, 10000);
      plat::CloseProcess(proc_.handle);
    }
    proc_.handle = plat::kInvalidProcess;
    if (sock_ >= 0) close(sock_);
    sock_ = -1;
  }
  void Write(const std::string &rel, const std::string &text) {
    ASSERT_TRUE(qvtest::WriteFile(root_ + "/" + rel, text));
  }
  std::string Read(const std::string &rel) { return qvtest::ReadFile(root_ + "/" + rel); }
  void Append(const std::string &text) {
    std::FILE *f = std::fopen(dir_.file("source.txt").c_str(), "ab");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  void Start() { StartAs(&proc_); }
  // In a session (and process group) of its own, as a service manager starts it.
  void StartInOwnGroup() { StartAs(&proc_, true); }
  // Standard error goes to stderr.txt, as the journal would keep it.
  void StartAs(plat::Process *p, bool own_group = false) {
    plat::ProcessOptions o;
    std::string app = root_ + "/bin/qvadovevt";
    o.application = app.c_str();
    o.hidden = own_group;
    // Standard error is what the journal would get.
    std::FILE *err = std::fopen(dir_.file("stderr.txt").c_str(), "ab");
    ASSERT_NE(err, nullptr);
    o.std_err = plat::FileHandleOf(err);
    // As a service manager starts it: by its full path.
    std::string line = "\"" + app + "\"";
    if (!run_as_.empty()) {
      o.application = kSetpriv;
      line = std::string(kSetpriv) + " " + run_as_ + " " + line;
    }
    bool ok = plat::StartProcess(line.c_str(), o, p);
    std::fclose(err);
    ASSERT_TRUE(ok);
  }
  std::string Events() { return qvtest::ReadFile(dir_.file("events.log")); }
  std::string Stderr() { return qvtest::ReadFile(dir_.file("stderr.txt")); }
  static int Count(const std::string &text, const std::string &what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
  void Signal(int sig) { kill(static_cast<pid_t>(proc_.pid), sig); }
  int WaitExit(int ms = 30000) {
    if (plat::WaitProcess(proc_.handle, static_cast<std::uint32_t>(ms)) != 0) return -1;
    std::uint32_t code = 0;
    plat::ProcessExitCode(proc_.handle, &code);
    plat::CloseProcess(proc_.handle);
    proc_.handle = plat::kInvalidProcess;
    return static_cast<int>(code);
  }
  // Notify messages received so far, their STATUS= lines in order; the
  // worker's counter lines ("Forwarding: ...") are kept apart in counters_.
  std::vector<std::string> Statuses() {
    char buf[1024];
    ssize_t n;
    while ((n = recv(sock_, buf, sizeof buf, 0)) > 0) {
      std::string m(buf, static_cast<std::size_t>(n));
      std::size_t s = m.find("STATUS=");
      std::string status = m.substr(s + 7, m.find('\n', s) - s - 7);
      bool counters = status.rfind("Forwarding: ", 0) == 0 || status.rfind("Console refusing", 0) == 0;
      (counters ? counters_ : statuses_).push_back(status);
      if (m.find("READY=1") != std::string::npos) ready_ = true;
    }
    return statuses_;
  }
  bool WaitFor(const std::function<bool()> &cond, int ms = 30000) {
    for (int i = 0; i < ms / 20; ++i) {
      if (cond()) return true;
      Sleep(20);
    }
    return cond();
  }
  std::string Trace() {
    return qvtest::ReadFile(dir_.file("trc/QvAdnerl01.trc")) + qvtest::ReadFile(dir_.file("trc/QvAdnerl02.trc"));
  }
  std::vector<std::string> Spool() { return qvtest::Lines(qvtest::ReadFile(dir_.file("spool.txt"))); }

  // The service from here on runs as an ordinary user (nobody) that owns
  // the install and its settings, as a service run by User= would.
  void RunAsServiceUser() {
    for (const auto &e : fs::recursive_directory_iterator(dir_.path()))
      ASSERT_EQ(lchown(e.path().c_str(), kServiceUser, kServiceUser), 0) << e.path();
    ASSERT_EQ(chown(dir_.path().c_str(), kServiceUser, kServiceUser), 0);
    run_as_ = AsUser(kServiceUser);
  }
  static std::string AsUser(unsigned id) {
    return "--reuid=" + std::to_string(id) + " --regid=" + std::to_string(id) + " --clear-groups";
  }
  // A shell command of another local user, to its end.
  static int AsOtherUser(const std::string &command) {
    return qvtest::Run(std::string(kSetpriv) + " " + AsUser(kOtherUser) + " /bin/sh -c \"" + command + "\"");
  }
  static constexpr const char *kSetpriv = "/usr/bin/setpriv";
  static constexpr unsigned kServiceUser = 65534;
  static constexpr unsigned kOtherUser = 65533;
  std::string run_as_;

  qvtest::ScratchDir dir_{"evtsvc"};
  std::string root_;
  std::vector<std::unique_ptr<qvtest::EnvVar>> env_;
  int sock_ = -1;
  plat::Process proc_;
  std::vector<std::string> statuses_, counters_;
  bool ready_ = false;
};

std::string Line(long t, int n) {
  return std::to_string(t) + " 0x1 Node" + std::to_string(n % 7) + ".Example.com\tx Event number " + std::to_string(n) +
         ";Critical .1.3\n";
}

TEST_F(Service, LifecycleUnderSignalsAndNotifySocket) {
  long now = static_cast<long>(std::time(nullptr));
  Append(Line(now, 1) + Line(now, 2));
  Start();
  ASSERT_TRUE(WaitFor([&] { return Spool().size() == 2; })) << Trace();
  EXPECT_EQ(qvtest::ReadFile(dir_.file("args.txt")), "-l 0 -t\n");  // first run
  EXPECT_EQ(Spool()[0], "0\t772\tnode1.example.com\t" + std::to_string(now) + "\tEvent number 1");
  ASSERT_TRUE(WaitFor([&] {
    Statuses();
    return ready_;
  }));

  Signal(SIGUSR1);  // pause: the worker is frozen, new events wait
  ASSERT_TRUE(WaitFor([&] { return Statuses().back().rfind("Paused", 0) == 0; }));
  Signal(SIGUSR1);  // a second pause does nothing
  Append(Line(now, 3));
  Sleep(1500);
  EXPECT_EQ(Spool().size(), 2u);
  Signal(SIGUSR2);
  ASSERT_TRUE(WaitFor([&] { return Spool().size() == 3; }));
  Signal(SIGHUP);   // interrogate: nothing changes
  Signal(SIGUSR2);  // continue while running: nothing either
  Sleep(300);
  std::size_t before = Statuses().size();
  EXPECT_EQ(Statuses().back().rfind("Running", 0), 0u);

  // Stop while paused: the worker is resumed, sees the stop and ends.
  Signal(SIGUSR1);
  ASSERT_TRUE(WaitFor([&] { return Statuses().back().rfind("Paused", 0) == 0; }));
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
  std::vector<std::string> st = Statuses();
  std::vector<std::string> states;
  for (const std::string &s : st) states.push_back(s.substr(0, s.find(" (")));
  std::vector<std::string> expect_start = {"Start pending", "Start pending",    "Running", "Pause pending",
                                           "Paused",        "Continue pending", "Running"};
  ASSERT_GE(states.size(), expect_start.size() + 3);
  EXPECT_EQ(std::vector<std::string>(states.begin(), states.begin() + 7), expect_start);
  EXPECT_EQ(before, 7u);
  EXPECT_EQ(st[0], "Start pending (state 2, check point 1, wait hint 5000 ms, controls 0)");
  EXPECT_EQ(states.back(), "Stopped");
  EXPECT_EQ(states[states.size() - 2], "Stop pending");
  EXPECT_EQ(st[7], "Pause pending (state 6, check point 1, wait hint 1000 ms, controls 7)");

  std::string t = Trace();
  std::size_t saved = t.find("Adapters Not Running The Time was preserved in the FILE.");
  std::size_t ended = t.find("It succeeded in the Terminate Process.");
  ASSERT_NE(saved, std::string::npos);
  ASSERT_NE(ended, std::string::npos);
  EXPECT_LT(saved, ended);  // the stop time is kept before the child is ended
  EXPECT_NE(t.find("Thread END"), std::string::npos) << t;
  long stopped = std::atol(Read("etc/StopTime.txt").c_str());
  EXPECT_GE(stopped, now);
  std::string events = qvtest::ReadFile(dir_.file("events.log"));
  EXPECT_NE(events.find("0x6000044D The event forwarding service program qvadovevt.exe has started."),
            std::string::npos);
  EXPECT_NE(events.find("0x6000044E The event forwarding service program qvadovevt.exe has ended."), std::string::npos);
}

TEST_F(Service, LookBackMinutesFromTheStateFiles) {
  long now = static_cast<long>(std::time(nullptr));
  // From EvtKeep.txt: 10 minutes and 1 second ago reads as 11 minutes.
  Write("etc/EvtKeep.txt", Line(now - 601, 1).substr(0, 40));
  Write("etc/StopTime.txt", std::to_string(now - 125));
  Start();
  ASSERT_TRUE(WaitFor([&] { return !qvtest::ReadFile(dir_.file("args.txt")).empty(); }));
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
  std::string args = qvtest::ReadFile(dir_.file("args.txt"));
  EXPECT_TRUE(args == "-l 11 -t\n" || args == "-l 12 -t\n") << args;

  // An unreadable time in EvtKeep.txt: the file goes, a warning is
  // reported, and StopTime.txt gives the minutes.
  fs::remove(dir_.file("args.txt"));
  now = static_cast<long>(std::time(nullptr));
  Write("etc/EvtKeep.txt", "12x4 not a time");
  Write("etc/StopTime.txt", std::to_string(now - 125));
  Start();
  ASSERT_TRUE(WaitFor([&] { return !qvtest::ReadFile(dir_.file("args.txt")).empty(); }));
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
  args = qvtest::ReadFile(dir_.file("args.txt"));
  EXPECT_TRUE(args == "-l 3 -t\n" || args == "-l 4 -t\n") << args;
  EXPECT_FALSE(fs::exists(root_ + "/etc/EvtKeep.txt"));
  EXPECT_NE(qvtest::ReadFile(dir_.file("events.log")).find("WARNING 0xA000089C"), std::string::npos);
}

TEST_F(Service, StopsByItselfWithoutTheNetworkManagerOrItsChild) {
  ASSERT_TRUE(qvtest::WriteFile(dir_.file("registry.reg"), "Windows Registry Editor Version 5.00\n"));
  Start();
  EXPECT_EQ(WaitExit(), 78);
  EXPECT_NE(qvtest::ReadFile(dir_.file("events.log")).find("ERROR 0xE0000C8E"), std::string::npos);
  EXPECT_NE(Trace().find("HP OpenView NetworkNodeManager Get Install Directry Miss. ErrorCode : 2"), std::string::npos);
  EXPECT_EQ(Statuses().back().substr(0, 7), "Stopped");
  // The journal gets the error as one plain line of its own.
  EXPECT_EQ(qvtest::ReadFile(dir_.file("stderr.txt")).rfind("QvAdnerl: ERROR 0xE0000C8E \n", 0), 0u);
  // The program's START and END each carry the position of their own statement.
  const qvtest::TraceEntry *start = nullptr, *end = nullptr;
  auto info = qvtest::TraceEntries(qvtest::ReadFile(dir_.file("trc/QvAdnerl02.trc")));
  for (const auto &e : info) {
    if (e.text == "START") start = &e;
    if (e.text == "END") end = &e;
  }
  ASSERT_TRUE(start != nullptr && end != nullptr) << Trace();
  EXPECT_TRUE(qvtest::SourceIs(start->file, "hp_ov/ov_evt/ovmain.cpp")) << start->file;
  EXPECT_TRUE(qvtest::SourceIs(end->file, "hp_ov/ov_evt/ovmain.cpp")) << end->file;
  EXPECT_LT(start->line, end->line);
}

// Without the tracer the service runs as ever and says so once, in the
// event log, although both of its threads open their channels.
TEST_F(Service, WithoutTheTracerSaysSoOnceAndRuns) {
  fs::remove(root_ + "/bin/libzltgate.so");
  Append(Line(static_cast<long>(std::time(nullptr)), 1));
  Start();
  ASSERT_TRUE(WaitFor([&] { return Spool().size() == 1; }));
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
  std::string events = qvtest::ReadFile(dir_.file("events.log"));
  std::size_t at =
      events.find("WARNING 0xA000089E The tracer library zltgate could not be loaded by qvadovevt.exe (result ");
  EXPECT_NE(at, std::string::npos) << events;
  EXPECT_EQ(events.find("0xA000089E", events.find("0xA000089E") + 1), std::string::npos) << events;
  EXPECT_EQ(Trace(), "");
}

// The counters in the status line after a known mix: events already
// forwarded before a restart, lines that cannot be forwarded, new events.
TEST_F(Service, StatusCountsForwardedRepeatsAndRefused) {
  long t = static_cast<long>(std::time(nullptr)) - 30;
  Write("etc/EvtKeep.txt", Line(t, 0).substr(0, Line(t, 0).size() - 1));
  Write("etc/EvtCount.txt", "2");
  Append(Line(t - 5, 9) +                                     // earlier: a repeat
         Line(t, 1) + Line(t, 2) +                            // the two of second t already handled
         Line(t, 3) +                                         // new at t
         std::to_string(t) + " no host field\n" +             // no TAB, so no host: refused
         std::to_string(t) + " 0x1 1234\tx n;Critical .\n" +  // no host name: refused
         Line(t + 1, 4));                                     // new
  Start();
  ASSERT_TRUE(WaitFor([&] { return Spool().size() == 2; })) << Trace();
  char stamp[32];
  std::time_t last = static_cast<std::time_t>(t + 1);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&last));
  const std::string expect = "Forwarding: 2 forwarded, 3 skipped as repeats, 2 refused; last forwarded event " +
                             std::string(stamp) + ", console result 0";
  EXPECT_TRUE(WaitFor([&] {
    Statuses();
    return !counters_.empty() && counters_.back() == expect;
  })) << (counters_.empty() ? "no counters" : counters_.back());
  EXPECT_EQ(counters_.front(), "Forwarding: 0 forwarded, 0 skipped as repeats, 0 refused; last forwarded event none");
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
  EXPECT_EQ(qvtest::ReadFile(dir_.file("stderr.txt")), "") << "a stop is no error";
}

// Every end after a failure has an exit status of its own (and the unit's
// Restart=on-failure acts on it); only a requested stop ends with 1.
TEST_F(Service, EndsAfterAFailureWithAFailureStatus) {
  struct Case {
    const char *name;
    std::function<void()> arrange;
    int status;
    const char *event;
  };
  const Case cases[] = {
      {"network manager not installed",
       [&] { ASSERT_TRUE(qvtest::WriteFile(dir_.file("registry.reg"), "Windows Registry Editor Version 5.00\n")); }, 78,
       "ERROR 0xE0000C8E"},
      {"pipe cannot be made", [&] { ASSERT_TRUE(qvtest::WriteFile(dir_.file("run"), "a file, not a folder")); }, 71,
       "ERROR 0xE0000C87"},
      {"ovdumpevents missing", [&] { fs::remove(root_ + "/bin/ovdumpevents"); }, 69, "ERROR 0xE0000C88"},
      {"ovdumpevents ends",
       [&] {
         fs::remove(root_ + "/bin/ovdumpevents");
         Write("bin/ovdumpevents", "#!/bin/sh\nexit 3\n");
         fs::permissions(root_ + "/bin/ovdumpevents", fs::perms::owner_all);
       },
       74, "ERROR 0xE0000C89"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange();
    fs::remove(dir_.file("events.log"));
    Start();
    EXPECT_EQ(WaitExit(), c.status);
    EXPECT_NE(Events().find(c.event), std::string::npos) << Events();
    EXPECT_NE(Events().find("0x6000044E"), std::string::npos);  // the program's end is reported still
    EXPECT_EQ(Statuses().back().substr(0, 7), "Stopped");
    EXPECT_NE(Stderr().find("stopping after a failure (exit status " + std::to_string(c.status) + ")"),
              std::string::npos)
        << Stderr();
    SetUpAgain();
  }
}

// One install, one running service, whatever runtime folder each instance
// was given: the second says it is already running and fails.
TEST_F(Service, ASecondInstanceOnTheSameInstallRefusesToRun) {
  long now = static_cast<long>(std::time(nullptr));
  Append(Line(now, 1));
  Start();
  ASSERT_TRUE(WaitFor([&] { return Spool().size() == 1; })) << Trace();
  plat::Process second;
  {
    qvtest::EnvVar other_run("QVAD_RUNDIR", dir_.file("run2"));  // as systemd would start it, elsewhere
    StartAs(&second);
  }
  bool ended = plat::WaitProcess(second.handle, 30000) == 0;
  if (!ended) kill(static_cast<pid_t>(second.pid), SIGKILL);  // it must not outlive the test
  std::uint32_t code = 0;
  plat::ProcessExitCode(second.handle, &code);
  plat::CloseProcess(second.handle);
  ASSERT_TRUE(ended);
  EXPECT_EQ(code, 75u);
  EXPECT_NE(Events().find("ERROR 0xE0000C90 The event forwarding service is already running for this install"),
            std::string::npos)
      << Events();
  EXPECT_NE(Stderr().find("already running"), std::string::npos);
  // The first goes on alone: each event once.
  Append(Line(now + 1, 2));
  ASSERT_TRUE(WaitFor([&] { return Spool().size() == 2; }));
  Sleep(500);
  EXPECT_EQ(Spool().size(), 2u);
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
  // The lock dies with its holder: the next start runs.
  Statuses();  // what the first one said
  ready_ = false;
  Start();
  ASSERT_TRUE(WaitFor([&] {
    Statuses();
    return ready_;
  }));
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
}

// A stop signal that comes while the program is still starting (here it
// is held in its first event-log write, to a FIFO nobody reads yet) waits
// for the service to run and then gives the clean stop.
TEST_F(Service, AStopDuringStartupGivesTheCleanStop) {
  std::string log = dir_.file("events.log");
  ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
  qvtest::EnvVar each("ZLTGATE_FLUSH", "each");
  Start();
  // Its START entry comes just before the start event, where it then waits.
  ASSERT_TRUE(WaitFor([&] { return Trace().find("| START") != std::string::npos; }));
  Signal(SIGTERM);
  std::string events;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    // Each event opens and closes the FIFO: read until told to stop.
    while (!done) {
      std::FILE *f = std::fopen(log.c_str(), "rb");
      if (f == nullptr) return;
      char buf[4096];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) events.append(buf, n);
      std::fclose(f);
    }
  });
  int status = WaitExit();
  done = true;
  int fd = open(log.c_str(), O_WRONLY | O_NONBLOCK);  // releases a reader waiting for a writer
  if (fd >= 0) close(fd);
  reader.join();
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(fs::exists(root_ + "/etc/StopTime.txt"));
  EXPECT_NE(events.find("0x6000044E"), std::string::npos) << events;
}

// A stored time ahead of the clock is not the last handled time: the
// look-back stays positive, events flow, and the operator is told once, in
// the event log and on standard error.
TEST_F(Service, AStoredTimeAheadOfTheClockIsNotUsed) {
  struct Case {
    const char *name;
    long keep_ahead, stop_ahead;  // seconds ahead of now; stop time 125 s ago when 0
    bool far;                     // EvtKeep.txt holds 2147483647
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"EvtKeep.txt an hour ahead", 3600, 0, false, {"-l 4 -t", "-l 5 -t"}},
      {"EvtKeep.txt at the end of time", 0, 0, true, {"-l 4 -t", "-l 5 -t"}},
      {"EvtKeep.txt 30 s ahead", 30, 0, false, {"-l 4 -t", "-l 5 -t"}},
      {"both ahead: as on a first run", 3600, 3600, false, {"-l 0 -t"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    long now = static_cast<long>(std::time(nullptr));
    long keep = c.far ? 2147483647L : now + c.keep_ahead;
    Write("etc/EvtKeep.txt", Line(keep, 1).substr(0, 40));
    Write("etc/EvtCount.txt", "1");
    Write("etc/StopTime.txt", std::to_string(c.stop_ahead != 0 ? now + c.stop_ahead : now - 125));
    fs::remove(dir_.file("args.txt"));
    fs::remove(dir_.file("events.log"));
    fs::remove(dir_.file("stderr.txt"));
    fs::remove(dir_.file("spool.txt"));
    ASSERT_TRUE(qvtest::WriteFile(dir_.file("source.txt"), ""));
    Start();
    ASSERT_TRUE(WaitFor([&] { return !qvtest::ReadFile(dir_.file("args.txt")).empty(); }));
    Append(Line(now, 2));
    ASSERT_TRUE(WaitFor([&] { return Spool().size() == 1; })) << Trace();
    Signal(SIGTERM);
    EXPECT_EQ(WaitExit(), 1);
    std::string args = qvtest::Lines(qvtest::ReadFile(dir_.file("args.txt")))[0];
    EXPECT_NE(std::find(c.args.begin(), c.args.end(), args), c.args.end()) << args;
    EXPECT_EQ(Count(Events(), "WARNING 0xA000089F"), 1) << Events();
    EXPECT_EQ(Count(Stderr(), "ahead of this computer's clock"), 1) << Stderr();
    EXPECT_NE(Read("etc/EvtKeep.txt").find("Event number 2"), std::string::npos);
  }
}

// The look-back has a margin: stopped exactly a minute after the last
// handled event, with ovdumpevents starting late, the rest of that second
// still arrives.
TEST_F(Service, ALateEventDumpStillSeesTheLastHandledSecond) {
  long t = static_cast<long>(std::time(nullptr)) - 59;
  Append(Line(t, 1) + Line(t, 2) + Line(t, 3));
  std::string first = Line(t, 1);
  Write("etc/EvtKeep.txt", first.substr(0, first.size() - 1));
  Write("etc/EvtCount.txt", "1");
  qvtest::EnvVar late("OVDUMPEVENTS_DELAY_MS", "2500");
  Start();
  ASSERT_TRUE(WaitFor([&] { return Spool().size() == 2; })) << Trace();
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
  std::vector<std::string> s = Spool();
  ASSERT_EQ(s.size(), 2u);
  EXPECT_NE(s[0].find("Event number 2"), std::string::npos);
  EXPECT_NE(s[1].find("Event number 3"), std::string::npos);
}

// A console that refuses events for a while loses none of them: the
// refused one is offered again, the others wait behind it, and all reach
// the console once, in order; also when the service is stopped during the
// outage and started again. The outage is told once as it starts and once
// as it ends.
TEST_F(Service, AConsoleOutageLosesNoEvent) {
  std::string down = dir_.file("console-down");
  env_.emplace_back(std::make_unique<qvtest::EnvVar>("QVCNSPUT_REFUSE", down));
  auto taken = [&] {
    std::vector<std::string> t;
    for (const std::string &l : Spool())
      if (l.rfind("0\t", 0) == 0) t.push_back(l.substr(l.find("Event number")));
    return t;
  };
  auto refused = [&] { return static_cast<int>(Spool().size() - taken().size()); };
  long now = static_cast<long>(std::time(nullptr)) - 10;
  ASSERT_TRUE(qvtest::WriteFile(down, ""));
  Append(Line(now, 1) + Line(now, 2) + Line(now + 1, 3));
  Start();
  ASSERT_TRUE(WaitFor([&] { return refused() >= 2; })) << Trace();  // offered again after 1 s
  EXPECT_TRUE(taken().empty());
  EXPECT_TRUE(WaitFor([&] {
    Statuses();
    return !counters_.empty() && counters_.back().rfind("Console refusing since ", 0) == 0;
  })) << (counters_.empty() ? "no status" : counters_.back());
  fs::remove(down);
  ASSERT_TRUE(WaitFor([&] { return taken().size() == 3; })) << Trace();
  EXPECT_EQ(taken(), (std::vector<std::string>{"Event number 1", "Event number 2", "Event number 3"}));
  EXPECT_EQ(Count(Events(), "WARNING 0xA000089C"), 1) << Events();
  EXPECT_EQ(Count(Events(), "INFORMATION 0x60000450"), 1) << Events();

  // Down again; stopped while it refuses event 4: nothing after event 3 is
  // recorded, so the next start asks for 4 and 5 again.
  int before = refused();
  ASSERT_TRUE(qvtest::WriteFile(down, ""));
  Append(Line(now + 1, 4) + Line(now + 2, 5));
  ASSERT_TRUE(WaitFor([&] { return refused() > before; })) << Trace();
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
  EXPECT_NE(Read("etc/EvtKeep.txt").find("Event number 3"), std::string::npos) << Read("etc/EvtKeep.txt");
  EXPECT_EQ(Events().find("ERROR"), std::string::npos) << Events();
  fs::remove(down);
  Start();
  ASSERT_TRUE(WaitFor([&] { return taken().size() == 5; })) << Trace();
  Sleep(500);
  EXPECT_EQ(taken(), (std::vector<std::string>{"Event number 1", "Event number 2", "Event number 3", "Event number 4",
                                               "Event number 5"}));
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
}

// A service manager's stop signals the whole process group, the event dump
// child with the service: that is a clean stop every time.
TEST_F(Service, TheWholeGroupStoppedIsACleanStop) {
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    fs::remove(dir_.file("args.txt"));
    fs::remove(root_ + "/etc/StopTime.txt");
    Append(Line(static_cast<long>(std::time(nullptr)), round));
    StartInOwnGroup();
    ASSERT_TRUE(WaitFor([&] { return Spool().size() == static_cast<std::size_t>(round + 1); })) << Trace();
    ASSERT_EQ(kill(-static_cast<pid_t>(proc_.pid), SIGTERM), 0);
    EXPECT_EQ(WaitExit(), 1) << Trace();
    EXPECT_TRUE(fs::exists(root_ + "/etc/StopTime.txt"));
    ASSERT_EQ(Events().find("ERROR"), std::string::npos) << Events();
  }
}

// A source that prints garbage raises at most 20 warnings a minute of one
// identifier, then one summary of the rest; the traces keep every line.
TEST_F(Service, ABadSourceCannotFloodTheEventLog) {
  std::string garbage;
  for (int i = 0; i < 200; ++i) garbage += "garbage line " + std::to_string(i) + "\n";
  Append(garbage + Line(static_cast<long>(std::time(nullptr)), 1));
  Start();
  ASSERT_TRUE(WaitFor([&] { return Spool().size() == 1; })) << Trace();
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
  EXPECT_EQ(Count(Events(), "WARNING 0xA000089D"), 20) << Events();
  EXPECT_EQ(Count(Events(), "WARNING 0xA00008A1 180 reports of event 0xA000089D were held back"), 1) << Events();
  EXPECT_EQ(Count(Trace(), "I failed in the acquisition of the event outbreak time."), 200);
  EXPECT_NE(Events().find("0x6000044E"), std::string::npos);  // milestones are never held back
}

// A service run as an ordinary user without QVAD_RUNDIR, where /run is
// closed to it, makes its pipe in a folder of its own in the temp folder.
// Another local user who takes the names first cannot hold it up through
// the old shared names, and cannot make it use a folder or link of theirs:
// that start is refused with the reason.
TEST_F(Service, AnotherLocalUserCannotTakeThePipesFolder) {
  if (geteuid() != 0) GTEST_SKIP() << "playing two other users needs root";
  if (!qvtest::Exists(kSetpriv)) GTEST_SKIP() << "setpriv (util-linux) is not installed";
  struct Case {
    const char *name;
    const char *other_does;  // in the temp folder, before the start
    int status;              // 0: the service runs
    const char *says;
  };
  const Case cases[] = {
      {"the shared names taken", "mkfifo -m 600 qvadnerl && touch qvadnerl.lock && chmod 600 qvadnerl.lock", 0, ""},
      {"a folder of theirs in its place", "mkdir -m 777 qvadnerl-65534", 71, "belongs to user 65533, not to this user"},
      {"a closed folder of theirs in its place", "mkdir -m 700 qvadnerl-65534", 71, "belongs to user 65533, not"},
      {"a link in its place", "mkdir -m 700 theirs && ln -s theirs qvadnerl-65534", 71, "is a symbolic link"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string tmp = dir_.file("tmp");
    fs::create_directories(tmp);
    RunAsServiceUser();
    fs::permissions(tmp, fs::perms::all | fs::perms::sticky_bit);
    qvtest::EnvVar no_rundir("QVAD_RUNDIR", "");
    qvtest::EnvVar tmpdir("TMPDIR", tmp);
    ASSERT_EQ(AsOtherUser("cd " + tmp + " && " + c.other_does), 0);
    Append(Line(static_cast<long>(std::time(nullptr)), 1));
    Start();
    if (c.status == 0) {
      // Forwarded: the event came through the pipe.
      ASSERT_TRUE(WaitFor([&] { return Spool().size() == 1; })) << Stderr() << Trace();
      struct stat st {};
      ASSERT_EQ(lstat((tmp + "/qvadnerl-65534/qvadnerl").c_str(), &st), 0);
      EXPECT_TRUE(S_ISFIFO(st.st_mode));
      ASSERT_EQ(lstat((tmp + "/qvadnerl-65534").c_str(), &st), 0);
      EXPECT_EQ(st.st_uid, kServiceUser);
      EXPECT_EQ(st.st_mode & 07777, 0700u);
      Signal(SIGTERM);
      EXPECT_EQ(WaitExit(), 1);
    } else {
      EXPECT_EQ(WaitExit(), c.status);
      EXPECT_NE(Events().find("ERROR 0xE0000C87"), std::string::npos) << Events();
      EXPECT_NE(Stderr().find(std::string("qvadovevt: the pipe's folder is refused: ") + tmp + "/qvadnerl-65534 "),
                std::string::npos)
          << Stderr();
      EXPECT_NE(Stderr().find(c.says), std::string::npos) << Stderr();
    }
    SetUpAgain();
  }
}

// The single-instance lock is the service user's alone: another local user
// cannot open it to hold it, so the service still starts. A lock file an
// older version left readable by all is narrowed at the next start.
TEST_F(Service, AnotherLocalUserCannotHoldTheInstanceLock) {
  if (geteuid() != 0) GTEST_SKIP() << "playing two other users needs root";
  if (!qvtest::Exists(kSetpriv)) GTEST_SKIP() << "setpriv (util-linux) is not installed";
  const std::string lock = root_ + "/etc/qvadovevt.lock";
  ASSERT_TRUE(qvtest::WriteFile(lock, ""));
  fs::permissions(lock,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  RunAsServiceUser();
  long now = static_cast<long>(std::time(nullptr));
  Append(Line(now, 1));
  Start();  // the first start narrows the older file
  ASSERT_TRUE(WaitFor([&] { return Spool().size() == 1; })) << Stderr();
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
  struct stat st {};
  ASSERT_EQ(stat(lock.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  // The other user tries to hold it for as long as the test runs.
  plat::Process holder;
  plat::ProcessOptions o;
  o.application = kSetpriv;
  std::FILE *said = std::fopen(dir_.file("holder.txt").c_str(), "w");  // what flock says
  ASSERT_NE(said, nullptr);
  o.std_err = plat::FileHandleOf(said);
  std::string line = std::string(kSetpriv) + " " + AsUser(kOtherUser) + " /usr/bin/flock -n " + lock + " sleep 60";
  bool started = plat::StartProcess(line.c_str(), o, &holder);
  std::fclose(said);
  ASSERT_TRUE(started);
  Sleep(300);
  Append(Line(now + 1, 2));
  Start();
  bool ran = WaitFor([&] { return Spool().size() == 2 || plat::WaitProcess(proc_.handle, 0) == 0; });
  kill(static_cast<pid_t>(holder.pid), SIGKILL);
  plat::WaitProcess(holder.handle, 10000);
  plat::CloseProcess(holder.handle);
  ASSERT_TRUE(ran && Spool().size() == 2) << Stderr() << Events() << qvtest::ReadFile(dir_.file("holder.txt"));
  Signal(SIGTERM);
  EXPECT_EQ(WaitExit(), 1);
}

}  // namespace
