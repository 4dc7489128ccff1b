// The preflight check foresees the run: an install broken in one way gets
// its FAIL line (exit 2), and a real run through the front library then
// ends as that line said.
#include <filesystem>
#include <functional>

#include "cmn/qvadinstall.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "run_fixture.h"

namespace fs = std::filesystem;

namespace {

using qvtest::Run;
using qvtest::RunResult;

struct CheckOutcome {
  int rc;
  std::string out;
};

class CheckForesees : public Run {
 protected:
  CheckOutcome RunCheck(const std::string &args = "") {
    std::string out = inst.path("check.txt");
    int rc = qvtest::Run("\"" + qvtest::BinPath("qvadcheck") + "\"" + args, out);
    return {rc, qvtest::ReadFile(out)};
  }
  static std::vector<std::string> Fails(const std::string &out) {
    std::vector<std::string> f;
    for (const std::string &l : qvtest::Lines(out))
      if (l.rfind("FAIL ", 0) == 0) f.push_back(l);
    return f;
  }
};

std::string Replaced(std::string text, const std::string &from, const std::string &to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

TEST_F(CheckForesees, EachBrokenInstallAndItsRun) {
  fs::create_directories(plat::RuntimeDir());
  Nodes({"n1", "n2"});
  CheckOutcome good = RunCheck();
  ASSERT_TRUE(Fails(good.out).empty()) << good.out;
  std::string query_dir = inst.path("nnm");
  struct Case {
    const char *name;
    std::function<void()> brake;
    std::string fail;  // what the one FAIL line holds
    std::function<void(const RunResult &)> run;
    bool posix_only;
  };
  auto every_node_refused = [](const RunResult &r) {
    EXPECT_EQ(r.init, 0);
    ASSERT_FALSE(r.nodes.empty());
    for (const auto &n : r.nodes) EXPECT_EQ(n.ret, -8) << n.name;
  };
  const Case cases[] = {
      {"a definition reads a table [Table] does not define",
       [&] { inst.WriteEtc("RazInv.ini", Replaced(qvtest::kRazInv, "1=A:2\n", "1=disk:2\n")); },
       "[HardwareInventory] 1: reads table disk, which [Table] does not define", every_node_refused, false},
      {"[Interface] 2 names no [Table] key",
       [&] { inst.WriteEtc("RazInv.ini", Replaced(qvtest::kRazInv, "\n2=A\n", "\n2=ifx\n")); },
       "[Interface] 2: names ifx, which is no key of [Table]",
       [&](const RunResult &r) {
         every_node_refused(r);
         std::string t = inst.trace("QvAdnerl03");
         EXPECT_NE(t.find("(Error)[Interface] 2 = ifx names no [Table] key"), std::string::npos) << t;
       },
       false},
      {"the query tool cannot be run",
       [&] {
         fs::create_directories(query_dir + "/bin");
         std::string tool = query_dir + "/bin/ovdwquery";
         fs::copy_file(qvtest::BinPath("ovdwquery"), tool);
         fs::copy_file(qvtest::BinPath("ovdumpevents"), query_dir + "/bin/ovdumpevents");
         fs::permissions(
             tool, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
         std::string dir = query_dir + "/";
         plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadNnmKey, kQvadNnmValue, plat::kRegSz, dir.c_str(),
                           static_cast<std::uint32_t>(dir.size() + 1));
       },
       "ovdwquery: present but cannot be run by this user", [](const RunResult &r) { EXPECT_EQ(r.init, -6); }, true},
      {"var is no folder",
       [&] {
         fs::remove_all(inst.path("var"));
         ASSERT_TRUE(qvtest::WriteFile(inst.path("var"), "a file where the folder should be"));
       },
       "var: not a writable folder: the engine keeps node.csv, node.bak and node.txt there, and the run lock",
       [](const RunResult &r) { EXPECT_EQ(r.init, -10); }, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    if (c.posix_only && plat::kExeSuffix[0] != '\0') continue;  // Windows runs any file, and its mutex is no file
    c.brake();
    CheckOutcome check = RunCheck();
    EXPECT_EQ(check.rc, 2) << check.out;
    std::vector<std::string> fails = Fails(check.out);
    ASSERT_EQ(fails.size(), 1u) << check.out;
    EXPECT_NE(fails[0].find(c.fail), std::string::npos) << fails[0];
    c.run(Go());
    // Back to the good install for the next case.
    inst.WriteEtc("RazInv.ini", qvtest::kRazInv);
    inst.SetNnmInstallDir(true);
    if (!fs::is_directory(inst.path("var"))) {
      fs::remove(inst.path("var"));
      fs::create_directories(inst.path("var"));
    }
  }
}

// --probe asks the warehouse through the engine's query path: the node
// count when it answers, the tool's own words when it does not, and the
// run then ends at Init as the probe foresaw.
TEST_F(CheckForesees, TheProbeAsksTheWarehouse) {
  fs::create_directories(plat::RuntimeDir());
  Nodes({"n1", "n2"});
  CheckOutcome good = RunCheck(" --probe");
  EXPECT_TRUE(Fails(good.out).empty()) << good.out;
  EXPECT_NE(good.out.find("[NodeInfo] 1: the warehouse answered the node query: 2 nodes (probe)"), std::string::npos)
      << good.out;

  qvtest::InvInstall broken{"inv2probe"};
  broken.InstallEngine();
  broken.WriteEtc("RazInv.ini", qvtest::kRazInv);
  broken.WriteEtc("RepInfo.ini", "[General]\nType=0\nSiteName=Site\n");
  broken.WriteEtc("RazSetting.ini", "[Repository]\nown=1\n[Inventory]\nown=1\n");
  broken.AnswerFail("nodes", 3);
  std::string out = broken.path("check.txt");
  const std::string words =
      "[NodeInfo] 1: the warehouse did not answer the node query (probe): the query tool said: "
      "ovdwquery: canned failure 3";
  // Under Wine on a loaded machine a child now and then ends before it has
  // said anything (seen once in a CI run, never alone): then the probe says
  // "the query tool said nothing", rightly, and the probe is run again once.
  std::vector<std::string> fails;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int rc = qvtest::Run("\"" + qvtest::BinPath("qvadcheck") + "\" --probe", out);
    std::string text = qvtest::ReadFile(out);
    EXPECT_EQ(rc, 2) << text;
    fails = Fails(text);
    ASSERT_EQ(fails.size(), 1u) << text;
    if (fails[0].find("the query tool said nothing") == std::string::npos) break;
  }
  EXPECT_NE(fails[0].find(words), std::string::npos) << fails[0];
  for (const auto &e : fs::directory_iterator(broken.path("tmp")))
    EXPECT_EQ(e.path().filename().string().rfind("probe-", 0), std::string::npos) << "left behind: " << e.path();
  EXPECT_EQ(init_(), -6);
  close_();
}

}  // namespace
