// Stand-in for the operations console's message library. Every cnsput3 call
// appends one line to $QVCNSPUT_SPOOL (default: qvcnsput.spool in the temp
// folder): the result it gives, then severity,
// host, event time and message, TAB-separated. $QVCNSPUT_RESULTS is a
// comma-separated list of results, one per call, the last one repeating
// (default 0). While the file $QVCNSPUT_REFUSE names exists, every call is
// refused with -1 (kept nowhere), as by a console that is down: a test ends
// the outage by removing the file. The spool stays open between calls, and
// each line is flushed at once so that a killed caller loses nothing the
// console took.
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_mutex;
std::string g_spool_path;
std::FILE *g_spool = nullptr;
std::string g_results_text;
std::vector<int> g_results;
std::size_t g_calls = 0;

// The C runtime's own environment: this library carries nothing of the
// adapter, as the real console library does not.
std::string Env(const char *name) {
  const char *v = std::getenv(name);
  return v != nullptr ? v : "";
}

// Without $QVCNSPUT_SPOOL the spool is qvcnsput.spool in the temp folder,
// so a caller started by a service manager, which passes no settings of
// ours, still leaves its calls where they can be found.
std::string DefaultSpool() {
  std::string dir = Env("TEMP");
  if (dir.empty()) dir = Env("TMPDIR");
  if (dir.empty()) dir = "/tmp";
  char sep = dir.find('\\') != std::string::npos ? '\\' : '/';
  return dir + sep + "qvcnsput.spool";
}

void Refresh() {
  std::string spool = Env("QVCNSPUT_SPOOL");
  if (spool.empty()) spool = DefaultSpool();
  if (spool != g_spool_path) {
    if (g_spool != nullptr) std::fclose(g_spool);
    g_spool = spool.empty() ? nullptr : std::fopen(spool.c_str(), "ab");
    g_spool_path = spool;
  }
  std::string results = Env("QVCNSPUT_RESULTS");
  if (results != g_results_text) {
    g_results.clear();
    std::size_t start = 0;
    while (start <= results.size() && !results.empty()) {
      std::size_t comma = results.find(',', start);
      g_results.push_back(std::atoi(results.substr(start, comma - start).c_str()));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    g_results_text = results;
    g_calls = 0;
  }
}

}  // namespace

extern "C" int cnsput3(void *, int severity, const char *host, void *, int event_time, int, int, int, int, int, int,
                       int, const char *message) {
  std::lock_guard<std::mutex> hold(g_mutex);
  Refresh();
  int result = 0;
  std::string refuse = Env("QVCNSPUT_REFUSE");
  std::FILE *down = refuse.empty() ? nullptr : std::fopen(refuse.c_str(), "rb");
  if (down != nullptr) {
    std::fclose(down);
    result = -1;
  } else {
    if (!g_results.empty()) result = g_results[g_calls < g_results.size() ? g_calls : g_results.size() - 1];
    ++g_calls;
  }
  if (g_spool != nullptr) {
    std::fprintf(g_spool, "%d\t%d\t%s\t%d\t%s\n", result, severity, host != nullptr ? host : "(null)", event_time,
                 message != nullptr ? message : "(null)");
    std::fflush(g_spool);
  }
  return result;
}
