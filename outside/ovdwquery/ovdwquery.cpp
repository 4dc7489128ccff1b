// Stand-in for the network manager's data-warehouse query tool:
//
//   ovdwquery -c -file <query file> -out <result file>
//
// reads the query text from the query file and writes the result as CSV
// lines to the result file. The answer comes from one of two places:
//
// - $OVDWQUERY_CANNED names a folder with an index.txt of lines
//   "<answer><TAB><query text>": the query text (blanks at both ends
//   ignored) is looked up and its answer is the file of that name in the
//   folder, copied to the result file, or "exit:N" to fail with N without a
//   result; when a query is listed twice the later line wins. A query that
//   is not listed fails with 1. An answer "delay:<ms>:<answer>" waits that
//   many milliseconds first: a query that takes long for one node only.
// - otherwise $OVDWQUERY_DB names an SQLite warehouse the SQL runs against
//   (native builds); a bad query fails with 1 and SQLite's message.
//
// $OVDWQUERY_DELAY_MS, when set to a positive number of milliseconds, is
// waited once per run before answering, so that benchmarks can model a
// warehouse whose query tool is slow to start.
//
// $OVDWQUERY_LIVE_DIR, when set, names a folder where each run holds a lock
// on a file of its own (<pid>.live) for as long as it lives, so a test can
// tell whether any query process it started is still running, on both
// platforms, by trying to take those locks.
//
// Messages go to standard error, so they land in the caller's output file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/mutex.h"
#include "platform/sys.h"
#include "warehouse.h"

namespace {

bool ReadAll(const std::string &path, std::string *text) {
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
  std::fclose(f);
  return true;
}

std::string Trim(const std::string &s) {
  std::size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

int Canned(const std::string &dir, const std::string &query, const std::string &out_path) {
  std::string index;
  if (!ReadAll(dir + plat::kSep + "index.txt", &index)) {
    std::fprintf(stderr, "ovdwquery: no index.txt in %s\n", dir.c_str());
    return 1;
  }
  const std::string wanted = Trim(query);
  // The last line for a query wins, so a later answer overrides an earlier one.
  std::string answer;
  bool found = false;
  std::size_t pos = 0;
  while (pos < index.size()) {
    std::size_t end = index.find('\n', pos);
    if (end == std::string::npos) end = index.size();
    std::string line = index.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t tab = line.find('\t');
    if (tab == std::string::npos || Trim(line.substr(tab + 1)) != wanted) continue;
    answer = line.substr(0, tab);
    found = true;
  }
  if (found) {
    if (answer.compare(0, 6, "delay:") == 0) {
      std::size_t colon = answer.find(':', 6);
      long ms = std::atol(answer.c_str() + 6);
      if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      answer = colon == std::string::npos ? std::string() : answer.substr(colon + 1);
    }
    if (answer.compare(0, 5, "exit:") == 0) {
      std::fprintf(stderr, "ovdwquery: canned failure %s\n", answer.c_str() + 5);
      return std::atoi(answer.c_str() + 5);
    }
    std::string data;
    if (!ReadAll(dir + plat::kSep + answer, &data)) {
      std::fprintf(stderr, "ovdwquery: canned answer %s is missing\n", answer.c_str());
      return 1;
    }
    std::FILE *out = std::fopen(out_path.c_str(), "wb");
    if (out == nullptr) {
      std::fprintf(stderr, "ovdwquery: cannot write %s\n", out_path.c_str());
      return 1;
    }
    std::fwrite(data.data(), 1, data.size(), out);
    std::fclose(out);
    return 0;
  }
  std::fprintf(stderr, "ovdwquery: no canned answer for: %s\n", wanted.c_str());
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("%s (%s) %s\n", "ovdwquery", "stand-in warehouse query", QVAD_VERSION);
    return 0;
  }
  std::string live_dir = plat::GetEnv("OVDWQUERY_LIVE_DIR");
  plat::InstanceLockHandle live = plat::kInvalidInstanceLock;
  if (!live_dir.empty()) {
    std::string mark = live_dir + plat::kSep + std::to_string(plat::ProcessId()) + ".live";
    live = plat::LockInstance(mark.c_str());
    (void)live;  // held until the process ends, however it ends
  }
  std::string file, out;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-file") == 0 && i + 1 < argc) {
      file = argv[++i];
    } else if (std::strcmp(argv[i], "-out") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (std::strcmp(argv[i], "-c") != 0) {
      std::fprintf(stderr, "ovdwquery: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  if (file.empty() || out.empty()) {
    std::fprintf(stderr, "usage: ovdwquery -c -file <query file> -out <result file>\n");
    return 2;
  }
  std::string query;
  if (!ReadAll(file, &query)) {
    std::fprintf(stderr, "ovdwquery: cannot read %s\n", file.c_str());
    return 2;
  }
  long delay_ms = std::atol(plat::GetEnv("OVDWQUERY_DELAY_MS").c_str());
  if (delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
  std::string canned = plat::GetEnv("OVDWQUERY_CANNED");
  if (!canned.empty()) return Canned(canned, query, out);
  std::string db = plat::GetEnv("OVDWQUERY_DB");
  if (db.empty()) {
    std::fprintf(stderr, "ovdwquery: set OVDWQUERY_DB or OVDWQUERY_CANNED\n");
    return 2;
  }
  std::FILE *f = std::fopen(out.c_str(), "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "ovdwquery: cannot write %s\n", out.c_str());
    return 2;
  }
  std::string message;
  bool ok = RunWarehouseQuery(db, query, f, &message);
  std::fclose(f);
  if (!ok) {
    std::remove(out.c_str());
    std::fprintf(stderr, "ovdwquery: %s\n", message.c_str());
    return 1;
  }
  return 0;
}
