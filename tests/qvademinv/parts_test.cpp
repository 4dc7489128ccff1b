// The engine's steps one by one against a scratch installation: settings
// readers, query table and query tool runs, node lists, delivery.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cmn/qvadmiscinv/qvadinvctx.h"
#include "cmn/qvadmiscinv/qvadnodelist.h"
#include "cmn/qvadmiscinv/qvadquerytbl.h"
#include "cmn/qvadmiscinv/qvadsettings.h"
#include "cmn/qvadmiscrep/qvadmiscrep.h"
#include "hp_ov/qvademinv/qvadovnodes.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "invinstall.h"
#include "platform/host.h"
#include "platform/registry.h"
#include "platform/sys.h"

namespace {

using qvtest::InvInstall;

class Parts : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(Qvad_InvContext(), 0, sizeof(InvRunContext));
    Qvad_TraceOpen(&Qvad_InvContext()->ErrTrace, 0, kInvErrChannel);
    Qvad_TraceOpen(&Qvad_InvContext()->InfoTrace, 0, kInvInfoChannel);
  }
  void TearDown() override {
    Qvad_TraceClose(&Qvad_InvContext()->ErrTrace, 0);
    Qvad_TraceClose(&Qvad_InvContext()->InfoTrace, 0);
  }
  std::string Hard() const { return inst.path("tmp/hard/"); }
  std::string Out() const { return inst.path("tmp/hard/ovdwquery.txt"); }
  // The query tool as the run finds it at Init.
  QvadQuerySite Site() {
    if (Qvad_InvOvInstDirGet(tool_, sizeof tool_) != 0) tool_[0] = '\0';
    return QvadQuerySite{tool_, Hard(), Out(), nullptr};
  }
  std::string Etc(const char *name) const { return inst.path(std::string("etc/") + name); }
  char tool_[260] = {};

  InvInstall inst{"inv2parts"};
  QVAD_ERROR_TBL err{};
};

TEST_F(Parts, SettingsReadersJudgeTheirValues) {
  int v = -7;
  const std::string setting = Etc("RazSetting.ini"), razinv = Etc("RazInv.ini");
  // No RazSetting.ini: delivery on, own-node setting missing (-1).
  EXPECT_EQ(Qvad_GetRepFlag(setting.c_str(), &v, &err), 1);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(Qvad_GetOwnSetting(setting.c_str(), &v, &err), 0);
  EXPECT_EQ(err.local_code, 22);
  EXPECT_EQ(err.system_code, 0xFFFFFFFFu);
  inst.WriteEtc("RazSetting.ini", "[Repository]\nown=2\n[Inventory]\nown=2\n");
  EXPECT_EQ(Qvad_GetRepFlag(setting.c_str(), &v, &err), 1);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(Qvad_GetOwnSetting(setting.c_str(), &v, &err), 0);
  EXPECT_EQ(err.system_code, 2u);
  inst.WriteEtc("RazSetting.ini", "[Repository]\nown=0\n[Inventory]\nown=1\n");
  EXPECT_EQ(Qvad_GetRepFlag(setting.c_str(), &v, &err), 1);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(Qvad_GetOwnSetting(setting.c_str(), &v, &err), 1);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(Qvad_GetTextFlag(razinv.c_str(), &v, &err), 0);  // no RazInv.ini
  inst.WriteEtc("RazInv.ini", "[TextSetting]\nflag=1\n");
  EXPECT_EQ(Qvad_GetTextFlag(razinv.c_str(), &v, &err), 1);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(Qvad_GetTextFlag(razinv.c_str(), nullptr, &err), 0);
  EXPECT_EQ(err.system_code, 87u);

  std::uint32_t dm = 3;
  ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadEditionKey, "DM InstallType", plat::kRegDword, &dm, 4),
            0u);
  char out[16];
  EXPECT_EQ(Qvad_InvOvGetRepoOperationType("PRISMSUITE", out, sizeof out, &err), 0);
  EXPECT_STREQ(out, "3");
  EXPECT_EQ(Qvad_InvOvGetRepoOperationType("PRISMSUITE", out, 1, &err), -3);
  EXPECT_EQ(Qvad_InvOvGetRepoOperationType("TIDALSUITE", out, sizeof out, &err), -3);  // value absent
  EXPECT_EQ(Qvad_InvOvGetRepoOperationType("prismsuite", out, sizeof out, &err), -3);
  EXPECT_EQ(err.local_code, 22);
  plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadEditionKey, "DM InstallType");
}

TEST_F(Parts, QueryTemplatesTakeOnlyTheNodeName) {
  char out[32];
  EXPECT_TRUE(Qvad_FormatQuery("a='%s' and b like 'x%%'", "n1", out, sizeof out));
  EXPECT_STREQ(out, "a='n1' and b like 'x%'");
  // Any other conversion is refused rather than formatted with one argument.
  EXPECT_FALSE(Qvad_FormatQuery("a=%d", "n1", out, sizeof out));
  EXPECT_FALSE(Qvad_FormatQuery("a=%s %n", "n1", out, sizeof out));
  EXPECT_FALSE(Qvad_FormatQuery("trailing %", "n1", out, sizeof out));
  EXPECT_STREQ(out, "");
  EXPECT_FALSE(Qvad_FormatQuery("%s", std::string(40, 'n').c_str(), out, sizeof out));
  EXPECT_TRUE(Qvad_FormatQuery("%s", std::string(31, 'n').c_str(), out, sizeof out));
}

TEST_F(Parts, QueryTableKeepsKeyOrderAndRefusesLongKeys) {
  inst.WriteEtc("RazInv.ini", "[Table]\nzz=Q1 %s\naa=Q2 %s\n[Empty]\n[Long]\nabcdefgh=x\n");
  std::string ini = inst.path("etc/RazInv.ini");
  QueryTableEntry *t = nullptr;
  ASSERT_EQ(Qvad_GetQueryTbl(&t, ini.c_str(), "Table", &err), 1);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->key, "zz");
  EXPECT_STREQ(t->query, "Q1 %s");
  ASSERT_NE(t->next, nullptr);
  EXPECT_STREQ(t->next->key, "aa");
  EXPECT_EQ(t->next->next, nullptr);
  Qvad_FreeQueryTbl(t);
  EXPECT_EQ(Qvad_GetQueryTbl(&t, ini.c_str(), "Empty", &err), 0);
  EXPECT_EQ(err.local_code, 22);
  EXPECT_EQ(Qvad_GetQueryTbl(&t, ini.c_str(), "Long", &err), 0);
  EXPECT_EQ(t, nullptr);
}

TEST_F(Parts, QueryToolRunsAreJudgedByExitCodeAndResultFile) {
  inst.WriteEtc("RazInv.ini", "[Table]\nA=qa %s\nB=qb %s\n");
  inst.Answer("qa n1", "1,2\n");
  inst.Answer("qb n1", "3,4\n");
  std::string ini = inst.path("etc/RazInv.ini");
  QueryTableEntry *t = nullptr;
  ASSERT_EQ(Qvad_GetQueryTbl(&t, ini.c_str(), "Table", &err), 1);
  EXPECT_EQ(Qvad_InvOvQueryTblExec(Site(), "n1", t), 0);
  EXPECT_EQ(qvtest::ReadFile(inst.path("tmp/hard/A.csv")), "1,2\n");
  EXPECT_EQ(qvtest::ReadFile(inst.path("tmp/hard/B.csv")), "3,4\n");
  EXPECT_FALSE(qvtest::Exists(inst.path("tmp/hard/A.txt")));

  // A failing query stops the table; its query file stays for diagnosis.
  inst.AnswerFail("qa n2", 1);
  EXPECT_EQ(Qvad_InvOvQueryTblExec(Site(), "n2", t), -1);
  EXPECT_TRUE(qvtest::Exists(inst.path("tmp/hard/A.txt")));
  EXPECT_NE(inst.trace("QvAdnerl03").find("(Error)ovdwquery process: dwRet = 1"), std::string::npos);
  EXPECT_NE(qvtest::ReadFile(Out()).find("canned failure 1"), std::string::npos);

  // Exit code 0 without a result file is a failure too.
  inst.AnswerFail("qa n3", 0);
  EXPECT_EQ(Qvad_InvOvQueryTblExec(Site(), "n3", t), -1);
  EXPECT_NE(inst.trace("QvAdnerl03").find("No DB execution result file"), std::string::npos);

  // A template with another conversion never reaches the tool.
  std::snprintf(t->query, sizeof t->query, "%s", "qa %s %d");
  EXPECT_EQ(Qvad_InvOvQueryTblExec(Site(), "n1", t), -1);
  Qvad_FreeQueryTbl(t);

  inst.SetNnmInstallDir(false);
  std::string q = Hard() + "x.txt";
  ASSERT_EQ(Qvad_InvOvQueryFileMake("qa n1", q.c_str()), 0);
  EXPECT_EQ(Qvad_InvOvQueryCmd(Site(), q.c_str(), (Hard() + "x.csv").c_str()), -1);
}

TEST_F(Parts, InterfaceCountComesFromTheFirstLine) {
  inst.WriteEtc("RazInv.ini", "[Interface]\n1=count %s\n2=if\n");
  inst.Answer("count n12", "12\n");
  inst.Answer("count nletters", "abc\n");
  inst.Answer("count nempty", "");
  EXPECT_EQ(Qvad_InvOvInterface(Site(), "count %s", "n12"), 12);
  EXPECT_EQ(Qvad_InvOvInterface(Site(), "count %s", "nletters"), 0);
  EXPECT_EQ(Qvad_InvOvInterface(Site(), "count %s", "nempty"), -1);
  EXPECT_NE(inst.trace("QvAdnerl03").find("(Error)fgets : No interface count, the result is empty"), std::string::npos);
  EXPECT_FALSE(qvtest::Exists(inst.path("tmp/hard/Interface.csv")));
  EXPECT_FALSE(qvtest::Exists(inst.path("tmp/hard/Interface.txt")));
  EXPECT_EQ(Qvad_InvOvInterface(Site(), "count %s", "unknown"), -1);
}

TEST_F(Parts, NodeListsOwnEntriesFirstAndRemovedNodes) {
  char host[129] = {};
  std::uint32_t code = 0;
  ASSERT_EQ(plat::HostName(host, sizeof host, &code), 1);
  std::string h = host;
  std::string short_host = h.substr(0, h.find('.'));
  std::string csv = inst.path("var/node.csv");
  std::string bak = inst.path("var/node.bak");
  // First run: nothing to back up.
  EXPECT_EQ(Qvad_CreateNodeBak(csv.c_str(), bak.c_str(), &err), 0);
  EXPECT_EQ(err.local_code, 2);

  qvtest::WriteFile(csv, "\"a.example.local\",\"10.0.0.1\"\r\nB,attr,ignored\n" + short_host + ",own1\n" + short_host +
                             ".example.local,own2\nC,x");
  NodeEntry *list = nullptr;
  ASSERT_EQ(Qvad_GetNodeInfoEx(&list, csv.c_str(), &err), 1);
  std::vector<std::string> names, attrs;
  for (NodeEntry *e = list; e != nullptr; e = e->next) {
    names.push_back(e->NodeName);
    attrs.push_back(e->NodeAttr);
  }
  EXPECT_EQ(names, (std::vector<std::string>{short_host, short_host + ".example.local", "a.example.local", "B", "C"}));
  EXPECT_EQ(attrs, (std::vector<std::string>{"own1", "own2", "10.0.0.1", "attr", "x"}));

  ASSERT_EQ(Qvad_CreateNodeBak(csv.c_str(), bak.c_str(), &err), 1);
  qvtest::WriteFile(csv, "b,attr\nC,x\nD,y\n");
  NodeEntry *now = nullptr;
  ASSERT_EQ(Qvad_GetNodeInfo(&now, csv.c_str(), &err), 1);
  NodeEntry *removed = nullptr;
  ASSERT_EQ(Qvad_GetRmNodeInfo(&removed, bak.c_str(), now, &err), 1);
  names.clear();
  for (NodeEntry *e = removed; e != nullptr; e = e->next) names.push_back(e->NodeName);
  // In the backup's file order; names compare byte for byte, so B and b differ.
  EXPECT_EQ(names, (std::vector<std::string>{"a.example.local", "B", short_host, short_host + ".example.local"}));
  Qvad_FreeNodeList(list);
  Qvad_FreeNodeList(now);
  Qvad_FreeNodeList(removed);

  for (const std::string &bad : {std::string("a,b\n\nc,d\n"), std::string("nocomma\n")}) {
    qvtest::WriteFile(csv, bad);
    list = reinterpret_cast<NodeEntry *>(1);
    EXPECT_EQ(Qvad_GetNodeInfo(&list, csv.c_str(), &err), 0) << bad;
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(err.local_code, 22);
  }
  // A name or attribute too long for its field is marked on its entry (the
  // run refuses that node alone); the limits hold for the unquoted text.
  qvtest::WriteFile(csv, std::string(128, 'n') + "," + std::string(39, 'a') + "\n\"" + std::string(128, 'q') +
                             "\",a\n" + std::string(129, 'n') + ",a\nn," + std::string(40, 'a') + "\n");
  ASSERT_EQ(Qvad_GetNodeInfo(&list, csv.c_str(), &err), 1);
  std::vector<bool> too_long;
  for (NodeEntry *e = list; e != nullptr; e = e->next) too_long.push_back(e->TooLong);
  EXPECT_EQ(too_long, (std::vector<bool>{false, false, true, true}));
  Qvad_FreeNodeList(list);
}

TEST_F(Parts, NodeListMakeRunsTheNodeQuery) {
  std::string ini = inst.path("etc/RazInv.ini");
  std::string csv = inst.path("var/node.csv");
  InvRunContext run{};
  std::snprintf(run.InstallDir, sizeof run.InstallDir, "%s", inst.install().c_str());
  std::snprintf(run.RazInvPath, sizeof run.RazInvPath, "%s", ini.c_str());
  inst.WriteEtc("RazInv.ini", "[Other]\n");
  EXPECT_EQ(Qvad_InvOvNodeListMake(run, Site(), csv.c_str()), -1);
  inst.WriteEtc("RazInv.ini", "[NodeInfo]\n1=select 100%\n");
  inst.Answer("select 100%", "n1,a1\n");
  EXPECT_EQ(Qvad_InvOvNodeListMake(run, Site(), csv.c_str()), 0);
  EXPECT_EQ(qvtest::ReadFile(csv), "n1,a1\n");
  EXPECT_FALSE(qvtest::Exists(inst.path("var/node.txt")));
}

TEST_F(Parts, DeliveryComposesTheCommandAndJudgesItsExit) {
  std::string ret = inst.path("ret") + plat::kSep;
  std::string repinfo = inst.path("etc/RepInfo.ini");
  qvtest::WriteFile(ret + "Repository.csv", "row\n");
  char before[260] = {};
  ASSERT_TRUE(plat::CurrentDirectory(before, sizeof before));

  EXPECT_EQ(Qvad_fxsend(ret.c_str(), "Repository.csv", repinfo.c_str(), &err), 0);  // no RepInfo.ini
  EXPECT_EQ(err.local_code, 22);
  EXPECT_EQ(err.system_code, 87u);

  inst.WriteEtc("RepInfo.ini", "[General]\nType=0\n");
  ASSERT_EQ(Qvad_fxsend(ret.c_str(), "Repository.csv", repinfo.c_str(), &err), 1);
  auto lines = qvtest::Lines(inst.fxsend_log());
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "cwd=" + inst.path("ret"));
  EXPECT_EQ(lines[1], "args=[-a] [QvadNerl] [-d] [TEXT] [-f] [Repository.csv] [-p] [Repository.csv]");
  EXPECT_EQ(qvtest::ReadFile(inst.fxsend_dir() + plat::kSep + "Repository.csv"), "row\n");

  inst.WriteEtc("RepInfo.ini", "[General]\nType=2\nSiteName=\n");
  EXPECT_EQ(Qvad_fxsend(ret.c_str(), "Repository.csv", repinfo.c_str(), &err), 0);
  inst.WriteEtc("RepInfo.ini", "[General]\nType=2\nSiteName=Site \"x\n");
  EXPECT_EQ(Qvad_fxsend(ret.c_str(), "Repository.csv", repinfo.c_str(), &err), 0);
  EXPECT_EQ(err.local_code, 22);
  EXPECT_EQ(qvtest::Lines(inst.fxsend_log()).size(), 2u);  // nothing ran

  inst.WriteEtc("RepInfo.ini", "[General]\nType=2\nSiteName=Site A\n");
  ASSERT_EQ(Qvad_fxsend(ret.c_str(), "Repository.csv", repinfo.c_str(), &err), 1);
  lines = qvtest::Lines(inst.fxsend_log());
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[3], "args=[-a] [QvadNerl] [-d] [TEXT] [-f] [Repository.csv] [-p] [Site A Repository.csv]");

  {
    qvtest::EnvVar code("FXSEND_EXIT", "3");
    EXPECT_EQ(Qvad_fxsend(ret.c_str(), "Repository.csv", repinfo.c_str(), &err), 0);
    EXPECT_EQ(err.local_code, 22);
    EXPECT_EQ(err.system_code, 3u);
  }
  char after[260] = {};
  ASSERT_TRUE(plat::CurrentDirectory(after, sizeof after));
  EXPECT_STREQ(after, before);
  EXPECT_EQ(Qvad_fxsend(inst.path("missing").c_str(), "Repository.csv", repinfo.c_str(), &err), 0);
  EXPECT_EQ(err.local_code, 22);
}

}  // namespace
