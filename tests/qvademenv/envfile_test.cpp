// qvademenv and qvadrmenv run as the installer runs them; through them the
// shared skeleton's command-line, log-file and trace rules.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>

#include "cmn/qvadinstall.h"
#include "platform/library.h"
#include "platform/registry.h"
#include "platform/sys.h"
#include "toolrun.h"

namespace {

using tooltest::Q;
using tooltest::RunTool;
using tooltest::Usage;

const char kEmUsage[] = "Usage: qvademenv -p installpath [-o logfile]";

class EnvTools : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = std::make_unique<qvtest::EnvVar>("QVAD_REGISTRY", dir_.file("registry.reg"));
    trc_ = std::make_unique<qvtest::EnvVar>("ZLTGATE_DIR", dir_.file("trc"));
    plat::MakeDirectory(dir_.file("trc").c_str());
    root_ = dir_.file("root");
    plat::MakeDirectory(root_.c_str());
    plat::MakeDirectory((root_ + plat::kSep + "etc").c_str());
    // Under Wine the registry is shared by the whole prefix: keep what was there.
    std::uint32_t size = sizeof saved_;
    had_root_ =
        plat::RegistryQuery(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, nullptr, saved_, &size) == 0;
    saved_size_ = size;
    SetRoot(root_);
  }
  void TearDown() override {
    if (had_root_)
      plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, plat::kRegSz, saved_, saved_size_);
    else
      plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue);
  }
  void SetRoot(const std::string &root) {
    ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, plat::kRegSz, root.c_str(),
                                static_cast<std::uint32_t>(root.size() + 1)),
              0u);
  }
  std::string EnvFile() const { return root_ + plat::kSep + "etc" + plat::kSep + "nerladapter.env"; }
  std::string Expected(const std::string &d) const {
    return d + plat::kBinPiece + plat::LibraryFileName("qvadinv") + tooltest::kEol + d;
  }

  qvtest::ScratchDir dir_{"envtools"};
  std::unique_ptr<qvtest::EnvVar> reg_, trc_;
  std::string root_;
  char saved_[260] = {};
  std::uint32_t saved_size_ = 0;
  bool had_root_ = false;
};

TEST_F(EnvTools, WritesTheFileExactlyAndTheReaderGetsTheDirectoryBack) {
  const std::string d = dir_.file("Nerl Adapter");
  std::string log = dir_.file("install.log");
  ASSERT_TRUE(qvtest::WriteFile(log, "left from an earlier run"));
  auto r = RunTool(dir_, "qvademenv", "-p " + Q(d) + " -o " + Q(log));
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(qvtest::ReadFile(EnvFile()), Expected(d));
  EXPECT_FALSE(qvtest::Exists(log)) << "a successful run deletes the log file";
  char back[260] = {};
  EXPECT_EQ(QvadGetInstallPathForDll(back, sizeof back), 0);
  EXPECT_EQ(std::string(back), d);
  std::string info = tooltest::Trace(dir_, "QvAdnerl04");
  EXPECT_NE(info.find("| START"), std::string::npos) << info;
  EXPECT_NE(info.find("code=0 | END"), std::string::npos) << info;

  // A second run replaces the file; the argument glued to its letter is the same.
  r = RunTool(dir_, "qvademenv", "-p" + Q(root_ + "2"));
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(qvtest::ReadFile(EnvFile()), Expected(root_ + "2"));
}

TEST_F(EnvTools, InvalidCommandLinesPrintUsageAndNeverWriteTheLog) {
  std::string log = dir_.file("log");
  struct Case {
    std::string args;
  } cases[] = {{""}, {"-p -o " + Q(log)}, {"-p"}, {"-o " + Q(log) + " -x"}, {"-"}, {"--"}, {"-p a -o"}};
  for (const auto &c : cases) {
    auto r = RunTool(dir_, "qvademenv", c.args);
    EXPECT_EQ(r.rc, 22) << c.args;
    EXPECT_EQ(r.out, Usage(kEmUsage)) << c.args;
    EXPECT_FALSE(qvtest::Exists(log)) << c.args;
    EXPECT_FALSE(qvtest::Exists(EnvFile())) << c.args;
  }
  std::string err = tooltest::Trace(dir_, "QvAdnerl03");
  EXPECT_NE(err.find("| qvademenv error invalid parameter."), std::string::npos) << err;
  EXPECT_NE(tooltest::Trace(dir_, "QvAdnerl04").find("code=22 | END"), std::string::npos);
}

TEST_F(EnvTools, MissingInstallPathGoesToTheLogWhenOneIsAsked) {
  std::string log = dir_.file("log");
  auto r = RunTool(dir_, "qvademenv", "-o " + Q(log));
  EXPECT_EQ(r.rc, 22);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(qvtest::ReadFile(log), "qvademenv error invalid parameter.");
  // A bare word ends the options: -p after it is never seen.
  r = RunTool(dir_, "qvademenv", "word -p x");
  EXPECT_EQ(r.rc, 22);
  EXPECT_EQ(r.out, Usage(kEmUsage));
  EXPECT_FALSE(qvtest::Exists(EnvFile()));
}

TEST_F(EnvTools, FailuresReportTheirMessageAndStatus) {
  // No etc folder under the root: the file cannot be created.
  qvtest::RemoveTree(root_ + plat::kSep + "etc");
  auto r = RunTool(dir_, "qvademenv", "-p x");
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.out, "qvademenv error create env file.");

  std::string log = dir_.file("log");
  r = RunTool(dir_, "qvademenv", "-p x -o " + Q(log));
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(qvtest::ReadFile(log), "qvademenv error create env file.");

  // A log that cannot be written is only traced; the status stays the failure's.
  r = RunTool(dir_, "qvademenv", "-p x -o " + Q(dir_.file("no-dir") + plat::kSep + "log"));
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(tooltest::Trace(dir_, "QvAdnerl03").find("| qvademenv error write log file."), std::string::npos);

  plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue);
  r = RunTool(dir_, "qvademenv", "-p x");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "qvademenv error get registory data.");
  r = RunTool(dir_, "qvadrmenv", "");
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out, "qvadrmenv error get registory data.");
}

TEST_F(EnvTools, InstallPathsTheReaderCannotTakeAreRefused) {
  std::size_t longest = 259 - 1 - std::string(plat::kBinPiece).size() - plat::LibraryFileName("qvadinv").size();
  std::string d = dir_.path() + plat::kSep;
  d += std::string(longest - d.size(), 'd');
  auto r = RunTool(dir_, "qvademenv", "-p " + Q(d));
  EXPECT_EQ(r.rc, 0) << r.out;
  char back[260] = {};
  EXPECT_EQ(QvadGetInstallPathForDll(back, sizeof back), 0);
  EXPECT_EQ(std::string(back), d);

  r = RunTool(dir_, "qvademenv", "-p " + Q(d + "e"));
  EXPECT_EQ(r.rc, 2);
  EXPECT_NE(r.out.find("qvademenv error create env file. install path too long"), std::string::npos) << r.out;
  EXPECT_EQ(qvtest::ReadFile(EnvFile()), Expected(d)) << "the refused run leaves the good file alone";

  // Longer than the option's 260-byte buffer: an invalid command line, not a cut path.
  r = RunTool(dir_, "qvademenv", "-p " + std::string(260, 'p'));
  EXPECT_EQ(r.rc, 22);
  EXPECT_EQ(r.out, Usage(kEmUsage));
  r = RunTool(dir_, "qvademenv", "-p x -o " + std::string(260, 'o'));
  EXPECT_EQ(r.rc, 22);
}

TEST_F(EnvTools, RemoveDeletesTheFileAndReportsAMissingOne) {
  ASSERT_EQ(RunTool(dir_, "qvademenv", "-p x").rc, 0);
  auto r = RunTool(dir_, "qvadrmenv", "extra-word");
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_FALSE(qvtest::Exists(EnvFile()));
  r = RunTool(dir_, "qvadrmenv", "");
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.out, "qvadrmenv error delete env file(" + std::to_string(ENOENT) + ").");
  r = RunTool(dir_, "qvadrmenv", "-p x");
  EXPECT_EQ(r.rc, 22);
  EXPECT_EQ(r.out, Usage("Usage: qvadrmenv [-o logfile]"));
}

TEST_F(EnvTools, ToolsRunWithoutTheTracer) {
  // A copy of the tools in a folder with no tracer library beside them.
  std::string alone = dir_.file("alone");
  plat::MakeDirectory(alone.c_str());
  for (const char *tool : {"qvademenv", "qvadrmenv"}) {
    std::string to = alone + plat::kSep + tool + plat::kExeSuffix;
    std::filesystem::copy_file(qvtest::BinPath(tool), to);
    std::filesystem::permissions(to, std::filesystem::perms::owner_all);
  }
  auto r = tooltest::RunProgram(dir_, alone + plat::kSep + "qvademenv" + plat::kExeSuffix, "-p x");
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(tooltest::Trace(dir_, "QvAdnerl04"), "") << "no tracer was there to write";
  EXPECT_EQ(qvtest::ReadFile(EnvFile()), Expected("x"));
  r = tooltest::RunProgram(dir_, alone + plat::kSep + "qvadrmenv" + plat::kExeSuffix, "");
  EXPECT_EQ(r.rc, 0) << r.out;
  r = tooltest::RunProgram(dir_, alone + plat::kSep + "qvadrmenv" + plat::kExeSuffix, "");
  EXPECT_EQ(r.rc, 2);
}

}  // namespace
