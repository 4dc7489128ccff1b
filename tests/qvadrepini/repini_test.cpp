// qvadrepini run as the installer runs it: the file's exact bytes for each
// repository layout, the option-set codes, and its failures.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>

#include "platform/sys.h"
#include "toolrun.h"

namespace {

using tooltest::Q;
using tooltest::RunTool;

const char kUsage[] =
    "Usage: qvadrepini -p installpath -i ipaddress -t repositorytype \t\t\t         [-s sitetype][-n sitename ] [-o "
    "logfile]";

class RepIni : public ::testing::Test {
 protected:
  void SetUp() override {
    trc_ = std::make_unique<qvtest::EnvVar>("ZLTGATE_DIR", dir_.file("trc"));
    plat::MakeDirectory(dir_.file("trc").c_str());
    install_ = dir_.file("Nerl Adapter");
    plat::MakeDirectory(install_.c_str());
    plat::MakeDirectory(Etc().c_str());
  }
  std::string Etc() const { return install_ + plat::kSep + "etc"; }
  std::string File() const { return Etc() + plat::kSep + "RepInfo.ini"; }
  std::string Expect(const std::string &ip, int type, const std::string &site) const {
    const std::string e = tooltest::kEol;
    return "[General]" + e + "ServerIP=" + ip + e + "Type=" + std::to_string(type) + e + "SiteName=" + site + e;
  }
  tooltest::Result Rep(const std::string &args) {
    return RunTool(dir_, "qvadrepini", "-p " + Q(install_) + " " + args);
  }

  qvtest::ScratchDir dir_{"repini"};
  std::unique_ptr<qvtest::EnvVar> trc_;
  std::string install_;
};

TEST_F(RepIni, WritesEachRepositoryLayout) {
  struct Case {
    std::string args;
    int type;
    std::string site;
  } cases[] = {
      {"-i 10.0.0.1 -t 2", 0, ""},
      {"-i 10.0.0.1 -t 1 -s 1", 1, ""},
      {"-i 10.0.0.1 -t 1 -s 2 -n Site-A", 2, "Site-A"},
      {"-i 10.0.0.1 -t 2 -s 2 -n Site-A", 0, "Site-A"},
      {"-i 10.0.0.1 -t 1 -s 1 -n Ignored", 1, ""},
  };
  for (const auto &c : cases) {
    auto r = Rep(c.args);
    EXPECT_EQ(r.rc, 0) << c.args << ": " << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(qvtest::ReadFile(File()), Expect("10.0.0.1", c.type, c.site)) << c.args;
  }
  // The address is written as it is given, whatever it looks like; 39
  // characters fit its buffer.
  std::string ip(39, 'a');
  EXPECT_EQ(Rep("-i " + ip + " -t2").rc, 0);
  EXPECT_EQ(qvtest::ReadFile(File()), Expect(ip, 0, ""));
}

TEST_F(RepIni, InvalidOptionSetsAreRefusedWithTheirCode) {
  struct Case {
    std::string args;
    int code;
  } cases[] = {
      {"-i a -t 1 -s 2", -5},
      {"-i a -t 1 -s 3", -4},
      {"-i a -t 1", -3},
      {"-i a -t 3", -2},
      {"-i a -t x", -2},
      {"-t 2", -1},
      // Beyond 32 bits a number saturates: it never wraps round into a type.
      {"-i a -t 4294967298", -2},
      {"-i a -t 1 -s 4294967297", -4},
  };
  std::string log = dir_.file("log");
  for (const auto &c : cases) {
    auto r = Rep(c.args + " -o " + Q(log));
    EXPECT_EQ(r.rc, 22) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_EQ(qvtest::ReadFile(log), "qvadrepini error invalid parameter(" + std::to_string(c.code) + ").") << c.args;
  }
  // Without -o the usage text is printed instead; no argument at all is -1.
  auto r = RunTool(dir_, "qvadrepini", "");
  EXPECT_EQ(r.rc, 22);
  EXPECT_EQ(r.out, tooltest::Usage(kUsage));
  EXPECT_NE(tooltest::Trace(dir_, "QvAdnerl03").find("| qvadrepini error invalid parameter(-1)."), std::string::npos);
  EXPECT_FALSE(qvtest::Exists(File()));
}

TEST_F(RepIni, OverlongArgumentsAreAnInvalidCommandLine) {
  for (const std::string &args : {"-i " + std::string(40, 'a') + " -t 2", "-i a -t 1 -s 2 -n " + std::string(128, 'n'),
                                  std::string("-i a -t 2 -x y")}) {
    auto r = Rep(args);
    EXPECT_EQ(r.rc, 22) << args;
    EXPECT_EQ(r.out, tooltest::Usage(kUsage)) << args;
  }
  EXPECT_FALSE(qvtest::Exists(File()));
  std::string n(127, 'n');
  EXPECT_EQ(Rep("-i a -t 1 -s 2 -n " + n).rc, 0);
  EXPECT_EQ(qvtest::ReadFile(File()), Expect("a", 2, n));
}

TEST_F(RepIni, FileFailures) {
  qvtest::RemoveTree(Etc());
  auto r = Rep("-i a -t 2");
  EXPECT_EQ(r.rc, 2);
  EXPECT_EQ(r.out, "qvadrepini error create Repinfo.ini:" + std::to_string(ENOENT) + ".");
  plat::MakeDirectory(Etc().c_str());

  // A name that leads to a device is not a file the tool may replace.
  if (tooltest::kFullDevice[0] != '\0') {
    std::filesystem::create_symlink(tooltest::kFullDevice, File());
    std::string log = dir_.file("log");
    r = Rep("-i a -t 2 -o " + Q(log));
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(qvtest::ReadFile(log), "qvadrepini error create Repinfo.ini:" + std::to_string(EINVAL) + ".");
    EXPECT_TRUE(std::filesystem::is_symlink(File()));
  }
}

}  // namespace
