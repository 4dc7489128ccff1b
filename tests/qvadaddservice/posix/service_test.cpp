// qvadaddservice and qvaddelservice on POSIX: unit files in a scratch
// systemd folder and a stand-in systemctl on PATH that records its calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/process.h"
#include "platform/sys.h"
#include "toolrun.h"

namespace {

using tooltest::Q;
using tooltest::RunTool;
using tooltest::Seen;

const char kName[] = "Ordovan Nerl NNM";
const char kUnit[] = "Ordovan\\x20Nerl\\x20NNM.service";

class PosixService : public ::testing::Test {
 protected:
  void SetUp() override {
    units_ = dir_.file("units");
    state_ = dir_.file("state");
    std::string bin = dir_.file("bin");
    for (const auto &d : {units_, state_, bin, dir_.file("trc")}) plat::MakeDirectory(d.c_str());
    std::filesystem::copy_file(std::string(QVAD_SOURCE_DIR) + "/tests/qvadaddservice/posix/systemctl",
                               bin + "/systemctl");
    env_.push_back(std::make_unique<qvtest::EnvVar>("QVAD_SYSTEMD_DIR", units_));
    env_.push_back(std::make_unique<qvtest::EnvVar>("SYSTEMCTL_STATE", state_));
    env_.push_back(std::make_unique<qvtest::EnvVar>("ZLTGATE_DIR", dir_.file("trc")));
    env_.push_back(std::make_unique<qvtest::EnvVar>("PATH", bin + ":" + plat::GetEnv("PATH")));
  }
  void TearDown() override {
    // Restored newest first, so a variable set twice gets its first value back.
    while (!env_.empty()) env_.pop_back();
  }
  std::string UnitFile() const { return units_ + "/" + kUnit; }
  std::string Calls() {
    std::string c = qvtest::ReadFile(state_ + "/calls");
    qvtest::WriteFile(state_ + "/calls", "");
    return c;
  }
  void SetState(const std::string &s) { qvtest::WriteFile(state_ + "/" + kUnit + ".state", s + "\n"); }
  tooltest::Result Add(const std::string &args) { return RunTool(dir_, "qvadaddservice", args); }
  tooltest::Result Del(const std::string &args) { return RunTool(dir_, "qvaddelservice", args); }

  qvtest::ScratchDir dir_{"svc"};
  std::string units_, state_;
  std::vector<std::unique_ptr<qvtest::EnvVar>> env_;
};

TEST_F(PosixService, AddWritesAnEnabledUnitOnce) {
  auto r = Add("-n " + Q(kName) + " -p " + Q("/opt/nerl/bin/qvadovevt -x 50%"));
  EXPECT_EQ(r.rc, 0) << r.out;
  std::string unit = qvtest::ReadFile(UnitFile());
  for (const char *line :
       {"\nDescription=Ordovan Nerl NNM\n", "\nExecStart=/opt/nerl/bin/qvadovevt -x 50%%\n", "\nRestart=on-failure\n",
        "\nRestartSec=10s\n", "\nStartLimitIntervalSec=0\n", "\nRestartPreventExitStatus=75\n", "\nKillMode=mixed\n",
        "\nKillSignal=SIGTERM\n", "\nSuccessExitStatus=1\n", "\nWantedBy=multi-user.target\n", "\nType=notify\n",
        "\nAfter=network-online.target\n", "\nWants=network-online.target\n", "\nRuntimeDirectory=qvadnerl\n",
        "\nEnvironmentFile=-/etc/opt/qvadnerl/qvadovevt.env\n"})
    EXPECT_NE(unit.find(line), std::string::npos) << line << " in\n" << unit;
  EXPECT_EQ(Calls(), "daemon-reload\nenable " + std::string(kUnit) + "\n");

  r = Add("-n " + Q(kName) + " -p /other");
  EXPECT_EQ(r.rc, Seen(1073));
  EXPECT_EQ(r.out, "qvadaddservice error in CreateService(1073)");
  EXPECT_NE(qvtest::ReadFile(UnitFile()).find("qvadovevt"), std::string::npos) << "the first unit stays";
  EXPECT_NE(tooltest::Trace(dir_, "QvAdnerl02").find("code=1073 | END"), std::string::npos);
}

// systemd's own checker reads the unit as systemd would: an unknown
// setting or a value it cannot parse is reported on its output, a program
// that cannot run fails it.
TEST_F(PosixService, SystemdAcceptsTheUnit) {
  std::string analyze = plat::FindProgram("systemd-analyze");
  if (analyze.empty()) GTEST_SKIP() << "systemd-analyze is not installed";
  ASSERT_EQ(Add("-n " + Q(kName) + " -p " + Q(qvtest::BinPath("qvadovevt"))).rc, 0);
  std::string out = dir_.file("verify.out");
  EXPECT_EQ(qvtest::Run(Q(analyze) + " verify " + Q(UnitFile()), out), 0);
  EXPECT_EQ(qvtest::ReadFile(out), "");
}

TEST_F(PosixService, AddRefusesIncompleteOrOverlongCommandLines) {
  std::string log = dir_.file("log");
  auto r = Add("-n svc -o " + Q(log));
  EXPECT_EQ(r.rc, 22);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(qvtest::ReadFile(log), "qvadaddservice error invalid parameter.");
  r = Add("-n \"\" -p /x");
  EXPECT_EQ(r.rc, 22) << "an empty name counts as missing";
  EXPECT_EQ(r.out, tooltest::Usage("Usage: qvadaddservice -n servicename -p path [-o logfile]"));
  EXPECT_EQ(Add("-n " + std::string(32, 'n') + " -p /x").rc, 22);
  EXPECT_EQ(Add("-n x -p /" + std::string(259, 'p')).rc, 22);
  EXPECT_EQ(Add("-n " + std::string(31, 'n') + " -p /" + std::string(258, 'p')).rc, 0);
  EXPECT_TRUE(qvtest::Exists(units_ + "/" + std::string(31, 'n') + ".service"));

  // A failed enable leaves no unit behind that looks registered.
  env_.push_back(std::make_unique<qvtest::EnvVar>("SYSTEMCTL_FAIL", "enable"));
  r = Add("-n " + Q(kName) + " -p /x");
  EXPECT_EQ(r.rc, Seen(1063));
  EXPECT_FALSE(qvtest::Exists(UnitFile()));
}

TEST_F(PosixService, DeleteStoppedRunningAndMissingServices) {
  auto r = Del("-n " + Q(kName));
  EXPECT_EQ(r.rc, Seen(1060));
  EXPECT_EQ(r.out, "qvaddelservice error in OpenService(1060)");

  ASSERT_EQ(Add("-n " + Q(kName) + " -p /x").rc, 0);
  Calls();
  r = Del("-n " + Q(kName));
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_FALSE(qvtest::Exists(UnitFile()));
  const std::string u = kUnit;
  EXPECT_EQ(Calls(), "is-active " + u + "\ndisable " + u + "\ndaemon-reload\n") << "no stop for a stopped service";

  ASSERT_EQ(Add("-n " + Q(kName) + " -p /x").rc, 0);
  SetState("active");
  env_.push_back(std::make_unique<qvtest::EnvVar>("SYSTEMCTL_STOP_POLLS", "3"));
  Calls();
  r = Del("-n " + Q(kName));
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_FALSE(qvtest::Exists(UnitFile()));
  EXPECT_EQ(Calls(), "is-active " + u + "\nis-active " + u + "\nstop --no-block " + u + "\nis-active " + u +
                         "\nis-active " + u + "\nis-active " + u + "\ndisable " + u + "\ndaemon-reload\n")
      << "deleted only after the service reported inactive";
}

TEST_F(PosixService, DeleteReportsAStopItCannotSendOrThatNeverEnds) {
  ASSERT_EQ(Add("-n " + Q(kName) + " -p /x").rc, 0);
  SetState("deactivating");
  env_.push_back(std::make_unique<qvtest::EnvVar>("SYSTEMCTL_STUCK", "1"));
  auto r = Del("-n " + Q(kName));
  EXPECT_EQ(r.rc, Seen(1061));
  EXPECT_EQ(r.out, "qvaddelservice error in ControlService(1061)");

  SetState("active");
  env_.push_back(std::make_unique<qvtest::EnvVar>("QVAD_STOP_WAIT_SECONDS", "1"));
  std::string log = dir_.file("log");
  r = Del("-n " + Q(kName) + " -o " + Q(log));
  EXPECT_EQ(r.rc, Seen(1053));
  EXPECT_EQ(qvtest::ReadFile(log), "qvaddelservice error service did not stop in 1 seconds(1053)");
  EXPECT_TRUE(qvtest::Exists(UnitFile())) << "a service that still runs is not deleted";
}

TEST_F(PosixService, WorksWithoutSystemctlAndReportsAMissingUnitFolder) {
  env_.push_back(std::make_unique<qvtest::EnvVar>("PATH", dir_.file("empty")));
  EXPECT_EQ(Add("-n " + Q(kName) + " -p /x").rc, 0);
  EXPECT_TRUE(qvtest::Exists(UnitFile()));
  EXPECT_EQ(Del("-n " + Q(kName)).rc, 0);
  EXPECT_FALSE(qvtest::Exists(UnitFile()));
  EXPECT_EQ(qvtest::ReadFile(state_ + "/calls"), "");

  env_.push_back(std::make_unique<qvtest::EnvVar>("QVAD_SYSTEMD_DIR", dir_.file("missing")));
  auto r = Add("-n " + Q(kName) + " -p /x");
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.out, "qvadaddservice error in OpenSCManager(2)");
  r = Del("-n " + Q(kName));
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.out, "qvaddelservice error in OpenSCManager(2)");
}

}  // namespace
