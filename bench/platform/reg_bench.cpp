// Reading the POSIX registry file as it grows: one value query (a whole read
// and parse of the file, as every service start and inventory Init does)
// for 1,000, 5,000 and 20,000 keys, beside a plain sequential read of the
// same file as the baseline measured in the same run.
//   reg_bench [folder]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/registry.h"
#include "platform/sys.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The best of a few runs, so a busy machine disturbs the figures less.
template <typename F>
double Best(F f) {
  double best = 1e30;
  for (int i = 0; i < 3; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    double s = Seconds(t0);
    if (s < best) best = s;
  }
  return best;
}

}  // namespace

int main(int argc, char **argv) {
  std::string dir = argc > 1 ? argv[1] : plat::TempDir();
  std::string path = dir + plat::kSep + "reg_bench_" + std::to_string(plat::ProcessId()) + ".reg";
  plat::SetEnv("QVAD_REGISTRY", path.c_str());
  std::printf("%8s %10s %14s %14s %8s\n", "keys", "bytes", "plain read s", "registry s", "ratio");
  int rc = 0;
  for (int keys : {1000, 5000, 20000}) {
    std::string text = "Windows Registry Editor Version 5.00\n";
    for (int i = 0; i < keys; ++i) {
      std::string n = std::to_string(i);
      text += "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Node" + n + "]\n\"Name\"=\"node-" + n +
              "\"\n\"Count\"=dword:0000002a\n\"Path\"=hex(2):43,00,3a,00,5c,00,00,00\n";
    }
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    double plain = Best([&] {
      std::FILE *in = std::fopen(path.c_str(), "rb");
      std::string all;
      char buf[65536];
      std::size_t n;
      while (in != nullptr && (n = std::fread(buf, 1, sizeof buf, in)) > 0) all.append(buf, n);
      if (in != nullptr) std::fclose(in);
      if (all.size() != text.size()) rc = 1;
    });
    std::string last = "SOFTWARE\\Bench\\Node" + std::to_string(keys - 1);
    double reg = Best([&] {
      char value[64] = {};
      std::uint32_t size = sizeof value;
      if (plat::RegistryQuery(plat::RegRoot::LocalMachine, last.c_str(), "Name", nullptr, value, &size) != 0) rc = 1;
    });
    std::printf("%8d %10zu %14.6f %14.6f %8.0f\n", keys, text.size(), plain, reg, reg / plain);
  }
  std::remove(path.c_str());
  if (rc != 0) std::fprintf(stderr, "a read failed\n");
  return rc;
}
