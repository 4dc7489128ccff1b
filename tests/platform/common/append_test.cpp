// Several programs appending to one file at once (the trace files every
// program of the adapter shares): no entry is lost or written over.
#include "platform/append.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/sys.h"
#include "testutil.h"

namespace {

constexpr int kLines = 3000;

// Started as the writer, this program appends its lines and ends before any
// test runs.
const bool g_writer = [] {
  std::string target = plat::GetEnv("QVAD_APPEND_TARGET");
  if (target.empty()) return false;
  std::string tag = plat::GetEnv("QVAD_APPEND_TAG");
  plat::AppendFile f;
  if (!f.Open(target.c_str())) std::exit(2);
  for (int i = 0; i < kLines; ++i) {
    std::string line = tag + " " + std::to_string(i) + " " + std::string(60, 'x') + "\n";
    if (!f.Write(line.data(), line.size())) std::exit(3);
  }
  std::exit(0);
}();

TEST(AppendFile, WritersInSeveralProcessesLoseNothing) {
  qvtest::ScratchDir dir{"append"};
  std::string target = dir.file("shared.trc");
  qvtest::EnvVar where("QVAD_APPEND_TARGET", target);
  std::vector<plat::Process> writers(3);
  std::string self = qvtest::BinPath("platform_test");
  for (std::size_t w = 0; w < writers.size(); ++w) {
    qvtest::EnvVar tag("QVAD_APPEND_TAG", "w" + std::to_string(w));
    plat::ProcessOptions o;
    o.application = self.c_str();
    ASSERT_TRUE(plat::StartProcess(("\"" + self + "\"").c_str(), o, &writers[w]));
  }
  for (plat::Process &p : writers) {
    ASSERT_EQ(plat::WaitProcess(p.handle, 120000), 0);
    std::uint32_t code = 1;
    plat::ProcessExitCode(p.handle, &code);
    plat::CloseProcess(p.handle);
    EXPECT_EQ(code, 0u);
  }
  std::vector<std::string> lines = qvtest::Lines(qvtest::ReadFile(target));
  ASSERT_EQ(lines.size(), writers.size() * kLines);
  std::vector<int> next(writers.size(), 0);
  for (const std::string &l : lines) {
    // Each writer's lines whole and in its own order.
    std::size_t w = static_cast<std::size_t>(l[1] - '0');
    ASSERT_LT(w, writers.size()) << l;
    ASSERT_EQ(l, "w" + std::to_string(w) + " " + std::to_string(next[w]) + " " + std::string(60, 'x')) << l;
    ++next[w];
  }
}

}  // namespace
