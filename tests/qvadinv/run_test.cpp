// Whole inventory runs through the front library, as a host drives them:
// Init, File until no node is left, Close, against canned warehouse answers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/host.h"
#include "platform/library.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/sys.h"
#include "run_fixture.h"

namespace {

using qvtest::Lines;
using qvtest::ReadFile;
using qvtest::Run;
using qvtest::RunResult;

std::size_t Count(const std::string &text, const std::string &what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(Run, FirstAndSecondRunWithRemovedNodes) {
  Nodes({"n1", "n2", "n3"});
  RunResult r = Go();
  ASSERT_EQ(r.init, 0);
  EXPECT_EQ(r.close, 0);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1", "0:n2", "0:n3"}));
  ASSERT_EQ(r.nodes.size(), 3u);
  EXPECT_EQ(r.nodes[0].attr, "attr-n1");
  EXPECT_EQ(r.nodes[0].file, inst.path("ret/n1.csv"));
  EXPECT_EQ(Lines(r.nodes[0].content), (std::vector<std::string>{"hw-n1,\"lit\",2"}));
  // One repository row per interface: interface column, HOST, MACHINEGET, OPERATION.
  EXPECT_EQ(Lines(r.repository), (std::vector<std::string>{"eth0,Site.n1,Alpha/Beta,3", "eth1,Site.n1,Alpha/Beta,3",
                                                           "eth0,Site.n2,Alpha/Beta,3", "eth1,Site.n2,Alpha/Beta,3",
                                                           "eth0,Site.n3,Alpha/Beta,3", "eth1,Site.n3,Alpha/Beta,3"}));
  // Each node's file is deleted by the next call; working files by Close.
  EXPECT_FALSE(qvtest::Exists(inst.path("ret/n1.csv")));
  EXPECT_FALSE(qvtest::Exists(inst.path("ret/n3.csv")));
  EXPECT_FALSE(qvtest::Exists(inst.path("ret/Repository.csv")));
  EXPECT_FALSE(qvtest::Exists(inst.path("tmp/hard/ovdwquery.txt")));
  EXPECT_NE(inst.trace("QvAdnerl03").find("(Warning)Qvad_CreateNodeBak"), std::string::npos);
  // This computer is not first: nothing is delivered.
  EXPECT_EQ(inst.fxsend_log(), "");

  Nodes({"n3", "n1"});
  r = Go();
  ASSERT_EQ(r.init, 0);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n3", "0:n1", "0:n2"}));
  ASSERT_EQ(r.nodes.size(), 3u);
  EXPECT_EQ(r.nodes[2].file, "");  // removed since the last run
  EXPECT_EQ(r.nodes[2].attr, "attr-n2");
  EXPECT_EQ(Lines(ReadFile(inst.path("var/node.bak")))[0], "n1,attr-n1");
}

TEST_F(Run, OwnNodeFirstAndDelivery) {
  const std::string fqdn = host_ + ".example.local";
  Nodes({fqdn, host_, "n1"});
  // Setting 0: the own entries give their repository rows at Init and are not returned.
  inst.WriteEtc("RazSetting.ini", "[Repository]\nown=1\n[Inventory]\nown=0\n");
  RunResult r = Go();
  ASSERT_EQ(r.init, 0);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1"}));
  EXPECT_EQ(Lines(r.repository)[0], "eth0,Site." + fqdn + ",Alpha/Beta,3");
  EXPECT_EQ(Lines(r.repository).size(), 4u);  // the own node's two rows, then n1's two
  auto fx = Lines(inst.fxsend_log());
  ASSERT_EQ(fx.size(), 2u);
  EXPECT_EQ(fx[0], "cwd=" + inst.path("ret"));
  EXPECT_EQ(fx[1], "args=[-a] [QvadNerl] [-d] [TEXT] [-f] [Repository.csv] [-p] [Repository.csv]");
  EXPECT_EQ(Lines(ReadFile(inst.fxsend_dir() + plat::kSep + "Repository.csv")), Lines(r.repository));

  // Setting 1 and type 2: every node is returned, the site name goes into -p.
  inst.WriteEtc("RazSetting.ini", "[Repository]\nown=1\n[Inventory]\nown=1\n");
  inst.WriteEtc("RepInfo.ini", "[General]\nType=2\nSiteName=Site\n");
  r = Go();
  ASSERT_EQ(r.init, 0);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:" + fqdn, "0:" + host_, "0:n1"}));
  EXPECT_EQ(Lines(r.repository)[0], "Site." + fqdn);
  fx = Lines(inst.fxsend_log());
  ASSERT_EQ(fx.size(), 4u);
  EXPECT_EQ(fx[3], "args=[-a] [QvadNerl] [-d] [TEXT] [-f] [Repository.csv] [-p] [Site Repository.csv]");

  // Delivery off.
  inst.WriteEtc("RazSetting.ini", "[Repository]\nown=0\n[Inventory]\nown=1\n");
  r = Go();
  ASSERT_EQ(r.init, 0);
  EXPECT_EQ(r.nodes.size(), 3u);
  EXPECT_EQ(Lines(inst.fxsend_log()).size(), 4u);
}

TEST_F(Run, RepeatsFailuresAndRefusedNames) {
  Nodes({"n1", "n1", "n2", "../evil", "bad", "n1"});
  inst.AnswerFail("a bad", 1);  // listed first, so it wins over nothing: "bad" is not known yet
  RunResult r = Go();
  ASSERT_EQ(r.init, 0);
  // Consecutive repeats are skipped; a later repeat is returned again. A
  // failing query (-5) and a name that would leave the result folder (-8)
  // cost only their own node.
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1", "0:n2", "-8:", "-5:", "0:n1"}));
  ASSERT_EQ(r.nodes.size(), 5u);
  EXPECT_EQ(r.nodes[2].file, "");
  EXPECT_EQ(r.nodes[3].attr, "");
  std::string err = inst.trace("QvAdnerl03");
  EXPECT_NE(err.find("Name = ../evil"), std::string::npos) << err;
  EXPECT_NE(inst.trace("QvAdnerl04").find("Same Node Skip: n1"), std::string::npos);
  EXPECT_FALSE(qvtest::Exists(inst.path("evil.csv")));

  // A run whose text flag cannot be read fails every node's collection.
  std::string ini = qvtest::kRazInv;
  ini.replace(ini.find("flag=0\n"), 7, "");
  inst.WriteEtc("RazInv.ini", ini);
  Nodes({"n1", "n2"});
  r = Go();
  // The nodes gone since the last run still follow, with no file.
  EXPECT_EQ(Names(r), (std::vector<std::string>{"-8:", "-8:", "0:../evil", "0:bad"}));
  // Operators' scripts match this text as it always was: it names another
  // routine and ends in a blank.
  std::size_t text_failures = 0;
  for (const std::string &line : Lines(inst.trace("QvAdnerl03"))) {
    std::size_t at = line.find("| (Error)Qvad_OdbcSQLExecf : ");
    if (at == std::string::npos) continue;
    ++text_failures;
    EXPECT_NE(line.find(" lvl=3 "), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 11), " | 22 | -1 ") << line;
  }
  EXPECT_EQ(text_failures, 2u);
  EXPECT_EQ(inst.trace("QvAdnerl03").find("(Error)Qvad_GetTextFlag"), std::string::npos);
  // The refused nodes' repository rows, written before the text switch was
  // found unreadable, do not stay in the run's repository file.
  EXPECT_EQ(r.repository, "");
}

TEST_F(Run, ARepositoryFileThatIsNotTheRunsOwnIsNotDelivered) {
  qvtest::EnvVar events("QVAD_EVENTLOG_FILE", inst.path("var/events.log"));
  Nodes({host_, "n1", "n2"});
  struct Case {
    const char *what;
    std::string stray;  // written into the file after the first node
  } cases[] = {
      {"a cut row", "eth9,Site.cut"},
      {"a whole row of someone else's", "eth9,Site.other,Alpha,3\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::remove((inst.fxsend_dir() + plat::kSep + "Repository.csv").c_str());
    ASSERT_EQ(init_(), 0);
    INV_INFO info;
    ASSERT_EQ(file_(&info), 0);
    const std::string repository = inst.path("ret/Repository.csv");
    ASSERT_TRUE(qvtest::WriteFile(repository, ReadFile(repository) + c.stray));
    std::vector<int> rets;
    for (int ret = 0, guard = 0; ret != 1 && guard < 10; ++guard) rets.push_back(ret = file_(&info));
    close_();
    EXPECT_EQ(rets, (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(inst.fxsend_log(), "");
    EXPECT_FALSE(qvtest::Exists(inst.fxsend_dir() + plat::kSep + "Repository.csv"));
    std::string err = inst.trace("QvAdnerl03");
    EXPECT_NE(err.find("(Error)Repository.csv not delivered, it is not whole : FileName = " +
                       inst.path("ret/Repository.csv")),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("(Error)Repository.csv changed outside the run"), std::string::npos) << err;
    EXPECT_NE(err.find(" | it was changed outside the run"), std::string::npos) << err;
  }
  if (plat::kExeSuffix[0] == '\0') {  // the Win32 event log keeps its events itself
    EXPECT_EQ(Count(ReadFile(inst.path("var/events.log")), "0xE0000C86"), 2u);
  }
}

TEST_F(Run, EmptyRepositoryCellsAreTracedAndTheNodeSucceeds) {
  // No machine kind flagged and no edition install type: MACHINEGET comes
  // out empty and OPERATION fails; the row is still written, the node is
  // handed out, and the error channel has the entries operators know.
  Nodes({"n1"});
  inst.Answer("a n1", "n1,hw-n1,eth0,0,0\n");
  inst.Answer("if n1", "1\n");
  plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, "SOFTWARE\\Vantrel\\Quorvane\\CurrentVersion",
                            "DM InstallType");
  RunResult r = Go();
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1"}));
  EXPECT_EQ(Lines(r.repository), (std::vector<std::string>{"eth0,Site.n1,,"}));
  std::string err = inst.trace("QvAdnerl03");
  // (Only four definitions: "IniCnt = 4" cannot be the start of a longer number.)
  for (const char *entry : {"| (Error)Qvad_GetCurrentInvDB(Repo) No Match Data: IniCnt = 3", "| 22 | 87 | IniCnt = 4",
                            "| (Error)Qvad_GetCurrentInvDB(Repo) No Match Data: IniCnt = 4"}) {
    EXPECT_NE(err.find(entry), std::string::npos) << entry << "\n" << err;
  }
  EXPECT_NE(err.find("| (Error)Qvad_GetCurrentInvDB(Repo) : "), std::string::npos) << err;
}

TEST_F(Run, TextRowsFollowTheHardwareRow) {
  std::string ini = qvtest::kRazInv;
  ini.replace(ini.find("flag=0"), 6, "flag=1");
  inst.WriteEtc("RazInv.ini", ini);
  Nodes({"n1"});
  RunResult r = Go();
  ASSERT_EQ(r.nodes.size(), 1u);
  // The hardware row, then one row per line of A.csv: line number, the line itself.
  EXPECT_EQ(Lines(r.nodes[0].content),
            (std::vector<std::string>{"hw-n1,\"lit\",2", "1,\"n1,hw-n1,eth0,1,0", "\"", "2,\"n1,x,eth1,0,1", "\""}));
}

TEST_F(Run, RowsOverEightyThousandBytes) {
  // 160 literal cells: 159 of 499 bytes and one of 500 make a row of exactly
  // 80000 bytes with its commas; one byte more and every long cell is emptied.
  auto ini_for = [](int last) {
    std::string s = "[NodeInfo]\n1=nodes\n[Table]\nA=a %s\n[Interface]\n1=if %s\n2=A\n[HardwareSetting]\ncount=160\n";
    for (int i = 1; i <= 160; ++i) s += std::to_string(i) + "=1,0,0,0,0\n";
    s += "[HardwareInventory]\n";
    for (int i = 1; i <= 160; ++i) s += std::to_string(i) + "=" + std::string(i == 160 ? last : 499, 'v') + "\n";
    return s + "[RepositorySetting]\ncount=0\n[RepositoryMachineName]\ncount=0\n[TextSetting]\nflag=0\ncount=0\n";
  };
  Nodes({"n1"});
  inst.WriteEtc("RazInv.ini", ini_for(500));
  RunResult r = Go();
  ASSERT_EQ(r.nodes.size(), 1u);
  EXPECT_EQ(Lines(r.nodes[0].content)[0].size(), 80000u);
  inst.WriteEtc("RazInv.ini", ini_for(501));
  r = Go();
  ASSERT_EQ(r.nodes.size(), 1u);
  EXPECT_EQ(Lines(r.nodes[0].content)[0], std::string(159, ','));
  EXPECT_NE(inst.trace("QvAdnerl03").find("(Warning)Qvad_CreateRetFile 80000ByteOver(HW)"), std::string::npos);
}

TEST_F(Run, ResultStemsMatchWhateverTheirLetterCase) {
  // The table's key names the result file; the definitions may spell it
  // in another case, as the warehouse's own table names are often written.
  struct Case {
    std::string key, ref;
  } cases[] = {{"A", "a"}, {"cpu", "CpU"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.key + " read as " + c.ref);
    std::string ini = qvtest::kRazInv;
    const std::string table = "[Table]\nA=", counted = "2=A\n";
    ini.replace(ini.find(table), table.size(), "[Table]\n" + c.key + "=");
    // The per-interface table is named as the definitions name it: that is a
    // comparison of names, not a file, and as exact on Windows.
    ini.replace(ini.find(counted), counted.size(), "2=" + c.ref + "\n");
    for (std::size_t at = ini.find("A:"); at != std::string::npos; at = ini.find("A:", at))
      ini.replace(at, 2, c.ref + ":");
    inst.WriteEtc("RazInv.ini", ini);
    Nodes({"n1", "n2"});
    RunResult r = Go();
    ASSERT_EQ(r.init, 0);
    EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1", "0:n2"}));
    ASSERT_EQ(r.nodes.size(), 2u);
    EXPECT_EQ(Lines(r.nodes[1].content), (std::vector<std::string>{"hw-n2,\"lit\",2"}));
    EXPECT_EQ(Lines(r.repository),
              (std::vector<std::string>{"eth0,Site.n1,Alpha/Beta,3", "eth1,Site.n1,Alpha/Beta,3",
                                        "eth0,Site.n2,Alpha/Beta,3", "eth1,Site.n2,Alpha/Beta,3"}));
  }
}

TEST_F(Run, SecondHostWaitsForTheFirstClose) {
  // A second host process must wait for our Close, whatever runtime folder
  // it was started with: the lock belongs to the install, not the caller.
  for (const std::string &rundir : {plat::GetEnv("QVAD_RUNDIR"), inst.path("var") + plat::kSep + "otherrun"}) {
    SCOPED_TRACE(rundir);
    std::size_t waits_before = Count(inst.trace("QvAdnerl04"), "Qvad_EmInvInit Wait Mutex.");
    std::size_t gets_before = Count(inst.trace("QvAdnerl04"), "Qvad_EmInvInit Get Mutex.");
    Nodes({"n1"});
    ASSERT_EQ(init_(), 0);
    plat::ProcessOptions opt;
    std::string out = inst.path("var/host.out");
    std::FILE *f = std::fopen(out.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    opt.std_out = opt.std_err = plat::FileHandleOf(f);
    plat::Process p;
    {
      qvtest::EnvVar other("QVAD_RUNDIR", rundir);  // for the second host only
      ASSERT_TRUE(plat::StartProcess((qvtest::BinPath("qvadinvhost") + " --lib " + std::string(QVAD_BIN_DIR) +
                                      plat::kSep + plat::LibraryFileName("qvadinv"))
                                         .c_str(),
                                     opt, &p));
    }
    std::fclose(f);
    bool waiting = false;
    for (int i = 0; i < 600 && !waiting; ++i) {
      waiting = Count(inst.trace("QvAdnerl04"), "Qvad_EmInvInit Wait Mutex.") > waits_before;
      if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(waiting);
    EXPECT_EQ(plat::WaitProcess(p.handle, 0), 1);  // still blocked in Init
    EXPECT_EQ(close_(), 0);
    ASSERT_EQ(plat::WaitProcess(p.handle, 120000), 0);
    std::uint32_t code = 99;
    plat::ProcessExitCode(p.handle, &code);
    plat::CloseProcess(p.handle);
    EXPECT_EQ(code, 0u);
    std::string printed = ReadFile(out);
    EXPECT_NE(printed.find("Init: 0"), std::string::npos) << printed;
    EXPECT_NE(printed.find("summary: nodes=1 failed=0"), std::string::npos) << printed;
    EXPECT_NE(printed.find(" query_timeout_s=900"), std::string::npos) << printed;
    EXPECT_EQ(Count(inst.trace("QvAdnerl04"), "Qvad_EmInvInit Get Mutex."), gets_before + 1);
  }
}

TEST_F(Run, InitFailures) {
  inst.WriteEtc("RepInfo.ini", "[General]\nSiteName=x\n");
  EXPECT_EQ(Go().init, -6);
  EXPECT_NE(inst.trace("QvAdnerl03").find("(Error)Repository Method (Data Non) : ffffffff"), std::string::npos);
  inst.WriteEtc("RepInfo.ini", "[General]\nType=3\n");
  EXPECT_EQ(Go().init, -6);
  EXPECT_NE(inst.trace("QvAdnerl03").find("(Error)Repository Method (No Match) : 3"), std::string::npos);
  inst.WriteEtc("RepInfo.ini", "[General]\nType=0\n");
  inst.AnswerFail("nodes", 2);
  EXPECT_EQ(Go().init, -6);
  // An empty node list is a run with nothing to do.
  inst.Answer("nodes", "");
  RunResult r = Go();
  EXPECT_EQ(r.init, 0);
  EXPECT_TRUE(r.nodes.empty());
  EXPECT_NE(inst.trace("QvAdnerl04").find("(Info) Number of Monitoring Target Node is Zero."), std::string::npos);
  // A failed Init releases the mutex: the next run gets it at once.
  EXPECT_EQ(inst.trace("QvAdnerl04").find("Wait Mutex"), std::string::npos);
}

}  // namespace
