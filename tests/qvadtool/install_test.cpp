// The adapter installed and removed with its setup tools, as an installer
// does it, once with the tracer beside the tools and once without it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "cmn/qvadinstall.h"
#include "cmn/qvadmsgdllreg/eventsource.h"
#include "platform/error.h"
#include "platform/registry.h"
#include "platform/svcmgr.h"
#include "platform/sys.h"
#include "toolrun.h"

namespace {

using tooltest::Q;

class Install : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    root_ = dir_.file("asset root");
    install_ = dir_.file("Nerl Adapter");
    for (const auto &d : {root_, root_ + plat::kSep + "etc", install_, install_ + plat::kSep + "etc", dir_.file("trc"),
                          dir_.file("units"), dir_.file("state"), dir_.file("path")})
      plat::MakeDirectory(d.c_str());
    Env("QVAD_REGISTRY", dir_.file("registry.reg"));
    Env("ZLTGATE_DIR", dir_.file("trc"));
    // On POSIX: units in a scratch folder and a stand-in systemctl first on
    // PATH; Win32 ignores both.
    Env("QVAD_SYSTEMD_DIR", dir_.file("units"));
    Env("SYSTEMCTL_STATE", dir_.file("state"));
    std::string systemctl = std::string(QVAD_SOURCE_DIR) + "/tests/qvadaddservice/posix/systemctl";
    if (plat::kSep[0] == '/') {
      std::filesystem::copy_file(systemctl, dir_.file("path") + "/systemctl");
      Env("PATH", dir_.file("path") + ":" + plat::GetEnv("PATH"));
    }
    ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, plat::kRegSz, root_.c_str(),
                                static_cast<std::uint32_t>(root_.size() + 1)),
              0u);
    service_ = "Ordovan Nerl NNM " + std::to_string(plat::ProcessId());

    tools_ = qvtest::BinPath("x");
    tools_.resize(tools_.size() - 1 - std::string(plat::kExeSuffix).size());
    if (!GetParam()) {
      // The same tools in a folder without the tracer library.
      std::string alone = dir_.file("alone");
      plat::MakeDirectory(alone.c_str());
      for (const char *t : {"qvadmsgdllreg", "qvademenv", "qvadrepini", "qvadaddservice", "qvaddelservice",
                            "qvadmsgdllunreg", "qvadrmenv"}) {
        std::string to = alone + plat::kSep + t + plat::kExeSuffix;
        std::filesystem::copy_file(qvtest::BinPath(t), to);
        std::filesystem::permissions(to, std::filesystem::perms::owner_all);
      }
      tools_ = alone + plat::kSep;
    }
  }
  void TearDown() override {
    plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue);
    if (plat::SvcHandle m = plat::SvcOpenManager()) {
      if (plat::SvcHandle s = plat::SvcOpen(m, service_.c_str())) {
        plat::SvcDelete(s);
        plat::SvcClose(s);
      }
      plat::SvcClose(m);
    }
    while (!env_.empty()) env_.pop_back();
  }
  void Env(const char *name, const std::string &value) {
    env_.push_back(std::make_unique<qvtest::EnvVar>(name, value));
  }
  // Runs a tool with -o log: success leaves no log behind.
  void Step(const std::string &tool, const std::string &args) {
    std::string log = dir_.file("install.log");
    auto r = tooltest::RunProgram(dir_, tools_ + tool + plat::kExeSuffix, args + " -o " + Q(log));
    EXPECT_EQ(r.rc, 0) << tool << ": " << qvtest::ReadFile(log);
    if (GetParam()) {
      EXPECT_EQ(r.out, "") << tool;
    } else {
      // Without the tracer each tool says so once, and only that.
      EXPECT_EQ(r.out.rfind(tool + plat::kExeSuffix + ": the tracer library zltgate could not be loaded (result ", 0),
                0u)
          << r.out;
      EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
      EXPECT_NE(r.out.find("); running without traces"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(qvtest::Exists(log)) << tool;
  }
  std::uint32_t ServiceOpenError() {
    plat::SvcHandle m = plat::SvcOpenManager();
    if (m == nullptr) return plat::LastError();
    plat::SvcHandle s = plat::SvcOpen(m, service_.c_str());
    std::uint32_t err = s == nullptr ? plat::LastError() : 0;
    plat::SvcClose(s);
    plat::SvcClose(m);
    return err;
  }

  qvtest::ScratchDir dir_{"install"};
  std::vector<std::unique_ptr<qvtest::EnvVar>> env_;
  std::string root_, install_, service_, tools_;
};

TEST_P(Install, InstallsAndRemovesTheAdapter) {
  std::string program = install_ + plat::kBinPiece + "qvadovevt" + plat::kExeSuffix;
  Step("qvadmsgdllreg", "-p " + Q(install_));
  Step("qvademenv", "-p " + Q(install_));
  Step("qvadrepini", "-p " + Q(install_) + " -i 192.0.2.10 -t 1 -s 2 -n Tokyo");
  Step("qvadaddservice", "-n " + Q(service_) + " -p " + Q(program));

  char dir[260] = {};
  EXPECT_EQ(QvadGetInstallPathForDll(dir, sizeof dir), 0);
  EXPECT_EQ(std::string(dir), install_);
  const std::string e = tooltest::kEol;
  EXPECT_EQ(qvtest::ReadFile(install_ + plat::kSep + "etc" + plat::kSep + "RepInfo.ini"),
            "[General]" + e + "ServerIP=192.0.2.10" + e + "Type=2" + e + "SiteName=Tokyo" + e);
  char file[300] = {};
  std::uint32_t size = sizeof file;
  EXPECT_EQ(
      plat::RegistryQuery(plat::RegRoot::LocalMachine, kQvadEventSourceKey, "EventMessageFile", nullptr, file, &size),
      0u);
  EXPECT_EQ(std::string(file), install_ + plat::kBinPiece + plat::kMessageLibraryFile);
  EXPECT_EQ(ServiceOpenError(), 0u);
  if (GetParam()) {
    EXPECT_NE(tooltest::Trace(dir_, "QvAdnerl02").find("START"), std::string::npos);
    EXPECT_NE(tooltest::Trace(dir_, "QvAdnerl04").find("START"), std::string::npos);
  } else {
    EXPECT_EQ(tooltest::Trace(dir_, "QvAdnerl02") + tooltest::Trace(dir_, "QvAdnerl04"), "");
  }

  Step("qvaddelservice", "-n " + Q(service_));
  Step("qvadmsgdllunreg", "");
  Step("qvadrmenv", "");
  EXPECT_EQ(ServiceOpenError(), plat::kErrServiceDoesNotExist);
  EXPECT_NE(plat::RegistryKeyExists(plat::RegRoot::LocalMachine, kQvadEventSourceKey), 0u);
  EXPECT_EQ(QvadGetInstallPathForDll(dir, sizeof dir), 2) << "the environment file is gone";
}

INSTANTIATE_TEST_SUITE_P(Tracer, Install, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "WithTracer" : "WithoutTracer"; });

}  // namespace
