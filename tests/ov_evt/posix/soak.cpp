// Crash soak of the event service: numbered events flow through the real
// service (install tree, pipe, event dump stand-in, console stand-in)
// while it is killed with SIGKILL at random moments, some of them right
// after a restart, during the replay of what it forwarded before, with CPU
// and disk load beside it. It then checks:
//   - no event is lost: every number reaches the console;
//   - no state file is ever seen missing (once it existed), empty or cut:
//     a watcher reads both files all the time;
//   - progress on disk never moves back from one kill to the next;
//   - each kill leaves at most one forwarded event that the state on disk
//     does not cover (so at most one comes again), except a kill between
//     the two state writes at a change of second: the count already belongs
//     to the new second while the line is still the old second's, so the
//     rest of the old second comes again (at most the events of that second);
//   - every repeat is one of those: no event comes again more often than
//     kills left it uncovered.
// Short run (CTest): evt_soak. Long run by hand, for example
//   evt_soak --events 20000 --rate 100 --kill-ms 150,900 --cpu 2 --io 2 --limit-s 600
// Prints the figures; exit status 0 when every check holds.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/sys.h"
#include "testutil.h"

namespace fs = std::filesystem;

namespace {

struct Options {
  int events = 1500;
  int rate = 250;  // events per second
  int kill_min_ms = 300, kill_max_ms = 1200;
  int replay_share = 25;  // percent of kills aimed at the replay after a restart
  int cpu = 1, io = 1;    // load threads
  int limit_s = 240;
  unsigned seed = 12345;
};

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool ParseArgs(int argc, char **argv, Options *o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) return false;
    std::string v = argv[++i];
    if (a == "--events") {
      o->events = std::atoi(v.c_str());
    } else if (a == "--rate") {
      o->rate = std::max(1, std::atoi(v.c_str()));
    } else if (a == "--kill-ms") {
      if (std::sscanf(v.c_str(), "%d,%d", &o->kill_min_ms, &o->kill_max_ms) != 2) return false;
    } else if (a == "--replay-share") {
      o->replay_share = std::atoi(v.c_str());
    } else if (a == "--cpu") {
      o->cpu = std::atoi(v.c_str());
    } else if (a == "--io") {
      o->io = std::atoi(v.c_str());
    } else if (a == "--limit-s") {
      o->limit_s = std::atoi(v.c_str());
    } else if (a == "--seed") {
      o->seed = static_cast<unsigned>(std::strtoul(v.c_str(), nullptr, 10));
    } else {
      return false;
    }
  }
  return o->events > 0 && o->kill_min_ms > 0 && o->kill_max_ms >= o->kill_min_ms;
}

std::string Line(long t, int n) {
  return std::to_string(t) + " 0x1 Node" + std::to_string(n % 7) + ".Example.com\tx Event number " + std::to_string(n) +
         ";Critical .1.3\n";
}

// A whole file as one read sees it: -1 missing, else its bytes.
int ReadWhole(const std::string &path, std::string *out) {
  out->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char buf[8192];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) out->append(buf, static_cast<std::size_t>(n));
  close(fd);
  return 0;
}

struct Delivered {
  int number;
  long time;
};

// The console's spool: one line per cnsput3 call, the event number at its end.
std::vector<Delivered> ReadSpool(const std::string &path) {
  std::vector<Delivered> out;
  for (const std::string &l : qvtest::Lines(qvtest::ReadFile(path))) {
    std::size_t at = l.find("Event number ");
    if (at == std::string::npos) continue;
    std::size_t t3 = std::string::npos, tabs = 0;
    for (std::size_t i = 0; i < l.size() && tabs < 3; ++i) {
      if (l[i] == '\t' && ++tabs == 3) t3 = i;
    }
    long t = t3 == std::string::npos ? 0 : std::atol(l.c_str() + t3 + 1);
    out.push_back({std::atoi(l.c_str() + at + 13), t});
  }
  return out;
}

class Soak {
 public:
  explicit Soak(const Options &o) : o_(o), rng_(o.seed) {}

  int Run() {
    if (!Install()) return 2;
    times_.assign(static_cast<std::size_t>(o_.events), 0);
    std::vector<std::thread> load;
    for (int i = 0; i < o_.cpu; ++i) load.emplace_back([this] { CpuHog(); });
    for (int i = 0; i < o_.io; ++i) load.emplace_back([this, i] { DiskHog(i); });
    std::thread watcher([this] { Watch(); });
    std::thread writer([this] { WriteEvents(); });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(o_.limit_s);

    Start();
    while (writing_ && std::chrono::steady_clock::now() < deadline) {
      bool replay = static_cast<int>(rng_() % 100) < o_.replay_share;
      if (replay) {
        // Right after the restart: once the event dump runs, within a few
        // milliseconds, while the service replays and skips.
        for (int i = 0; i < 2000 && ArgsLines() <= args_at_start_; ++i) Sleep(1);
        Sleep(static_cast<int>(rng_() % 30));
      } else {
        Sleep(o_.kill_min_ms + static_cast<int>(rng_() % static_cast<unsigned>(o_.kill_max_ms - o_.kill_min_ms + 1)));
      }
      if (!writing_) break;
      Kill();
      Start();
    }
    writer.join();
    // Let the last run forward what is left, then stop it as a manager does.
    int seen = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      std::set<int> numbers;
      for (const Delivered &d : ReadSpool(spool_)) numbers.insert(d.number);
      seen = static_cast<int>(numbers.size());
      if (seen >= o_.events) break;
      Sleep(200);
    }
    kill(static_cast<pid_t>(proc_.pid), SIGTERM);
    int status = WaitEnd(30000);
    loading_ = false;
    watching_ = false;
    for (std::thread &t : load) t.join();
    watcher.join();
    return Check(status);
  }

 private:
  bool Install() {
    root_ = dir_.file("root");
    fs::create_directories(root_ + "/bin");
    fs::create_directories(root_ + "/etc");
    std::string bin = qvtest::BinPath("qvadovevt");
    bin = bin.substr(0, bin.rfind('/'));
    std::error_code ec;
    for (const char *f : {"qvadovevt", "libqvcnsput.so", "ovdumpevents", "RazMessage.cat"}) {
      fs::copy_file(bin + "/" + f, root_ + "/bin/" + f, ec);
      if (ec) {
        std::fprintf(stderr, "cannot copy %s: %s\n", f, ec.message().c_str());
        return false;
      }
    }
    qvtest::WriteFile(root_ + "/etc/RazEvt.ini", "[Severity]\nCritical=4\n");
    std::string reg =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Hewlett-Packard\\HP OpenView]\n\"InstallDir\"=\"" +
        root_ + "/\"\n";
    qvtest::WriteFile(dir_.file("registry.reg"), reg);
    spool_ = dir_.file("spool.txt");
    source_ = dir_.file("source.txt");
    qvtest::WriteFile(source_, "");
    // Tracing stays off (its folder is a file): hundreds of replays would
    // write gigabytes of it.
    qvtest::WriteFile(dir_.file("notrace"), "");
    for (auto [k, v] : std::map<std::string, std::string>{{"QVAD_REGISTRY", dir_.file("registry.reg")},
                                                          {"QVAD_RUNDIR", dir_.file("run")},
                                                          {"ZLTGATE_DIR", dir_.file("notrace")},
                                                          {"QVAD_EVENTLOG_FILE", dir_.file("events.log")},
                                                          {"QVCNSPUT_SPOOL", spool_},
                                                          {"OVDUMPEVENTS_SOURCE", source_},
                                                          {"OVDUMPEVENTS_ARGS", dir_.file("args.txt")}})
      env_.emplace_back(std::make_unique<qvtest::EnvVar>(k.c_str(), v));
    return true;
  }

  void Start() {
    args_at_start_ = ArgsLines();
    spool_at_start_ = ReadSpool(spool_).size();
    state_at_start_ = StateText();
    plat::ProcessOptions opt;
    std::string app = root_ + "/bin/qvadovevt";
    opt.application = app.c_str();
    std::FILE *err = std::fopen(dir_.file("stderr.txt").c_str(), "ab");
    if (err != nullptr) opt.std_err = plat::FileHandleOf(err);
    if (!plat::StartProcess(("\"" + app + "\"").c_str(), opt, &proc_)) std::fprintf(stderr, "cannot start\n");
    if (err != nullptr) std::fclose(err);
  }

  int WaitEnd(std::uint32_t ms) {
    if (plat::WaitProcess(proc_.handle, ms) != 0) return -1;
    std::uint32_t code = 0;
    plat::ProcessExitCode(proc_.handle, &code);
    plat::CloseProcess(proc_.handle);
    proc_.handle = plat::kInvalidProcess;
    return static_cast<int>(code);
  }

  std::string StateText() {
    std::string keep, count;
    ReadWhole(root_ + "/etc/EvtKeep.txt", &keep);
    ReadWhole(root_ + "/etc/EvtCount.txt", &count);
    return keep + "|" + count;
  }

  std::size_t ArgsLines() { return qvtest::Lines(qvtest::ReadFile(dir_.file("args.txt"))).size(); }

  // Kills the service and looks at what it left behind, while nothing
  // writes the state files.
  void Kill() {
    kill(static_cast<pid_t>(proc_.pid), SIGKILL);
    WaitEnd(10000);
    ++kills_;
    std::vector<Delivered> spool = ReadSpool(spool_);
    // During the replay: the event dump had started, and the service had
    // recorded nothing yet (it was still skipping what it forwarded before).
    if (ArgsLines() > args_at_start_ && StateText() == state_at_start_) ++replay_kills_;

    // The state as the next start reads it: the line's time and the count,
    // or the stop time with no count.
    std::string keep, count, stop;
    long ref = 0;
    long n = 0;
    bool have_keep = ReadWhole(root_ + "/etc/EvtKeep.txt", &keep) == 0 && !keep.empty();
    if (have_keep) {
      ref = std::atol(keep.c_str());
      if (ReadWhole(root_ + "/etc/EvtCount.txt", &count) == 0) n = std::atol(count.c_str());
    } else if (ReadWhole(root_ + "/etc/StopTime.txt", &stop) == 0) {
      ref = std::atol(stop.c_str());
    }
    // Forwarded events the state does not cover: the next start sends them
    // again. Those an earlier kill left uncovered and that the run since has
    // not sent again yet are that kill's; the rest are this kill's own.
    std::set<int> delivered, sent_in_run;
    for (const Delivered &d : spool) delivered.insert(d.number);
    for (std::size_t i = spool_at_start_; i < spool.size(); ++i) sent_in_run.insert(spool[i].number);
    std::map<long, int> rank;  // events of each second so far, in source order
    std::set<int> uncovered;
    int fresh = 0;
    bool later_second = false;
    int old_second_events = 0;
    for (int e = 0; e < written_; ++e) {
      long t = times_[static_cast<std::size_t>(e)];
      int r = rank[t]++;
      if (t == ref) ++old_second_events;
      bool covered = t < ref || (t == ref && r < n);
      if (covered || delivered.count(e) == 0) continue;
      uncovered.insert(e);
      if (uncovered_before_.count(e) != 0 && sent_in_run.count(e) == 0) continue;  // carried over
      ++fresh;
      ++uncovered_by_[e];
      if (t > ref) later_second = true;
    }
    uncovered_before_ = uncovered;
    bool between_writes = have_keep && n == 1 && later_second && fresh > 1;
    if (between_writes) {
      ++between_kills_;
      max_between_ = std::max(max_between_, fresh);
      // The old second comes again after its first event, and the new event.
      if (fresh > old_second_events) ++over_budget_;
    } else {
      max_per_kill_ = std::max(max_per_kill_, fresh);
      if (fresh > 1) ++over_budget_;
      // Progress on disk never moves back, except in that window, where the
      // count already belongs to the next second.
      if (std::make_pair(ref, n) < last_state_) ++backwards_;
    }
    last_state_ = std::make_pair(ref, n);
  }

  void WriteEvents() {
    const int block = std::max(1, o_.rate / 25);
    const int pause = std::max(1, 1000 * block / o_.rate);
    for (int n = 0; n < o_.events; n += block) {
      std::string text;
      long now = static_cast<long>(std::time(nullptr));
      int end = std::min(o_.events, n + block);
      for (int i = n; i < end; ++i) {
        text += Line(now, i);
        times_[static_cast<std::size_t>(i)] = now;
      }
      std::FILE *f = std::fopen(source_.c_str(), "ab");
      if (f != nullptr) {
        std::fputs(text.c_str(), f);
        std::fclose(f);
      }
      written_ = end;
      Sleep(pause);
    }
    writing_ = false;
  }

  // Both state files, read all the time as a restarted service or an
  // operator would: once a file exists it must never be missing again, and
  // it must always hold a whole line.
  void Watch() {
    std::regex keep_re(R"(^\d+ 0x1 Node\d\.Example\.com\tx Event number \d+;Critical \.1\.3$)");
    std::regex count_re(R"(^\d+$)");
    bool keep_seen = false, count_seen = false;
    std::string text;
    while (watching_) {
      for (int which = 0; which < 2; ++which) {
        const char *name = which == 0 ? "/etc/EvtKeep.txt" : "/etc/EvtCount.txt";
        bool &seen = which == 0 ? keep_seen : count_seen;
        ++reads_;
        if (ReadWhole(root_ + name, &text) != 0) {
          if (seen) Fault(std::string(name) + " missing");
          continue;
        }
        seen = true;
        if (text.empty()) {
          Fault(std::string(name) + " empty");
        } else if (!std::regex_match(text, which == 0 ? keep_re : count_re)) {
          Fault(std::string(name) + " cut: [" + text + "]");
        }
      }
      Sleep(1);
    }
  }

  void Fault(const std::string &what) {
    if (watch_faults_++ == 0) first_fault_ = what;
  }

  void CpuHog() {
    volatile unsigned long x = 0;
    while (loading_) {
      for (int i = 0; i < 1000000; ++i) x = x + static_cast<unsigned long>(i);
    }
  }

  // Writes and syncs a megabyte at a time, so the service's own syncs wait
  // behind other traffic.
  void DiskHog(int i) {
    std::string path = dir_.file("load" + std::to_string(i));
    std::vector<char> chunk(1 << 20, 'x');
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    int written = 0;
    while (loading_) {
      if (write(fd, chunk.data(), chunk.size()) < 0) break;
      fdatasync(fd);
      if (++written == 64) {
        written = 0;
        if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) break;
      }
    }
    close(fd);
    unlink(path.c_str());
  }

  int Check(int status) {
    std::map<int, int> times;
    for (const Delivered &d : ReadSpool(spool_)) ++times[d.number];
    int lost = 0, duplicates = 0, max_times = 0, unexplained = 0;
    for (int e = 0; e < o_.events; ++e) {
      auto it = times.find(e);
      int c = it == times.end() ? 0 : it->second;
      if (c == 0) ++lost;
      duplicates += std::max(0, c - 1);
      max_times = std::max(max_times, c);
      auto u = uncovered_by_.find(e);
      if (c - 1 > (u == uncovered_by_.end() ? 0 : u->second)) ++unexplained;
    }
    std::printf(
        "events %d, kills %d (%d during the replay), lost %d, duplicates %d, most deliveries of one event %d, "
        "most left uncovered by one kill %d; kills between the two writes at a change of second %d (most uncovered "
        "%d); "
        "state reads %ld, faults %d%s%s; load: %d CPU, %d disk threads; final stop status %d\n",
        o_.events, kills_, replay_kills_, lost, duplicates, max_times, max_per_kill_, between_kills_, max_between_,
        reads_.load(), watch_faults_.load(), watch_faults_ != 0 ? ", first: " : "", first_fault_.c_str(), o_.cpu, o_.io,
        status);
    bool ok = true;
    auto require = [&](bool cond, const char *what) {
      if (!cond) {
        std::printf("FAILED: %s\n", what);
        ok = false;
      }
    };
    require(lost == 0, "no event lost");
    require(watch_faults_ == 0, "no state file missing, empty or cut");
    require(backwards_ == 0, "progress on disk never moves back");
    require(over_budget_ == 0, "at most one uncovered event per kill (or the old second, between the writes)");
    require(unexplained == 0, "every repeat left uncovered by a kill");
    require(status == 1, "a requested stop ends with status 1");
    require(kills_ >= 3, "the service was killed several times");
    return ok ? 0 : 1;
  }

  Options o_;
  std::mt19937 rng_;
  qvtest::ScratchDir dir_{"evtsoak"};
  std::vector<std::unique_ptr<qvtest::EnvVar>> env_;
  std::string root_, spool_, source_;
  plat::Process proc_;
  std::atomic<bool> writing_{true}, watching_{true}, loading_{true};
  std::atomic<int> written_{0};
  std::vector<long> times_;
  std::size_t args_at_start_ = 0, spool_at_start_ = 0;
  std::string state_at_start_;
  int kills_ = 0, replay_kills_ = 0, between_kills_ = 0, max_between_ = 0, max_per_kill_ = 0, over_budget_ = 0;
  int backwards_ = 0;
  std::pair<long, long> last_state_{0, 0};
  std::map<int, int> uncovered_by_;  // how often a kill left each event uncovered
  std::set<int> uncovered_before_;   // what the last kill left uncovered
  std::atomic<long> reads_{0};
  std::atomic<int> watch_faults_{0};
  std::string first_fault_;
};

}  // namespace

int main(int argc, char **argv) {
  Options o;
  if (!ParseArgs(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: evt_soak [--events N] [--rate per-second] [--kill-ms min,max] [--replay-share percent] "
                 "[--cpu threads] [--io threads] [--limit-s seconds] [--seed N]\n");
    return 2;
  }
  return Soak(o).Run();
}
