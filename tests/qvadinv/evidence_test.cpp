// A failed query keeps its evidence where Close does not clean: the query
// text and the tool's own words, named after the node and the key, in a
// folder of the run under var/failed; the last five runs' worth.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "run_fixture.h"

namespace fs = std::filesystem;

namespace {

using qvtest::Run;
using qvtest::RunResult;

std::vector<fs::path> RunFolders(const std::string &failed) {
  std::vector<fs::path> runs;
  std::error_code ec;
  for (const auto &e : fs::directory_iterator(failed, ec)) runs.push_back(e.path());
  std::sort(runs.begin(), runs.end());
  return runs;
}

TEST_F(Run, AFailedQueryKeepsItsEvidence) {
  Nodes({"n1", "n2"});
  inst.AnswerFail("a n2", 3);
  RunResult r = Go();
  ASSERT_EQ(r.init, 0);
  // A failed node's record is cleared for the host; the trace names it.
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1", "-5:"}));
  std::vector<fs::path> runs = RunFolders(inst.path("var/failed"));
  ASSERT_EQ(runs.size(), 1u);
  std::string base = (runs[0] / "n2-A").string();
  EXPECT_EQ(qvtest::ReadFile(base + ".query"), "a n2");
  EXPECT_NE(qvtest::ReadFile(base + ".out").find("ovdwquery: canned failure 3"), std::string::npos);
  std::string t = inst.trace("QvAdnerl03");
  EXPECT_NE(t.find("(Error)ovdwquery failed : Node = n2 Key = A : query and output kept in " + runs[0].string()),
            std::string::npos)
      << t;

  // The node list itself, in later runs: each run a folder, five kept.
  inst.AnswerFail("nodes", 4);
  for (int i = 0; i < 6; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // a folder's name has the second
    EXPECT_EQ(Go().init, -6);
  }
  runs = RunFolders(inst.path("var/failed"));
  EXPECT_EQ(runs.size(), 5u);
  EXPECT_NE(qvtest::ReadFile((runs.back() / "NodeInfo.out").string()).find("canned failure 4"), std::string::npos);
}

}  // namespace
