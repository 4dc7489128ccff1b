// Stand-in for the network manager's event dump command. It prints the
// event lines of $OVDUMPEVENTS_SOURCE whose time (first field) lies within
// the last -l minutes (-l 0: every line), then with -t follows the file for
// appended lines until it is ended. With -g N it generates N synthetic event
// lines as fast as its standard output takes them (for benchmarks), and with
// -t then stays until ended, as the real command does.
// $OVDUMPEVENTS_ARGS names a file that receives the command line (default:
// ovdumpevents.args in the temp folder, beside the default source
// ovdumpevents.txt);
// $OVDUMPEVENTS_CHUNK slows the output down (below); $OVDUMPEVENTS_DELAY_MS
// makes the command start that much later, as a loaded computer does.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "platform/pipe.h"
#include "platform/process.h"
#include "platform/sys.h"

namespace {

// $OVDUMPEVENTS_CHUNK=N writes in pieces of N bytes with a pause after
// each, so a reader sees lines split across its reads.
std::size_t g_chunk = 0;

bool Emit(const std::string &line) {
  if (g_chunk == 0) {
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size()) return false;
    return std::fflush(stdout) == 0;
  }
  for (std::size_t at = 0; at < line.size(); at += g_chunk) {
    std::size_t n = std::min(g_chunk, line.size() - at);
    if (std::fwrite(line.data() + at, 1, n, stdout) != n || std::fflush(stdout) != 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  return true;
}

// The reader of our output is gone (the service was killed): nothing more to do.
bool ReaderGone() { return plat::PipeReaderGone(plat::FileHandleOf(stdout)); }

void StayUntilEnded() {
  while (!ReaderGone()) std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

int Generate(long count, bool follow) {
  long long start = static_cast<long long>(std::time(nullptr)) - count / 100 - 1;
  std::string line;
  for (long i = 0; i < count; ++i) {
    char buf[256];
    // A hundred events share each second, so the duplicate count is exercised too.
    int n = std::snprintf(buf, sizeof buf, "%lld 0x%08lx node%ld.example.com\t- Generated event number %ld;%s .1.3.6.1\n",
                          start + i / 100, i, i % 50, i, (i % 3) == 0 ? "Critical" : "Normal");
    line.append(buf, static_cast<std::size_t>(n));
    if (line.size() > 60000) {
      if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size()) return 1;
      line.clear();
    }
  }
  if (!Emit(line)) return 1;
  if (follow) StayUntilEnded();
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("%s (%s) %s\n", "ovdumpevents", "stand-in event dump", QVAD_VERSION);
    return 0;
  }
  long delay = std::strtol(plat::GetEnv("OVDUMPEVENTS_DELAY_MS").c_str(), nullptr, 10);
  if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  plat::SetStreamBinary(stdout);
  g_chunk = static_cast<std::size_t>(std::strtoul(plat::GetEnv("OVDUMPEVENTS_CHUNK").c_str(), nullptr, 10));
  long minutes = -1, generate = -1;
  bool follow = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-l") == 0 && i + 1 < argc) {
      minutes = std::strtol(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "-t") == 0) {
      follow = true;
    } else if (std::strcmp(argv[i], "-g") == 0 && i + 1 < argc) {
      generate = std::strtol(argv[++i], nullptr, 10);
    } else {
      std::fprintf(stderr, "usage: ovdumpevents -l minutes [-t] | -g count [-t]\n");
      return 2;
    }
  }
  // Started by a service manager, the command gets no settings of ours:
  // the source and the record of its arguments are then in the temp folder.
  std::string args_file = plat::GetEnv("OVDUMPEVENTS_ARGS");
  if (args_file.empty()) args_file = plat::TempDir() + plat::kSep + "ovdumpevents.args";
  if (!args_file.empty()) {
    if (std::FILE *f = std::fopen(args_file.c_str(), "a")) {
      for (int i = 1; i < argc; ++i) std::fprintf(f, i > 1 ? " %s" : "%s", argv[i]);
      std::fputc('\n', f);
      std::fclose(f);
    }
  }
  // $OVDUMPEVENTS_GENERATE=N turns the command as the service starts it
  // into the generator, for benchmarks of the whole service.
  std::string gen_env = plat::GetEnv("OVDUMPEVENTS_GENERATE");
  if (generate < 0 && !gen_env.empty()) generate = std::strtol(gen_env.c_str(), nullptr, 10);
  if (generate >= 0) return Generate(generate, follow);
  if (minutes < 0) {
    std::fprintf(stderr, "usage: ovdumpevents -l minutes [-t] | -g count [-t]\n");
    return 2;
  }
  std::string source = plat::GetEnv("OVDUMPEVENTS_SOURCE");
  if (source.empty()) source = plat::TempDir() + plat::kSep + "ovdumpevents.txt";
  long long since = minutes == 0 ? 0 : static_cast<long long>(std::time(nullptr)) - minutes * 60;
  // The file is opened anew for each look, from where the last look ended,
  // so appended lines are seen on every platform whatever its C runtime
  // makes of a stream that has hit its end once.
  long long offset = 0;
  std::string pending;  // a partial last line waits for its end
  for (;;) {
    bool any = false;
    if (std::FILE *in = source.empty() ? nullptr : std::fopen(source.c_str(), "rb")) {
      if (std::fseek(in, static_cast<long>(offset), SEEK_SET) == 0) {
        char buf[8192];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) {
          pending.append(buf, n);
          offset += static_cast<long long>(n);
          any = true;
        }
      }
      std::fclose(in);
    }
    std::size_t start = 0, lf;
    while ((lf = pending.find('\n', start)) != std::string::npos) {
      std::string line = pending.substr(start, lf + 1 - start);
      start = lf + 1;
      if (std::atoll(line.c_str()) >= since && !Emit(line)) return 1;
    }
    pending.erase(0, start);
    if (!follow) break;
    if (!any) {
      if (ReaderGone()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  return 0;
}
