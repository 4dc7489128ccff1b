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

using Entries = std::vector<std::pair<std::string, std::string>>;  // setting, inventory value

std::string Kind(const std::string &name, const Entries &entries) {
  std::string s = "[" + name + "Setting]\ncount=" + std::to_string(entries.size()) + "\n";
  for (std::size_t i = 0; i < entries.size(); ++i) s += std::to_string(i + 1) + "=" + entries[i].first + "\n";
  s += "[" + name + "Inventory]\n";
  for (std::size_t i = 0; i < entries.size(); ++i) s += std::to_string(i + 1) + "=" + entries[i].second + "\n";
  return s;
}

// RazInv.ini with these hardware and repository entries, the query table and
// machine sections given, the interface rows in A, no text rows.
std::string Definitions(const Entries &hw, const Entries &repo = {}, const std::string &tables = "A=a %s\n",
                        const std::string &machines = "[RepositoryMachineName]\ncount=0\n") {
  return "[NodeInfo]\n1=nodes\n[Table]\n" + tables + "[Interface]\n1=if %s\n2=A\n" + Kind("Hardware", hw) +
         Kind("Repository", repo) + machines + "[TextSetting]\nflag=0\ncount=0\n";
}

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

TEST_F(Run, LongConditionValueSelectsNoLine) {
  const std::string v63(63, 'v'), v70(70, 'w');
  inst.WriteEtc("RazInv.ini", Definitions({{"3,0,0,0,0", "B:2,B:1=" + v63}, {"3,0,0,0,0", "B:2,B:1=" + v70}},
                                          {{"2,0,0,0,0", "MACHINEGET()"}}, "A=a %s\nB=b %s\n",
                                          "[RepositoryMachineName]\ncount=2\n1=Short\n2=Long\n"
                                          "[RepositoryMachineID]\n1=B:4,B:1=" +
                                              v63 + "\n2=B:3,B:1=" + v70 + "\n"));
  Nodes({"n1"});
  // A line whose key column is empty, one with the 63-character key, one with the 70-character key.
  inst.Answer("b n1", ",empty,1,0\n" + v63 + ",sixty-three,0,1\n" + v70 + ",seventy,0,0\n");
  inst.Answer("if n1", "1\n");
  RunResult r = Go();
  ASSERT_EQ(Names(r), (std::vector<std::string>{"0:n1"}));
  // The 70-character value is held as its first 63 characters, which no
  // line's column equals: no value, and no machine, rather than the line
  // with the empty key.
  EXPECT_EQ(Lines(r.nodes[0].content), (std::vector<std::string>{"sixty-three,"}));
  EXPECT_EQ(Lines(r.repository), (std::vector<std::string>{"Short"}));
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

TEST_F(Run, WidthCutsFallOnCharacterBoundaries) {
  const char *key = "SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion";
  plat::RegistrySet(plat::RegRoot::LocalMachine, key, "DM Language", plat::kRegSz, "JAPANESE", 9);
  struct Case {
    const char *setting, *value, *cell;
  } cases[] = {
      {"1,3,1,0,0", "ab\"c", "\"ab \""},                 // the doubled quote does not fit: not half of it
      {"1,4,1,0,0", "ab\"c", "\"ab\"\"\""},              // it fits whole
      {"1,2,0,0,0", "x\"y", "x "},                       // unquoted cell: no lone quote either
      {"1,2,1,0,0", "a\x88\xA0z", "\"a \""},             // a lead byte never meets the closing quote
      {"1,3,0,0,0", "a\x88\xA0z", "a\x88\xA0"},          // a double-byte character that fits
      {"1,3,0,0,0", "\xB1\xB2", "\x83\x41 "},            // widened katakana: the second does not fit
      {"1,5,1,0,0", "\xB1\"\xB2", "\"\x83\x41\"\" \""},  // widened, doubled, then cut
  };
  Entries hw;
  std::string row;
  for (const Case &c : cases) {
    hw.push_back({c.setting, c.value});
    row += std::string(row.empty() ? "" : ",") + c.cell;
  }
  inst.WriteEtc("RazInv.ini", Definitions(hw));
  Nodes({"n1"});
  RunResult r = Go();
  plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, key, "DM Language");
  ASSERT_EQ(r.nodes.size(), 1u);
  EXPECT_EQ(Lines(r.nodes[0].content), (std::vector<std::string>{row}));
}

TEST_F(Run, SoundMarkJoinsOnlyADoubleByteCharacter) {
  const char *key = "SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion";
  plat::RegistrySet(plat::RegRoot::LocalMachine, key, "DM Language", plat::kRegSz, "JAPANESE", 9);
  struct Case {
    const char *value, *cell;
  } cases[] = {
      {"a+\xDE", "a+"},              // not a comma: the row keeps its cells
      {"x!\xDE", "x!"},              // not a quote
      {"y*\xDF", "y*"},              // semi-voiced: not a comma either
      {"\xB6\xDE", "\x83\x4B"},      // widened katakana takes it
      {"\x83\x4A\xDE", "\x83\x4B"},  // and so does a full-width one
  };
  Entries hw;
  std::string row;
  for (const Case &c : cases) {
    hw.push_back({"1,0,0,0,0", c.value});
    row += std::string(row.empty() ? "" : ",") + c.cell;
  }
  inst.WriteEtc("RazInv.ini", Definitions(hw));
  Nodes({"n1"});
  RunResult r = Go();
  plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, key, "DM Language");
  ASSERT_EQ(r.nodes.size(), 1u);
  EXPECT_EQ(Lines(r.nodes[0].content), (std::vector<std::string>{row}));
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

TEST_F(Run, RowStillTooLongAfterTheCutFailsTheNode) {
  // 201 cells of 400 bytes: over 80000 bytes, and nothing is long enough to empty.
  Entries wide(201, {"1,0,0,0,0", std::string(400, 'w')});
  for (const auto &[what, ini] :
       {std::pair{"hardware", Definitions(wide)}, std::pair{"repository", Definitions({{"1,0,0,0,0", "hw"}}, wide)}}) {
    inst.WriteEtc("RazInv.ini", ini);
    Nodes({"n1", "n2"});
    RunResult r = Go();
    EXPECT_EQ(Names(r), (std::vector<std::string>{"-8:", "-8:"})) << what;
    ASSERT_EQ(r.nodes.size(), 2u);
    EXPECT_EQ(r.nodes[0].record, std::string(429, '\0')) << what;
    EXPECT_FALSE(qvtest::Exists(inst.path("ret/n1.csv"))) << what;
    EXPECT_EQ(r.repository, "") << what;
  }
  std::string err = inst.trace("QvAdnerl03");
  EXPECT_NE(err.find("(Error)Qvad_CreateRetFile(HW) : "), std::string::npos);
  EXPECT_NE(err.find("(Error)Qvad_CreateRetFile(Repo) : "), std::string::npos);
}

TEST_F(Run, RepositoryGoesOutOncePerRun) {
  Nodes({host_, "n1"});
  ASSERT_EQ(init_(), 0);
  INV_INFO info;
  int ret = 0, calls = 0;
  while ((ret = file_(&info)) != 1 && calls < 10) ++calls;
  ASSERT_EQ(ret, 1);
  // A host that calls again after the end hears the end again, and nothing
  // more is delivered.
  EXPECT_EQ(file_(&info), 1);
  EXPECT_EQ(file_(&info), 1);
  EXPECT_EQ(close_(), 0);
  EXPECT_EQ(Lines(inst.fxsend_log()).size(), 2u);  // cwd= and args= of one delivery
}

TEST_F(Run, TotalSizeHoldsAtItsLimits) {
  struct Case {
    const char *group, *lines, *total;
  } cases[] = {
      {"g1", "g1,9223372036854775807\ng1,1\n", "9223372036854775807"},
      {"g2", "g2,-9223372036854775807\ng2,-5\n", "-9223372036854775808"},
      {"g3", "g3,99999999999999999999\ng3,99999999999999999999\n", "9223372036854775807"},
      {"g4", "g4,100\ng4,\ng4,250\n", "350"},
  };
  Entries hw;
  std::string lines, row;
  for (const Case &c : cases) {
    hw.push_back({"2,0,0,0,0", std::string("TOTALSIZE(T:2,T:1=") + c.group + ")"});
    lines += c.lines;
    row += std::string(row.empty() ? "" : ",") + c.total;
  }
  inst.WriteEtc("RazInv.ini", Definitions(hw, {}, "A=a %s\nT=t %s\n"));
  Nodes({"n1"});
  inst.Answer("t n1", lines);
  RunResult r = Go();
  ASSERT_EQ(r.nodes.size(), 1u);
  EXPECT_EQ(Lines(r.nodes[0].content), (std::vector<std::string>{row}));
}

TEST_F(Run, EmptyInterfaceCountIsTracedAsSuch) {
  Nodes({"n1"});
  inst.Answer("if n1", "");
  RunResult r = Go();
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1"}));
  EXPECT_EQ(r.repository, "");
  std::string err = inst.trace("QvAdnerl03");
  EXPECT_NE(err.find("(Error)fgets : No interface count, the result is empty : FILE = " +
                     inst.path("tmp/hard/Interface.csv")),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("(Error)fgets : ErrNo"), std::string::npos) << err;
}

}  // namespace
