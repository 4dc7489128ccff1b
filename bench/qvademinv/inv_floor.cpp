// The floor of a whole inventory run: every query the engine would start for
// the nodes of a node list (each query-table key and the interface count per
// node, plus the node list itself) is started directly, one process after
// the other, each waited for. Nothing is collected, so the difference to a
// real run is the engine's own cost.
//
//   inv2_floor <install folder>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cmn/qvadprofile.h"
#include "platform/memory.h"
#include "platform/process.h"
#include "platform/sys.h"

namespace {

std::string Fill(const std::string &t, const std::string &node) {
  std::string out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '%' && i + 1 < t.size() && t[i + 1] == 's') {
      out += node;
      ++i;
    } else if (t[i] == '%' && i + 1 < t.size() && t[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += t[i];
    }
  }
  return out;
}

bool RunQuery(const std::string &tool, const std::string &dir, const std::string &query, const std::string &name) {
  std::string txt = dir + name + ".txt", csv = dir + name + ".csv", out = dir + "out.txt";
  // Fresh files each time, as the engine makes them: truncating and
  // rewriting the same names makes ext4 start writeback at every close
  // (its guard for replace-by-truncate), and the floor then spends most of
  // its time waiting on the disk instead of starting processes.
  std::remove(txt.c_str());
  std::remove(csv.c_str());
  std::remove(out.c_str());
  if (std::FILE *f = std::fopen(txt.c_str(), "w")) {
    std::fputs(query.c_str(), f);
    std::fclose(f);
  }
  std::FILE *o = std::fopen(out.c_str(), "wb");
  plat::ProcessOptions opt;
  opt.application = tool.c_str();
  opt.std_out = opt.std_err = plat::FileHandleOf(o);
  plat::Process p;
  std::string cmd = "ovdwquery -c -file \"" + txt + "\" -out \"" + csv + "\"";
  bool ok = plat::StartProcess(cmd.c_str(), opt, &p);
  std::fclose(o);
  if (!ok) return false;
  while (plat::WaitProcess(p.handle, 500) == 1) {
  }
  std::uint32_t code = 1;
  plat::ProcessExitCode(p.handle, &code);
  plat::CloseProcess(p.handle);
  return code == 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: inv2_floor <install folder>\n");
    return 2;
  }
  std::string install = argv[1];
  std::string ini = install + plat::kEtcPiece + "RazInv.ini";
  std::string self = plat::ModulePath();
  std::string tool = self.substr(0, self.find_last_of("/\\") + 1) + "ovdwquery" + plat::kExeSuffix;
  std::string dir = install + plat::kSep + "tmp" + plat::kSep + "floor" + plat::kSep;
  plat::MakeDirectory((install + plat::kSep + "tmp").c_str());
  plat::MakeDirectory(dir.c_str());

  char keys[4096] = {};
  QvadGetPrivateProfileString("Table", nullptr, "", keys, sizeof keys, ini.c_str());
  std::vector<std::string> templates;
  for (const char *k = keys; *k != '\0'; k += std::strlen(k) + 1) {
    char v[1024] = {};
    QvadGetPrivateProfileString("Table", k, "", v, sizeof v, ini.c_str());
    templates.push_back(v);
  }
  char iface[1024] = {}, nodes_query[1024] = {};
  QvadGetPrivateProfileString("Interface", "1", "", iface, sizeof iface, ini.c_str());
  QvadGetPrivateProfileString("NodeInfo", "1", "", nodes_query, sizeof nodes_query, ini.c_str());
  templates.push_back(iface);

  auto start = std::chrono::steady_clock::now();
  if (!RunQuery(tool, dir, nodes_query, "nodes")) {
    std::fprintf(stderr, "inv2_floor: the node query failed\n");
    return 1;
  }
  std::vector<std::string> nodes;
  if (std::FILE *f = std::fopen((dir + "nodes.csv").c_str(), "r")) {
    char line[1024];
    while (std::fgets(line, sizeof line, f) != nullptr) nodes.push_back(std::string(line, std::strcspn(line, ",")));
    std::fclose(f);
  }
  long processes = 1, failed = 0;
  for (const auto &n : nodes) {
    for (std::size_t i = 0; i < templates.size(); ++i) {
      failed += RunQuery(tool, dir, Fill(templates[i], n), "q" + std::to_string(i)) ? 0 : 1;
      ++processes;
    }
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("floor: nodes=%zu processes=%ld failed=%ld total_ms=%.0f per_node_ms=%.2f peak_kb=%llu\n", nodes.size(),
              processes, failed, ms, nodes.empty() ? 0.0 : ms / static_cast<double>(nodes.size()),
              static_cast<unsigned long long>(plat::PeakMemoryKb()));
  return failed == 0 ? 0 : 1;
}
