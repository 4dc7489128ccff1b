// Whole runs with the queries of the next nodes running ahead of File
// (QueryWorkers above 1): what the host receives must be exactly what a run
// with one query at a time gives, and Close must end what still runs.
#include <chrono>
#include <thread>

#include "run_fixture.h"

namespace {

using qvtest::Lines;
using qvtest::Run;
using qvtest::RunResult;

void SetWorkers(const qvtest::InvInstall &inst, const std::string &value) {
  inst.WriteEtc("RazSetting.ini", "[Repository]\nown=1\n[Inventory]\nown=0\n" +
                                      (value.empty() ? std::string() : "QueryWorkers=" + value + "\n"));
}

// Everything a run hands on: each File result with the host's whole record
// and the node's file, the repository file, and what was delivered.
std::string Seen(const qvtest::InvInstall &inst, const RunResult &r) {
  std::string s = "init=" + std::to_string(r.init) + "\n";
  for (const auto &n : r.nodes) s += std::to_string(n.ret) + "|" + n.record + "|" + n.content + "\n";
  return s + "repository:\n" + r.repository + "delivered:\n" + qvtest::ReadFile(inst.fxsend_dir() + "/Repository.csv");
}

std::vector<std::string> LeftInHard(const qvtest::InvInstall &inst) {
  std::vector<std::string> left;
  for (int i = 0; i < 32; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "tmp/hard/%02d", i);
    if (qvtest::Exists(inst.path(name))) left.push_back(name);
  }
  return left;
}

TEST_F(Run, QueryWorkersGiveExactlyTheRunOfOne) {
  // The own node first and again, repeats, a refused name, failing queries
  // (exit code, and exit 0 without a result), a node whose interface count
  // fails, then a second run that reports the nodes removed since.
  const std::vector<std::string> first = {host_, host_,   "n1", "n1", "n2", "bad", "n3", "q'x",
                                          "n4",  "empty", "n5", "n6", "n7", "n8",  "n1"};
  const std::vector<std::string> second = {"n2", "n9", "n3"};
  Nodes(first);
  Nodes(second);
  inst.AnswerFail("a bad", 1);
  inst.AnswerFail("a empty", 0);
  inst.AnswerFail("if n4", 1);
  qvtest::EnvVar latency("OVDWQUERY_DELAY_MS", "15");
  std::string ini = qvtest::kRazInv;
  ini.replace(ini.find("flag=0"), 6, "flag=1");
  inst.WriteEtc("RazInv.ini", ini);
  std::string expected;
  for (const std::string workers : {"", "2", "4", "16"}) {
    SCOPED_TRACE("QueryWorkers=" + workers);
    std::remove(inst.path("var/node.csv").c_str());
    std::remove(inst.path("var/node.bak").c_str());
    std::remove((inst.fxsend_dir() + "/Repository.csv").c_str());
    SetWorkers(inst, workers);
    Nodes(first);
    std::string seen = Seen(inst, Go());
    Nodes(second);
    seen += Seen(inst, Go());
    if (workers[0] == '\0') {
      expected = seen;
      EXPECT_NE(expected.find("\n-5|"), std::string::npos);
    } else {
      EXPECT_EQ(seen, expected);
      EXPECT_NE(inst.trace("QvAdnerl04").find("(Info)QueryWorkers = " + std::string(workers)), std::string::npos);
    }
    EXPECT_EQ(LeftInHard(inst), std::vector<std::string>{});
  }
}

TEST_F(Run, CloseEndsTheQueriesRunningAhead) {
  // What a run ended without Close left behind goes at the next Init.
  plat::MakeDirectory(inst.path("tmp/hard/03").c_str());
  qvtest::WriteFile(inst.path("tmp/hard/03/A.csv"), "stale\n");
  SetWorkers(inst, "4");
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) names.push_back("n" + std::to_string(i));
  Nodes(names);
  {
    qvtest::EnvVar latency("OVDWQUERY_DELAY_MS", "2000");
    ASSERT_EQ(init_(), 0);
    EXPECT_FALSE(qvtest::Exists(inst.path("tmp/hard/03/A.csv")));
    INV_INFO info;
    ASSERT_EQ(file_(&info), 0);
    EXPECT_STREQ(info.NodeName, "n0");
    // The next four nodes' queries have just started, each for two
    // seconds: Close ends them rather than waiting.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(close_(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  }
  EXPECT_EQ(LeftInHard(inst), std::vector<std::string>{});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(LeftInHard(inst), std::vector<std::string>{});  // no query of that run writes on
  EXPECT_EQ(inst.trace("QvAdnerl03").find("ovdwquery process"), std::string::npos) << "an ended query is no failure";

  // The mutex went with Close: the next run starts at once and is whole.
  RunResult r = Go();
  ASSERT_EQ(r.init, 0);
  EXPECT_EQ(r.nodes.size(), names.size());
}

TEST_F(Run, AQueryWorkersValueThatIsNoCountRunsOneAtATime) {
  Nodes({"n1", "n2"});
  std::size_t warned = 0;
  for (const std::string bad : {"0", "17", "4x", "-2", "many"}) {
    SCOPED_TRACE(bad);
    SetWorkers(inst, bad);
    RunResult r = Go();
    EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1", "0:n2"}));
    std::string err = inst.trace("QvAdnerl03");
    std::size_t now = 0;
    for (std::size_t at = 0; (at = err.find("(Warning)Qvad_GetQueryWorkers", at)) != std::string::npos; ++at) ++now;
    EXPECT_EQ(now, ++warned) << err;
  }
  EXPECT_EQ(LeftInHard(inst), std::vector<std::string>{});
}

}  // namespace
