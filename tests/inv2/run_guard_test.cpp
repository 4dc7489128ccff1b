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

TEST_F(Run, NodeNamesThatCouldChangeAQueryAreRefused) {
  Nodes({"n1", "x' OR '1'='1", "a\"b\"c", "b\\s", "n2"});
  RunResult r = Go();
  ASSERT_EQ(r.init, 0);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1", "-8:", "-8:", "-8:", "0:n2"}));
  std::string err = inst.trace("QvAdnerl03");
  EXPECT_NE(err.find("(Error)Node name refused in a query : Name = x' OR '1'='1"), std::string::npos) << err;
  EXPECT_NE(err.find("(Error)Node name refused in a query : Name = a\"b\"c"), std::string::npos) << err;
  EXPECT_EQ(Lines(r.repository).size(), 4u);  // two interfaces each of n1 and n2 only

  // This computer first, its rows due at Init: a refused name costs its rows, not the run.
  Nodes({host_ + ".x'y", "n1"});
  inst.WriteEtc("RazSetting.ini", "[Repository]\nown=0\n[Inventory]\nown=0\n");
  r = Go();
  ASSERT_EQ(r.init, 0);
  EXPECT_EQ(Names(r).front(), "0:n1");
  EXPECT_EQ(Lines(r.repository), (std::vector<std::string>{"eth0,Site.n1,Alpha/Beta,3", "eth1,Site.n1,Alpha/Beta,3"}));
}

TEST_F(Run, TooLongNamesAndAttributesCostOnlyTheirNode) {
  const std::string m128(128, 'm'), m129(129, 'm'), q128(128, 'q'), huge(1100, 'h');
  Nodes({"n1", "n2", m128, q128});
  // Too long: a name, an attribute, a whole line. At the limits: 128 and 39
  // characters, and 128 inside quotes.
  inst.Answer("nodes", "n1,a\n" + m129 + ",a\n\"n2\",\"" + std::string(40, 'x') + "\"\n" + m128 + "," +
                           std::string(39, 'y') + "\n" + huge + ",a\n\"" + q128 + "\",last\n");
  RunResult r = Go();
  ASSERT_EQ(r.init, 0);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1", "-8:", "-8:", "0:" + m128, "-8:", "0:" + q128}));
  ASSERT_EQ(r.nodes.size(), 6u);
  EXPECT_EQ(r.nodes[3].attr, std::string(39, 'y'));
  EXPECT_EQ(r.nodes[1].record, std::string(429, '\0'));
  // Each refusal names its node as far as the name fits.
  std::vector<std::string> refused;
  const std::string text = "(Error)Node name or attribute too long for the record : Name = ";
  for (const auto &line : Lines(inst.trace("QvAdnerl03"))) {
    std::size_t at = line.find(text);
    if (at != std::string::npos) refused.push_back(line.substr(at + text.size()));
  }
  EXPECT_EQ(refused, (std::vector<std::string>{m128, "n2", std::string(128, 'h')}));
  // The refused nodes were never handed out, so they are never reported removed.
  inst.Answer("nodes", "n1,a\n");
  EXPECT_EQ(Names(Go()), (std::vector<std::string>{"0:n1", "0:" + m128, "0:" + q128}));
}

}  // namespace
