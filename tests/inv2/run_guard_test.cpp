// Whole runs over awkward data, through the front library as a host drives
// them: node names and lists that must cost only their own node, rows and
// cells at their limits, sums beyond 64 bits, the end of a run called again,
// and what the trace channels say about it all.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "run_fixture.h"

namespace {

using qvtest::Lines;
using qvtest::ReadFile;
using qvtest::Run;
using qvtest::RunResult;

// Every byte of a record field after its text's NUL.
bool ZeroAfterText(const std::string &record, std::size_t offset, std::size_t size) {
  std::size_t end = record.find('\0', offset);
  if (end == std::string::npos || end >= offset + size) return false;
  for (std::size_t i = end; i < offset + size; ++i)
    if (record[i] != '\0') return false;
  return true;
}

TEST_F(Run, EndEntriesCarryTheResultAsTheirCode) {
  Nodes({"n1", "bad"});
  inst.AnswerFail("a bad", 1);
  ASSERT_EQ(Go().init, 0);
  inst.WriteEtc("RepInfo.ini", "[General]\nSiteName=x\n");
  ASSERT_EQ(Go().init, -6);
  std::vector<std::string> ends;
  std::regex entry("code=(-?[0-9]+) \\| (END.*)$");
  for (const auto &line : Lines(inst.trace("QvAdnerl04"))) {
    std::smatch m;
    if (std::regex_search(line, m, entry)) ends.push_back(m[1].str() + " " + m[2].str());
  }
  // Init, File n1, File bad, File at the end, Close; then the failing Init.
  EXPECT_EQ(ends, (std::vector<std::string>{"0 END", "0 END", "-5 END", "1 END", "0 END", "-6 END"}));
}

TEST_F(Run, RecordHoldsNothingAfterEachText) {
  Nodes({"n1.example.local", "n2"});
  // Quoted fields: the quotes stripped from the list must not reach the host.
  inst.Answer("nodes", "\"n1.example.local\",\"10.0.0.1\"\n\"n2\",\"10.0.0.2\"\n");
  RunResult first = Go();
  inst.Answer("nodes", "\"n2\",\"10.0.0.2\"\n");
  RunResult second = Go();  // n1 is reported removed
  ASSERT_EQ(Names(first), (std::vector<std::string>{"0:n1.example.local", "0:n2"}));
  ASSERT_EQ(Names(second), (std::vector<std::string>{"0:n2", "0:n1.example.local"}));
  EXPECT_EQ(second.nodes[1].attr, "10.0.0.1");
  for (const RunResult *r : {&first, &second}) {
    for (const auto &n : r->nodes) {
      ASSERT_EQ(n.record.size(), 429u);
      EXPECT_TRUE(ZeroAfterText(n.record, 0, 260)) << n.name << " FileName";
      EXPECT_TRUE(ZeroAfterText(n.record, 260, 129)) << n.name << " NodeName";
      EXPECT_TRUE(ZeroAfterText(n.record, 389, 40)) << n.name << " NodeAttr";
    }
  }
}

TEST_F(Run, FailedInitKeepsThePreviousNodeLists) {
  struct Case {
    const char *what;
    void (*fault)(qvtest::InvInstall &);
    int init;
  } cases[] = {
      {"node query fails", [](qvtest::InvInstall &i) { i.AnswerFail("nodes", 1); }, -6},
      {"node list unreadable", [](qvtest::InvInstall &i) { i.Answer("nodes", "n1,a\nno comma here\n"); }, -6},
      {"no query table",
       [](qvtest::InvInstall &i) {
         std::string ini = qvtest::kRazInv;
         ini.replace(ini.find("[Table]\nA=a %s\n"), 15, "");
         i.WriteEtc("RazInv.ini", ini);
       },
       -5},
  };
  for (const Case &c : cases) {
    inst.WriteEtc("RazInv.ini", qvtest::kRazInv);
    Nodes({"n1"});
    ASSERT_EQ(Go().init, 0) << c.what;
    Nodes({"n1", "n2", "n3"});
    ASSERT_EQ(Go().init, 0) << c.what;
    std::string csv = ReadFile(inst.path("var/node.csv")), bak = ReadFile(inst.path("var/node.bak"));
    c.fault(inst);
    EXPECT_EQ(Go().init, c.init) << c.what;
    EXPECT_EQ(ReadFile(inst.path("var/node.csv")), csv) << c.what;
    EXPECT_EQ(ReadFile(inst.path("var/node.bak")), bak) << c.what;
    EXPECT_FALSE(qvtest::Exists(inst.path("var/node.new"))) << c.what;
    // The next good run still reports what went since the last good one.
    inst.WriteEtc("RazInv.ini", qvtest::kRazInv);
    Nodes({"n1"});
    RunResult r = Go();
    EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1", "0:n2", "0:n3"})) << c.what;
    EXPECT_EQ(r.nodes.size() == 3 ? r.nodes[2].file : "?", "") << c.what;
  }
}

}  // namespace
