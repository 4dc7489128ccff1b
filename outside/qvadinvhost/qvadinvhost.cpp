// Stand-in for the inventory host: loads the front library, runs one
// inventory (Init, File until no node is left, Close) and prints each node.
//
//   qvadinvhost [--lib <path of qvadinv>] [--keep <folder>] [--quiet]
//
// Without --lib the library beside this program is loaded. --keep copies
// each node's result file into the folder before the next File call (the
// engine deletes it then). Exit status: 0 every node collected, 1 some node
// failed, 2 Init failed, 3 the library could not be loaded or a call failed.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cmn/qvadinstall.h"
#include "cmn/qvadmiscinv/qvadsettings.h"
#include "platform/error.h"
#include "platform/library.h"
#include "platform/memory.h"
#include "platform/sys.h"

extern "C" {
#pragma pack(push, 1)
struct INV_INFO {
  char FileName[260];
  char NodeName[129];
  char NodeAttr[40];
};
#pragma pack(pop)
}
static_assert(sizeof(INV_INFO) == 429, "INV_INFO layout");

namespace {

typedef std::int32_t (*InitFn)(void);
typedef std::int32_t (*FileFn)(INV_INFO *);
typedef std::int32_t (*CloseFn)(void);

// Rows of a result file: its line count.
long CountRows(const char *path, const std::string &keep_dir) {
  std::FILE *f = std::fopen(path, "rb");
  if (f == nullptr) return -1;
  std::FILE *copy = nullptr;
  if (!keep_dir.empty()) {
    std::string p = path;
    std::size_t cut = p.find_last_of("/\\");
    copy = std::fopen((keep_dir + plat::kSep + p.substr(cut == std::string::npos ? 0 : cut + 1)).c_str(), "wb");
  }
  long rows = 0;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    for (std::size_t i = 0; i < n; ++i) rows += buf[i] == '\n';
    if (copy != nullptr) std::fwrite(buf, 1, n, copy);
  }
  std::fclose(f);
  if (copy != nullptr) std::fclose(copy);
  return rows;
}

// The QueryWorkers setting of the install the engine runs in, as the
// engine reads it; with "(not valid, 1 used)" after a value it refuses.
std::string QueryWorkers() {
  char install[260] = {};
  if (QvadGetInstallPathForDll(install, sizeof install) != 0) return "?";
  std::string path = std::string(install) + plat::kEtcPiece + "RazSetting.ini";
  int workers = 1;
  QVAD_ERROR_TBL err;
  bool valid = Qvad_GetQueryWorkers(path.c_str(), &workers, &err) == 1;
  return std::to_string(workers) + (valid ? "" : " (not valid, 1 used)");
}

// The QueryTimeout in force, in seconds, likewise.
std::string QueryTimeout() {
  char install[260] = {};
  if (QvadGetInstallPathForDll(install, sizeof install) != 0) return "?";
  std::string path = std::string(install) + plat::kEtcPiece + "RazSetting.ini";
  int seconds = kQvadDefaultQueryTimeout;
  QVAD_ERROR_TBL err;
  bool valid = Qvad_GetQueryTimeout(path.c_str(), &seconds, &err) == 1;
  return std::to_string(seconds) + (valid ? "" : " (not valid, the default used)");
}

}  // namespace

int main(int argc, char **argv) {
  std::string lib_path, keep;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--lib" && i + 1 < argc) {
      lib_path = argv[++i];
    } else if (a == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a == "--version" && argc == 2) {
      std::printf("qvadinvhost (stand-in inventory host) %s\n", QVAD_VERSION);
      return 0;
    } else {
      std::fprintf(stderr, "usage: qvadinvhost [--lib <qvadinv>] [--keep <folder>] [--quiet]\n");
      return 3;
    }
  }
  if (lib_path.empty()) {
    std::string self = plat::ModulePath();
    std::size_t cut = self.find_last_of("/\\");
    lib_path = self.substr(0, cut + 1) + plat::LibraryFileName("qvadinv");
  }
  plat::Library lib = plat::LoadLibraryByPath(lib_path.c_str());
  if (lib == nullptr) {
    std::fprintf(stderr, "qvadinvhost: cannot load %s (error %u)\n", lib_path.c_str(), plat::LastError());
    return 3;
  }
  // Bound by export ordinal, as a host on Win32 may do; by name elsewhere.
  auto init = reinterpret_cast<InitFn>(plat::LibrarySymbolOrdinal(lib, 1, "Qvad_InvInit"));
  auto file = reinterpret_cast<FileFn>(plat::LibrarySymbolOrdinal(lib, 2, "Qvad_InvFile"));
  auto close = reinterpret_cast<CloseFn>(plat::LibrarySymbolOrdinal(lib, 3, "Qvad_InvClose"));
  if (init == nullptr || file == nullptr || close == nullptr) {
    std::fprintf(stderr, "qvadinvhost: %s lacks an entry point\n", lib_path.c_str());
    return 3;
  }
  auto start = std::chrono::steady_clock::now();
  std::int32_t r = init();
  std::printf("Init: %d\n", static_cast<int>(r));
  if (r != 0) {
    std::printf("Close: %d\n", static_cast<int>(close()));
    return 2;
  }
  long nodes = 0, failed = 0, removed = 0, rows = 0, calls = 0;
  int status = 0;
  for (;;) {
    INV_INFO info;
    std::memset(&info, 0, sizeof info);
    r = file(&info);
    ++calls;
    if (r == 1) break;
    if (r == 0 && info.FileName[0] == '\0') {
      ++removed;
      if (!quiet) std::printf("[%ld] removed %s attr=%s\n", calls, info.NodeName, info.NodeAttr);
    } else if (r == 0) {
      ++nodes;
      long n = CountRows(info.FileName, keep);
      rows += n > 0 ? n : 0;
      if (!quiet) {
        std::printf("[%ld] %s attr=%s file=%s rows=%ld\n", calls, info.NodeName, info.NodeAttr, info.FileName, n);
      }
    } else if (r == -5 || r == -8) {
      ++failed;
      status = 1;
      std::printf("[%ld] failed %d\n", calls, static_cast<int>(r));
    } else {
      std::printf("[%ld] File: %d\n", calls, static_cast<int>(r));
      status = 3;
      break;
    }
    std::fflush(stdout);
  }
  std::int32_t c = close();
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  long handled = nodes + failed;
  std::printf("Close: %d\n", static_cast<int>(c));
  std::printf(
      "summary: nodes=%ld failed=%ld removed=%ld rows=%ld total_ms=%.0f per_node_ms=%.2f peak_kb=%llu "
      "query_workers=%s query_timeout_s=%s\n",
      nodes, failed, removed, rows, ms, handled > 0 ? ms / static_cast<double>(handled) : 0.0,
      static_cast<unsigned long long>(plat::PeakMemoryKb()), QueryWorkers().c_str(), QueryTimeout().c_str());
  return status;
}
