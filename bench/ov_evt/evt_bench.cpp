// Throughput of the event service on its real path: the event-dump
// stand-in generating N lines -> pipe -> event loop -> severity lookup ->
// console stand-in -> state files, with file tracing on, measured on the
// service program itself started in an install tree inside the given
// directory. Beside it, two baselines measured in the same run and the same
// directory: the same bytes through the pipe into a reader that does
// nothing, and the floor of the state writes alone (the two crash-safe
// replacements per event). Resident memory of the service is sampled as it
// runs (where /proc exists).
//
//   evt_bench <directory> [events] [notrace]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "cmn/qvadpipe/qvadpipe.h"
#include "cmn/qvadproc/qvadproc.h"
#include "platform/library.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/sys.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

bool g_trace = true;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

long RssKb(std::uint32_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

std::string Slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long EventNumber(const std::string &keep) {
  std::size_t at = keep.find("event number ");
  return at == std::string::npos ? -1 : std::atol(keep.c_str() + at + 13);
}

// The service on the real path; returns events per second.
double RealPath(const std::string &work, const std::string &bin, long events) {
  std::string root = work + plat::kSep + "root";
  fs::create_directories(root + plat::kSep + "bin");
  fs::create_directories(root + plat::kSep + "etc");
  fs::create_directories(work + plat::kSep + "trc");
  std::string libs[] = {
      "qvadovevt" + std::string(plat::kExeSuffix), "ovdumpevents" + std::string(plat::kExeSuffix),
      plat::LibraryFileName("qvcnsput") == "qvcnsput.dll" ? "QVCNSPUT.dll" : plat::LibraryFileName("qvcnsput"),
      plat::LibraryFileName("zltgate")};
  for (const std::string &f : libs)
    fs::copy_file(bin + plat::kSep + f, root + plat::kSep + "bin" + plat::kSep + f,
                  fs::copy_options::overwrite_existing);
  std::ofstream(root + plat::kEtcPiece + "RazEvt.ini") << "[Severity]\nCritical=4\nNormal=1\n";
  std::string nnm = root + plat::kSep;
  plat::RegistrySet(plat::RegRoot::LocalMachine, "SOFTWARE\\Hewlett-Packard\\HP OpenView", "InstallDir", plat::kRegSz,
                    nnm.c_str(), static_cast<std::uint32_t>(nnm.size() + 1));
  // "notrace" points the tracer at a folder that does not exist: tracing off.
  plat::SetEnv("ZLTGATE_DIR", (work + plat::kSep + (g_trace ? "trc" : "no-such-folder")).c_str());
  plat::SetEnv("QVCNSPUT_SPOOL", (work + plat::kSep + "spool.txt").c_str());
  plat::SetEnv("OVDUMPEVENTS_GENERATE", std::to_string(events).c_str());
  plat::SetEnv("OVDUMPEVENTS_ARGS", (work + plat::kSep + "args.txt").c_str());

  std::string app = root + plat::kSep + "bin" + plat::kSep + "qvadovevt" + plat::kExeSuffix;
  plat::ProcessOptions o;
  o.application = app.c_str();
  plat::Process p;
  auto t0 = Clock::now();
  if (!plat::StartProcess(("\"" + app + "\"").c_str(), o, &p)) {
    std::fprintf(stderr, "cannot start %s\n", app.c_str());
    return 0;
  }
  std::string keep = root + plat::kEtcPiece + "EvtKeep.txt";
  long rss_early = -1, rss_max = -1, last = -1;
  while (last < events - 1 && plat::WaitProcess(p.handle, 20) == 1) {
    last = EventNumber(Slurp(keep));
    long rss = RssKb(p.pid);
    if (rss_early < 0 && last >= events / 10) rss_early = rss;
    if (rss > rss_max) rss_max = rss;
  }
  double secs = Seconds(t0);
  plat::TerminateProcess(p.handle, 0);
  plat::CloseProcess(p.handle);
  plat::SetEnv("OVDUMPEVENTS_GENERATE", nullptr);
  if (last < events - 1) {
    std::fprintf(stderr, "the service ended early at event %ld\n", last);
    return 0;
  }
  std::printf("  service, real path:        %9.0f events/s  (%ld events in %.2f s)\n", events / secs, events, secs);
  if (rss_max > 0) std::printf("  service resident memory:   %ld kB after 10%%, %ld kB at most\n", rss_early, rss_max);
  return events / secs;
}

// The same bytes through the pipe into a reader that does nothing.
double PipeOnly(const std::string &bin, long events) {
  QVAD_PIPE pipe;
  QVAD_ERROR_TBL err{};
  if (!Qvad_CreatePipe(&pipe, 1, 4097, &err)) return 0;
  std::string app = bin + plat::kSep + "ovdumpevents" + plat::kExeSuffix;
  std::string cmd = "ovdumpevents -g " + std::to_string(events);
  QVAD_STARTUPINFO si{true,   plat::kInvalidFile, plat::PipeStream(pipe.write_handle), plat::kInvalidFile, false,
                      nullptr};
  QVAD_PROCESS_INFORMATION info{};
  auto t0 = Clock::now();
  if (!Qvad_CreateProcess(app.c_str(), cmd.c_str(), nullptr, nullptr, 1, 0, nullptr, nullptr, &si, &info, &err)) {
    Qvad_ClosePipe(&pipe);
    return 0;
  }
  long lines = 0;
  while (lines < events) {
    int w = Qvad_WaitForPipe(&pipe, 3000, &err);
    if (w == -1) break;
    if (w == 1) continue;
    if (!Qvad_ReadPipe(&pipe, &err)) break;
    for (std::uint32_t i = 0; i < pipe.transferred; ++i) lines += pipe.buffer[i] == '\n';
  }
  double secs = Seconds(t0);
  plat::WaitProcess(info.process, 10000);
  plat::CloseProcess(info.process);
  Qvad_ClosePipe(&pipe);
  std::printf("  baseline, pipe only:       %9.0f events/s\n", lines / secs);
  return lines / secs;
}

// The floor: the two crash-safe replacements per event, nothing else.
double StateWrites(const std::string &work, long events) {
  std::string count = work + plat::kSep + "EvtCount.txt", keep = work + plat::kSep + "EvtKeep.txt";
  const char *line = "1700000000 0x00000001 node1.example.com\t- Generated event number 1;Critical .1.3.6.1";
  auto t0 = Clock::now();
  long n = 0;
  // Enough events for a steady figure without spending minutes on a disk.
  for (; n < events && (n < 2000 || Seconds(t0) < 10); ++n) {
    char text[16];
    std::snprintf(text, sizeof text, "%ld", n % 100);
    plat::ReplaceFileAtomically(count.c_str(), text, std::strlen(text), true);
    plat::ReplaceFileAtomically(keep.c_str(), line, std::strlen(line), true);
  }
  double secs = Seconds(t0);
  std::printf("  baseline, state writes:    %9.0f events/s  (%ld events)\n", n / secs, n);
  return n / secs;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: evt_bench <directory> [events]\n");
    return 2;
  }
  long events = argc > 2 ? std::atol(argv[2]) : 200000;
  g_trace = !(argc > 3 && std::strcmp(argv[3], "notrace") == 0);
  std::string work = std::string(argv[1]) + plat::kSep + "evtbench-" + std::to_string(plat::ProcessId());
  fs::create_directories(work);
  std::string self = plat::ModulePath();
  std::string bin = self.substr(0, self.find_last_of(plat::kSep[0]));
  plat::SetEnv("QVAD_RUNDIR", (work + plat::kSep + "run").c_str());
  plat::SetEnv("QVAD_REGISTRY", (work + plat::kSep + "registry.reg").c_str());
  plat::SetEnv("QVAD_EVENTLOG_FILE", (work + plat::kSep + "events.log").c_str());
  std::printf("event service, %ld events, state in %s, file tracing %s\n", events, work.c_str(),
              g_trace ? "on" : "off");
  double real = RealPath(work, bin, events);
  PipeOnly(bin, events);
  double floor = StateWrites(work, events);
  if (real > 0 && floor > 0) std::printf("  real path / state-write floor: %.0f %%\n", 100.0 * real / floor);
  std::error_code ec;
  fs::remove_all(work, ec);
  return real > 0 ? 0 : 1;
}
