// Stand-in for the network manager's event dump command. It prints the
// event lines of $OVDUMPEVENTS_SOURCE whose time (first field) lies within
// the last -l minutes (-l 0: every line), then with -t follows the file for
// appended lines until it is ended. With -g N it generates N synthetic event
// lines as fast as its standard output takes them (for benchmarks), and with
// -t then stays until ended, as the real command does.
// $OVDUMPEVENTS_ARGS, when set, names a file that receives the command line.
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

bool Emit(const std::string &line) {
  if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size()) return false;
  return std::fflush(stdout) == 0;
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
    int n = std::snprintf(buf, sizeof buf, "%lld 0x%08lx\tnode%ld.example.com - Generated event number %ld;%s .1.3.6.1\n",
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
  plat::SetStreamBinary(stdout);
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
  std::string args_file = plat::GetEnv("OVDUMPEVENTS_ARGS");
  if (!args_file.empty()) {
    if (std::FILE *f = std::fopen(args_file.c_str(), "a")) {
      for (int i = 1; i < argc; ++i) std::fprintf(f, i > 1 ? " %s" : "%s", argv[i]);
      std::fputc('\n', f);
      std::fclose(f);
    }
  }
  if (generate >= 0) return Generate(generate, follow);
  if (minutes < 0) {
    std::fprintf(stderr, "usage: ovdumpevents -l minutes [-t] | -g count [-t]\n");
    return 2;
  }
  std::string source = plat::GetEnv("OVDUMPEVENTS_SOURCE");
  long long since = minutes == 0 ? 0 : static_cast<long long>(std::time(nullptr)) - minutes * 60;
  std::FILE *in = source.empty() ? nullptr : std::fopen(source.c_str(), "rb");
  // A line is printed once it is complete; a partial last line waits for its end.
  std::string pending;
  for (;;) {
    bool any = false;
    if (in != nullptr) {
      char buf[8192];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) {
        pending.append(buf, n);
        any = true;
      }
      std::clearerr(in);
      std::size_t start = 0, lf;
      while ((lf = pending.find('\n', start)) != std::string::npos) {
        std::string line = pending.substr(start, lf + 1 - start);
        start = lf + 1;
        if (std::atoll(line.c_str()) >= since && !Emit(line)) return 1;
      }
      pending.erase(0, start);
    } else if (!source.empty()) {
      in = std::fopen(source.c_str(), "rb");  // the file may appear later
    }
    if (!follow) break;
    if (!any) {
      if (ReaderGone()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  if (in != nullptr) std::fclose(in);
  return 0;
}
