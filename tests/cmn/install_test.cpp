// The install-directory reader against a real registry (the registry file on
// POSIX, the registry itself under Wine) and hand-made environment files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cmn/qvadinstall.h"
#include "platform/registry.h"
#include "platform/sys.h"
#include "testutil.h"

namespace {

class InstallPath : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = std::make_unique<qvtest::EnvVar>("QVAD_REGISTRY", dir_.file("registry.reg"));
    root_ = dir_.file("vrex");
    ASSERT_TRUE(plat::MakeDirectory(root_.c_str()));
    ASSERT_TRUE(plat::MakeDirectory((root_ + plat::kSep + "etc").c_str()));
    SetRoot(root_);
  }
  void TearDown() override { plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue); }

  void SetRoot(const std::string &root) {
    ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, plat::kRegSz, root.c_str(),
                                static_cast<std::uint32_t>(root.size() + 1)),
              0u);
  }
  void WriteEnv(const std::string &bytes) {
    ASSERT_TRUE(qvtest::WriteFile(root_ + plat::kEtcPiece + "nerladapter.env", bytes));
  }
  std::int32_t Read(std::string &out, std::uint32_t size = 260) {
    char buf[600];
    std::memset(buf, 0x7E, sizeof buf);
    std::int32_t rc = QvadGetInstallPathForDll(buf, size);
    out = rc == 0 ? std::string(buf) : "";
    return rc;
  }

  qvtest::ScratchDir dir_{"install"};
  std::unique_ptr<qvtest::EnvVar> reg_;
  std::string root_;
};

TEST_F(InstallPath, EnvironmentFileCases) {
  std::string got;
  const std::string d = "C:\\Program Files\\Nerl";
  WriteEnv(d + "\\bin\\qvadinv.dll\r\n" + d);
  EXPECT_EQ(Read(got), 0);
  EXPECT_EQ(got, d);

  WriteEnv(d + "\\bin\\qvadinv.dll\n" + d + "\r\n");  // edited by hand
  EXPECT_EQ(Read(got), 0);
  EXPECT_EQ(got, d);

  WriteEnv(d + "\\bin\\qvadinv.dll\r\n");
  EXPECT_EQ(Read(got), 3);
  WriteEnv("");
  EXPECT_EQ(Read(got), 3);

  // Longest install directory that reads back: 242 characters.
  std::string longest(242, 'x');
  WriteEnv(longest + "\\bin\\qvadinv.dll\n" + longest);
  EXPECT_EQ(Read(got), 0);
  EXPECT_EQ(got, longest);
  // One more and line 1 no longer fits the line buffer: refused, never split.
  std::string over(243, 'x');
  WriteEnv(over + "\\bin\\qvadinv.dll\n" + over);
  EXPECT_EQ(Read(got), kQvadPathTooLong);

  // The caller's buffer counts the line feed as the system does.
  WriteEnv("a\\bin\\qvadinv.dll\n" + std::string(9, 'y') + "\n");
  EXPECT_EQ(Read(got, 10), 22);
  EXPECT_EQ(Read(got, 11), 0);
  EXPECT_EQ(got, std::string(9, 'y'));
}

TEST_F(InstallPath, MissingPiecesGiveTheirCodes) {
  std::string got;
  EXPECT_EQ(Read(got), 2);  // no environment file
  plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue);
  WriteEnv("x\nC:\\D");
  EXPECT_EQ(Read(got), 2);  // no registry value

  // A root too long for the 260-byte path buffer is refused, not overflowed.
  SetRoot(std::string(250, 'r'));
  EXPECT_EQ(Read(got), kQvadPathTooLong);
}

TEST_F(InstallPath, RegistryReaderReportsTheRegistrysCodes) {
  char buf[8];
  std::memset(buf, 0, sizeof buf);
  EXPECT_EQ(QvadGetRegistryData(plat::RegRoot::LocalMachine, "SOFTWARE\\NoSuchVendor\\NoSuchKey", "x", buf, sizeof buf),
            2);
  EXPECT_EQ(QvadGetRegistryData(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, buf, sizeof buf), 234);
  SetRoot("C:\\Q");
  EXPECT_EQ(QvadGetRegistryData(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "C:\\Q");
}

}  // namespace
