// qvadcheck run as an installer runs it: against a whole install in a
// scratch folder (registry values, environment file, settings, the
// programs and libraries it looks for), first as it should be, then with
// one thing broken at a time. Each broken thing must give exactly one FAIL
// line that names the file and the key, and exit status 2.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cmn/qvadinstall.h"
#include "cmn/qvadmsgdllreg/eventsource.h"
#include "hp_ov/qvademinv/qvadovquery.h"
#include "platform/library.h"
#include "platform/registry.h"
#include "platform/sys.h"
#include "testutil.h"

namespace fs = std::filesystem;

namespace {

const char kRazInv[] =
    "[NodeInfo]\n1=SELECT name, address FROM nodes\n"
    "[Interface]\n1=SELECT COUNT(*) FROM if WHERE node='%s'\n2=iface\n"
    "[Table]\nhw=SELECT * FROM hw WHERE node='%s'\niface=SELECT * FROM if WHERE node='%s'\n"
    "[TextSetting]\nflag=1\ncount=1\n1=1,0,0,0,0\n[TextInventory]\n1=x\n"
    "[HardwareSetting]\ncount=2\n1=1,0,0,0,0\n2=3,0,1,0,0\n[HardwareInventory]\n1=literal\n2=hw:3\n"
    "[RepositorySetting]\ncount=1\n1=1,0,0,0,0\n[RepositoryInventory]\n1=r\n"
    "[RepositoryMachineName]\ncount=1\n1=Server\n[RepositoryMachineID]\n1=hw:2\n";

struct CheckRun {
  int rc;
  std::string out;
  std::vector<std::string> lines;
  std::vector<std::string> Of(const std::string &status) const {
    std::vector<std::string> found;
    for (const std::string &l : lines) {
      if (l.rfind(status + " ", 0) == 0) found.push_back(l);
    }
    return found;
  }
};

class Check : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::make_unique<qvtest::ScratchDir>("qvadcheck");
    install_ = Native(dir_->file("adapter"));
    nnm_ = Native(dir_->file("nnm")) + plat::kSep;
    root_ = Native(dir_->file("vrex"));
    for (const char *sub : {"adapter/bin", "adapter/etc", "adapter/var", "adapter/ret", "adapter/tmp/hard", "nnm/bin",
                            "vrex/etc", "path", "run", "trc"})
      fs::create_directories(Native(dir_->file(sub)));
    Env("QVAD_REGISTRY", dir_->file("registry.reg"));
    Env("QVAD_RUNDIR", dir_->file("run"));
    Env("ZLTGATE_DIR", dir_->file("trc"));
    Env("LD_LIBRARY_PATH", "");
    const char *list_sep = plat::kSep[0] == '\\' ? ";" : ":";
    Env("PATH", dir_->file("path") + list_sep + plat::GetEnv("PATH"));

    std::string bin = install_ + plat::kBinPiece;
    Copy(qvtest::BinPath("qvadcheck"), bin + "qvadcheck" + plat::kExeSuffix);
    for (const char *lib : {"zltgate", "qvcnsput", "qvadinv"})
      Copy(Built(plat::LibraryFileName(lib)), bin + plat::LibraryFileName(lib));
    Copy(Built(plat::kMessageLibraryFile), bin + plat::kMessageLibraryFile);
    for (const char *tool : {"ovdumpevents", "ovdwquery"})
      Copy(qvtest::BinPath(tool), nnm_ + "bin" + plat::kSep + tool + plat::kExeSuffix);
    Copy(qvtest::BinPath("fxsend"), dir_->file("path") + plat::kSep + "fxsend" + plat::kExeSuffix);

    Set(kQvadVrexKey, kQvadVrexValue, root_);
    Set(kQvadNnmKey, kQvadNnmValue, nnm_);
    Set(kQvadEventSourceKey, "EventMessageFile", bin + plat::kMessageLibraryFile);
    ASSERT_TRUE(qvtest::WriteFile(root_ + plat::kEtcPiece + kQvadEnvFileName,
                                  bin + plat::LibraryFileName("qvadinv") + "\n" + install_));
    Etc("RazEvt.ini", "[Severity]\nCritical=4\nNormal=1\n");
    Etc("RepInfo.ini", "[General]\nServerIP=192.0.2.10\nType=0\n");
    Etc("RazSetting.ini", "[Repository]\nown=1\n[Inventory]\nown=0\n");
    Etc("RazInv.ini", kRazInv);
  }
  void TearDown() override {
    plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue);
    plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadNnmKey, kQvadNnmValue);
    // The whole key: under Wine the registry outlives the test, and a tool
    // test that comes later takes a key left behind for one its tool wrote.
    plat::RegistryDeleteKey(plat::RegRoot::LocalMachine, kQvadEventSourceKey);
    while (!env_.empty()) env_.pop_back();
  }

  static std::string Native(std::string p) {
    for (char &c : p) {
      if (c == '/') c = plat::kSep[0];
    }
    return p;
  }
  static std::string Built(const std::string &file) { return std::string(QVAD_BIN_DIR) + plat::kSep + file; }
  static void Copy(const std::string &from, const std::string &to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  }
  void Env(const char *name, const std::string &value) {
    env_.push_back(std::make_unique<qvtest::EnvVar>(name, value));
  }
  static void Set(const char *key, const char *value, const std::string &data) {
    ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, key, value, plat::kRegSz, data.c_str(),
                                static_cast<std::uint32_t>(data.size() + 1)),
              0u);
  }
  void Etc(const std::string &name, const std::string &text) {
    ASSERT_TRUE(qvtest::WriteFile(install_ + plat::kEtcPiece + name, text));
  }
  std::string EtcPath(const std::string &name) const { return install_ + plat::kEtcPiece + name; }

  CheckRun RunCheck(const std::string &args = "") {
    std::string out = dir_->file("out.txt");
    std::string program = install_ + plat::kBinPiece + "qvadcheck" + plat::kExeSuffix;
    CheckRun r;
    r.rc = qvtest::Run("\"" + program + "\"" + (args.empty() ? "" : " " + args), out, dir_->path());
    r.out = qvtest::ReadFile(out);
    r.lines = qvtest::Lines(r.out);
    return r;
  }

  std::unique_ptr<qvtest::ScratchDir> dir_;
  std::vector<std::unique_ptr<qvtest::EnvVar>> env_;
  std::string install_, nnm_, root_;
};

TEST_F(Check, AGoodInstallPassesEveryCheck) {
  CheckRun r = RunCheck();
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.Of("WARN").empty()) << r.out;
  EXPECT_TRUE(r.Of("FAIL").empty()) << r.out;
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.back().rfind("qvadcheck: ", 0), 0u) << r.out;
  EXPECT_NE(r.lines.back().find(" 0 WARN, 0 FAIL: a run would work"), std::string::npos) << r.lines.back();
  // The loaders' own findings, not a guess.
  EXPECT_NE(r.out.find("OK   " + EtcPath("RazInv.ini") + " [HardwareSetting]: 2 definitions"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("OK   " + root_ + plat::kEtcPiece + "nerladapter.env line 2: install folder " + install_),
            std::string::npos)
      << r.out;
}

// One broken thing at a time, and the FAIL line it must give.
TEST_F(Check, EachBrokenThingGivesItsFailLine) {
  // Paths of the fresh install each case gets.
  auto razinv = [&] { return EtcPath("RazInv.ini"); };
  auto reg = [] { return plat::RegistryLocation(); };
  struct Case {
    const char *name;
    std::function<void()> brake;
    std::function<std::string()> line;  // the start of the one FAIL line
  };
  std::vector<Case> cases = {
      {"missing registry value",
       [&] { plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue); },
       [&] {
         return "FAIL " + reg() + " HKEY_LOCAL_MACHINE\\" + kQvadVrexKey + "\\vrexroot: cannot be read (result 2)";
       }},
      {"missing nerladapter.env", [&] { fs::remove(root_ + plat::kEtcPiece + kQvadEnvFileName); },
       [&] { return "FAIL " + root_ + plat::kEtcPiece + "nerladapter.env: cannot be opened -- fix: run qvademenv"; }},
      {"RazInv.ini with a bad definition",
       [&] {
         std::string text = kRazInv;
         text.replace(text.find("2=3,0,1,0,0"), 11, "2=3,0,1,0");
         Etc("RazInv.ini", text);
       },
       [&] { return "FAIL " + razinv() + " [HardwareSetting] 2: invalid: entry 2 is left empty"; }},
      {"missing [TextSetting] flag",
       [&] {
         std::string text = kRazInv;
         text.erase(text.find("flag=1\n"), 7);
         Etc("RazInv.ini", text);
       },
       [&] { return "FAIL " + razinv() + " [TextSetting] flag: missing: every node ends with -8"; }},
      {"unwritable ret",
       [&] {
         fs::remove(install_ + plat::kSep + "ret");
         ASSERT_TRUE(qvtest::WriteFile(install_ + plat::kSep + "ret", "a file where the folder should be"));
       },
       [&] { return "FAIL " + install_ + plat::kSep + "ret: not a writable folder"; }},
      {"missing tracer", [&] { fs::remove(install_ + plat::kBinPiece + plat::LibraryFileName("zltgate")); },
       [&] { return "FAIL " + plat::LibraryFileName("zltgate") + ": not found"; }},
      {"missing ovdwquery", [&] { fs::remove(nnm_ + "bin" + plat::kSep + "ovdwquery" + plat::kExeSuffix); },
       [&] { return "FAIL " + nnm_ + "bin" + plat::kSep + "ovdwquery" + plat::kExeSuffix + ": missing"; }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    c.brake();
    CheckRun r = RunCheck();
    EXPECT_EQ(r.rc, 2) << r.out;
    std::vector<std::string> fails = r.Of("FAIL");
    ASSERT_EQ(fails.size(), 1u) << r.out;
    EXPECT_EQ(fails[0].rfind(c.line(), 0), 0u) << fails[0] << "\nexpected: " << c.line();
    EXPECT_NE(fails[0].find(" -- fix: "), std::string::npos) << fails[0];
  }
}

TEST_F(Check, WarningsAloneExitOne) {
  Etc("RazSetting.ini", "[Repository]\nown=1\n");
  CheckRun r = RunCheck();
  EXPECT_EQ(r.rc, 1) << r.out;
  std::vector<std::string> warns = r.Of("WARN");
  ASSERT_EQ(warns.size(), 1u) << r.out;
  EXPECT_EQ(warns[0].rfind("WARN " + EtcPath("RazSetting.ini") + " [Inventory] own: missing", 0), 0u) << warns[0];
  EXPECT_NE(r.lines.back().find("1 WARN, 0 FAIL"), std::string::npos) << r.lines.back();
}

TEST_F(Check, QueryTimeoutInForce) {
  struct Case {
    const char *setting, *line;
    int rc;
  } cases[] = {
      {"", "OK   @ [Inventory] QueryTimeout: 900 s per query process", 0},
      {"QueryTimeout=0\n", "OK   @ [Inventory] QueryTimeout: 0 (a query may run without limit)", 0},
      {"QueryTimeout=30\n", "OK   @ [Inventory] QueryTimeout: 30 s per query process", 0},
      {"QueryTimeout=5m\n",
       "WARN @ [Inventory] QueryTimeout: not a number of seconds from 0 to 86400: the run uses 900 s", 1},
  };
  for (const Case &c : cases) {
    Etc("RazSetting.ini", std::string("[Repository]\nown=1\n[Inventory]\nown=0\n") + c.setting);
    CheckRun r = RunCheck();
    std::string line = c.line;
    line.replace(line.find('@'), 1, EtcPath("RazSetting.ini"));
    EXPECT_EQ(r.rc, c.rc) << r.out;
    EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
  }
}

TEST_F(Check, CommandLine) {
  CheckRun r = RunCheck("--version");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out.rfind("qvadcheck ", 0), 0u) << r.out;
  r = RunCheck("--help");
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("--json"), std::string::npos);
  r = RunCheck("--wrong");
  EXPECT_EQ(r.rc, 2);
  EXPECT_NE(r.out.find("unknown argument \"--wrong\""), std::string::npos) << r.out;

  // JSON for scripts: the same findings, paths escaped.
  fs::remove(nnm_ + "bin" + plat::kSep + "ovdwquery" + plat::kExeSuffix);
  r = RunCheck("--json");
  EXPECT_EQ(r.rc, 2);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out.front(), '{');
  EXPECT_NE(r.out.find("\"exit\": 2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"fail\": 1"), std::string::npos) << r.out;
  std::string file = nnm_ + "bin" + plat::kSep + "ovdwquery" + plat::kExeSuffix, escaped;
  for (char ch : file) escaped += ch == '\\' ? std::string("\\\\") : std::string(1, ch);
  EXPECT_NE(r.out.find("{\"status\": \"FAIL\", \"file\": \"" + escaped + "\""), std::string::npos) << r.out;
}

}  // namespace
