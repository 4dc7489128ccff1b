// Prints the time to gather one hardware row of 199 field and macro
// definitions over result files of 10,000 lines each, and the time and peak
// memory to build the text rows of a 100,000-line text source, each beside
// a baseline measured in the same run: one plain sequential read of the
// same files.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cmn/qvadmiscinv/qvadfieldget.h"
#include "cmn/qvadmiscinv/qvadmacro.h"
#include "cmn/qvadmiscinv/qvadresultfile.h"
#include "platform/sys.h"

namespace {

using Clock = std::chrono::steady_clock;
double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Peak resident memory in kB where the system reports it, else -1.
long PeakKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

void WriteLines(const std::string &path, int count, const std::string &(*make)(int, std::string &)) {
  std::FILE *f = std::fopen(path.c_str(), "wb");
  std::string line;
  for (int i = 0; i < count; ++i) std::fputs(make(i, line).c_str(), f);
  std::fclose(f);
}

const std::string &CpuLine(int i, std::string &s) {
  s = "host" + std::to_string(i % 97) + ",\"Intel(R) Xeon(R) CPU\",E5-" + std::to_string(2600 + i % 90) + "," +
      std::to_string(2000 + i % 1000) + "MHz,GenuineIntel\r\n";
  return s;
}
const std::string &DiskLine(int i, std::string &s) {
  s = "host" + std::to_string(i % 97) + "," + std::to_string(1000 + i) + "," + std::to_string(i % 4000) +
      ".5,\"C:\\\",NTFS,disk" + std::to_string(i) + "\r\n";
  return s;
}
const std::string &DispLine(int i, std::string &s) {
  s = "host" + std::to_string(i % 97) + ",1920,1080,1920 x 1080 x 32,\"Display adapter " + std::to_string(i) + "\"\r\n";
  return s;
}
const std::string &SwLine(int i, std::string &s) {
  s = "host" + std::to_string(i % 97) + ",\"Package " + std::to_string(i) + "\",1." + std::to_string(i % 50) +
      ",\"Vendor, Inc.\",00:0a:95:9d:" + std::to_string(10 + i % 89) + ":16\r\n";
  return s;
}
const std::string &TextLine(int i, std::string &s) {
  s = "2026-12-07 10:" + std::to_string(10 + i % 50) + " event " + std::to_string(i) +
      " something happened on the node, with some detail text\r\n";
  return s;
}

INV_ITEM_DEF Def(int type, const char *text, const char *ref, int n_cond = 0, const char *cond_col = "1",
                 const char *cond_val = "", int sep = 0, const char *conv = nullptr) {
  INV_ITEM_DEF d{};
  d.Type = type;
  std::snprintf(d.Text, sizeof d.Text, "%s", text);
  if (ref) {
    const char *colon = std::strchr(ref, ':');
    std::snprintf(d.Acquire.Part[0], 64, "%.*s", static_cast<int>(colon - ref), ref);
    std::snprintf(d.Acquire.Part[1], 64, "%s", colon + 1);
    d.Acquire.Count = 2;
  }
  d.CondCount = n_cond;
  if (n_cond) {
    std::snprintf(d.Cond[0].Left.Part[1], 64, "%s", cond_col);
    std::snprintf(d.Cond[0].Right.Part[0], 64, "%s", cond_val);
  }
  d.SepFlag = sep;
  d.Separator[0] = ';';
  if (conv) {
    d.ConvFlag = 1;
    std::snprintf(d.Convert, sizeof d.Convert, "%s", conv);
  }
  d.Quote = 1;
  return d;
}

// 199 definitions the way a hardware section mixes them: first values,
// filtered values of a node late in the files, joined lists, and macros
// that read whole files.
std::vector<INV_ITEM_DEF> HardwareDefs() {
  std::vector<INV_ITEM_DEF> defs;
  const char *stems[] = {"cpu", "disk", "disp", "sw"};
  for (int i = 0; defs.size() < 199; ++i) {
    const char *stem = stems[i % 4];
    char ref[32], host[16];
    std::snprintf(ref, sizeof ref, "%s:%d", stem, 2 + i % 3);
    std::snprintf(host, sizeof host, "host%d", 90 + i % 7);
    switch (i % 8) {
      case 0: defs.push_back(Def(3, "", ref)); break;
      case 1: defs.push_back(Def(3, "", ref, 1, "1", host)); break;
      case 2: defs.push_back(Def(3, "", "disp:2", 1, "1", "host96", 1)); break;
      case 3: defs.push_back(Def(2, "CPUNUM(cpu:1)", nullptr)); break;
      case 4: defs.push_back(Def(2, "TOTALSIZE(disk:2,disk:1=host95)", nullptr)); break;
      case 5: defs.push_back(Def(2, "DRIVE(disk:2,disk:3,disk:4,disk:5,disk:6,disk:1=host96)", nullptr)); break;
      case 6: defs.push_back(Def(2, "CPUDETAIL(cpu:2,cpu:3,cpu:1=host96)", nullptr)); break;
      case 7: defs.push_back(Def(2, "COLOR(disp:4)", nullptr, 0, "1", "", 0, nullptr)); break;
    }
  }
  return defs;
}

double PlainRead(const std::vector<std::string> &paths) {
  auto t0 = Clock::now();
  char buf[1024];
  std::size_t n = 0;
  for (const auto &p : paths) {
    std::FILE *f = std::fopen(p.c_str(), "rb");
    while (std::fgets(buf, sizeof buf, f)) n += std::strlen(buf);
    std::fclose(f);
  }
  if (n == 0) std::puts("(empty files)");
  return Ms(Clock::now() - t0);
}

double HardwareRow(const std::vector<INV_ITEM_DEF> &defs, const std::string &dir, bool scoped) {
  std::vector<INV_FIELD> row(defs.size());
  auto t0 = Clock::now();
  {
    std::unique_ptr<QvadResultCacheScope> scope(scoped ? new QvadResultCacheScope : nullptr);
    char value[1024];
    QVAD_ERROR_TBL err;
    for (std::size_t i = 0; i < defs.size(); ++i) {
      std::memset(value, 0, sizeof value);
      int rc = defs[i].Type == 3 ? Qvad_GetHwInvDB(&defs[i], value, sizeof value, dir.c_str(), &err)
                                 : Qvad_MacroHwSelect(defs[i].Text, 0, "", dir.c_str(), value, sizeof value, &err);
      if (rc != 0) std::printf("definition %zu failed: %d (%d)\n", i + 1, rc, err.local_code);
      Qvad_GetFieldEdit(&defs[i], value, &row[i], 1024, &err);
    }
  }
  return Ms(Clock::now() - t0);
}

struct TextRun {
  double ms;
  int rows;
};

TextRun TextRows(const std::string &path) {
  std::vector<INV_ITEM_DEF> defs = {Def(2, "LINE()", nullptr), Def(2, "TEXT()", nullptr), Def(2, "FNAME()", nullptr),
                                    Def(1, "node1", nullptr), Def(2, "TIMEGET()", nullptr)};
  std::vector<INV_FIELD> row(defs.size());
  std::int64_t offset = 0;
  int rows = 0;
  auto t0 = Clock::now();
  for (std::int32_t n = 1;; ++n) {
    std::int64_t consumed = 0;
    INI_ERROR_NODE *errors = nullptr;
    int rc = Qvad_GetTextInv(defs.data(), row.data(), static_cast<std::int32_t>(defs.size()), path.c_str(), n, offset,
                             &consumed, &errors);
    if (rc != 0) break;
    ++rows;
    offset += consumed;
  }
  return {Ms(Clock::now() - t0), rows};
}

template <typename F>
double Best(int runs, F f) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) best = std::min(best, f());
  return best;
}

}  // namespace

int main(int argc, char **argv) {
  // "row" measures only the hardware row (for profiling it).
  bool row_only = argc > 1 && std::strcmp(argv[1], "row") == 0;
  namespace fs = std::filesystem;
  std::string dir = plat::TempDir() + plat::kSep + "qvad-invbench-" + std::to_string(plat::ProcessId());
  fs::create_directories(dir);
  std::string hard = dir + plat::kSep;
  const int kLines = 10000;
  WriteLines(hard + "cpu.csv", kLines, CpuLine);
  WriteLines(hard + "disk.csv", kLines, DiskLine);
  WriteLines(hard + "disp.csv", kLines, DispLine);
  WriteLines(hard + "sw.csv", kLines, SwLine);
  std::vector<std::string> files = {hard + "cpu.csv", hard + "disk.csv", hard + "disp.csv", hard + "sw.csv"};
  Qvad_InvContext()->LanguageRead = 1;  // English mode, no registry needed

  auto defs = HardwareDefs();
  double base = Best(5, [&] { return PlainRead(files); });
  double scoped = Best(5, [&] { return HardwareRow(defs, hard, true); });
  double unscoped = Best(3, [&] { return HardwareRow(defs, hard, false); });
  std::printf("hardware row, 199 definitions over 4 result files of %d lines:\n", kLines);
  std::printf("  baseline: plain read of the 4 files      %9.2f ms\n", base);
  std::printf("  row, files read once per row (scope)     %9.2f ms  = %5.1f x baseline (goal <= 10)\n", scoped,
              scoped / base);
  std::printf("  row, every definition reads its file     %9.2f ms  = %5.1f x baseline\n", unscoped, unscoped / base);

  for (int i = 0; row_only && i < 50; ++i) HardwareRow(defs, hard, true);
  std::printf("text rows (5 definitions: LINE, TEXT, FNAME, literal, TIMEGET):\n");
  for (int lines : {10000, 100000}) {
    if (row_only) break;
    std::string text = hard + "text" + std::to_string(lines) + ".csv";
    WriteLines(text, lines, TextLine);
    double plain = Best(3, [&] { return PlainRead({text}); });
    long before = PeakKb();
    TextRun run = TextRows(text);
    long after = PeakKb();
    std::printf(
        "  %6d lines: baseline plain read %8.2f ms; rows %6d in %9.2f ms = %6.2f us/line = %5.1f x baseline;"
        " peak memory %ld kB (%+ld kB during the rows)\n",
        lines, plain, run.rows, run.ms, run.ms * 1000.0 / lines, run.ms / plain, after, after - before);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
