// qvadmsgdllreg and qvadmsgdllunreg run as the installer runs them, with
// the registration read back through the registry.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "cmn/qvadmsgdllreg/eventsource.h"
#include "platform/registry.h"
#include "platform/sys.h"
#include "toolrun.h"

namespace {

using tooltest::Q;
using tooltest::RunTool;
using tooltest::Seen;

class MsgSource : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = std::make_unique<qvtest::EnvVar>("QVAD_REGISTRY", dir_.file("registry.reg"));
    trc_ = std::make_unique<qvtest::EnvVar>("ZLTGATE_DIR", dir_.file("trc"));
    plat::MakeDirectory(dir_.file("trc").c_str());
  }
  void TearDown() override { plat::RegistryDeleteKey(plat::RegRoot::LocalMachine, kQvadEventSourceKey); }

  std::string MessageFile() {
    char data[600] = {};
    std::uint32_t type = 0, size = sizeof data;
    EXPECT_EQ(
        plat::RegistryQuery(plat::RegRoot::LocalMachine, kQvadEventSourceKey, "EventMessageFile", &type, data, &size),
        0u);
    EXPECT_EQ(type, plat::kRegExpandSz);
    EXPECT_EQ(size, std::strlen(data) + 1) << "the stored length counts the terminating null";
    return data;
  }

  qvtest::ScratchDir dir_{"msgsource"};
  std::unique_ptr<qvtest::EnvVar> reg_, trc_;
};

TEST_F(MsgSource, RegisterStoresTheMessageFileAndTheTypes) {
  const std::string d = dir_.file("Nerl Adapter");
  std::string log = dir_.file("log");
  ASSERT_TRUE(qvtest::WriteFile(log, "old"));
  auto r = RunTool(dir_, "qvadmsgdllreg", "-p " + Q(d) + " -o " + Q(log));
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_FALSE(qvtest::Exists(log));
  EXPECT_EQ(MessageFile(), d + plat::kBinPiece + plat::kMessageLibraryFile);
  std::uint32_t type = 0, types = 0, size = sizeof types;
  EXPECT_EQ(
      plat::RegistryQuery(plat::RegRoot::LocalMachine, kQvadEventSourceKey, "TypesSupported", &type, &types, &size),
      0u);
  EXPECT_EQ(type, plat::kRegDword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(types, 7u);
  EXPECT_NE(tooltest::Trace(dir_, "QvAdnerl02").find("code=0 | END"), std::string::npos);

  // A second run overwrites the values of the one key.
  r = RunTool(dir_, "qvadmsgdllreg", "-p" + Q(d + "2"));
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(MessageFile(), d + "2" + plat::kBinPiece + plat::kMessageLibraryFile);
}

TEST_F(MsgSource, RegisterRefusesWhatDoesNotFit) {
  const std::string piece = std::string(plat::kBinPiece) + plat::kMessageLibraryFile;
  std::string fits = std::string(259 - piece.size(), 'd');
  ASSERT_EQ(RunTool(dir_, "qvadmsgdllreg", "-p " + fits).rc, 0);
  EXPECT_EQ(MessageFile(), fits + piece);

  auto r = RunTool(dir_, "qvadmsgdllreg", "-p " + fits + "e");
  EXPECT_EQ(r.rc, Seen(303));
  EXPECT_EQ(r.out, "qvadmsgdllreg error set registory. message file path too long(260 > 259).");
  EXPECT_EQ(MessageFile(), fits + piece) << "the refused run leaves the registration alone";

  r = RunTool(dir_, "qvadmsgdllreg", "-p " + std::string(260, 'p'));
  EXPECT_EQ(r.rc, 22);
  EXPECT_EQ(r.out, tooltest::Usage("Usage: qvadmsgdllreg -p installpath [-o logfile]"));
  r = RunTool(dir_, "qvadmsgdllreg", "");
  EXPECT_EQ(r.rc, 22);
  std::string log = dir_.file("log");
  r = RunTool(dir_, "qvadmsgdllreg", "-o " + Q(log));
  EXPECT_EQ(r.rc, 22);
  EXPECT_EQ(qvtest::ReadFile(log), "qvadmsgdllreg error invalid parameter.");
}

TEST_F(MsgSource, UnregisterRemovesTheSourceOnce) {
  if (plat::RegistryKeyExists(plat::RegRoot::LocalMachine, kQvadEventLogParentKey) != 0) {
    // A registry without the event log's key at all.
    auto r = RunTool(dir_, "qvadmsgdllunreg", "");
    EXPECT_EQ(r.rc, Seen(301));
    EXPECT_EQ(r.out, "qvadmsgdllunreg error open registory key(2).");
  }
  ASSERT_EQ(RunTool(dir_, "qvadmsgdllreg", "-p x").rc, 0);
  auto r = RunTool(dir_, "qvadmsgdllunreg", "");
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(plat::RegistryKeyExists(plat::RegRoot::LocalMachine, kQvadEventSourceKey), 0u);
  EXPECT_EQ(plat::RegistryKeyExists(plat::RegRoot::LocalMachine, kQvadEventLogParentKey), 0u);

  std::string log = dir_.file("log");
  r = RunTool(dir_, "qvadmsgdllunreg", "-o " + Q(log));
  EXPECT_EQ(r.rc, Seen(304));
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(qvtest::ReadFile(log), "qvadmsgdllunreg error set registory.");
  EXPECT_NE(tooltest::Trace(dir_, "QvAdnerl02").find("code=304 | END"), std::string::npos)
      << "the full status is in the END entry";

  r = RunTool(dir_, "qvadmsgdllunreg", "-p x");
  EXPECT_EQ(r.rc, 22);
  EXPECT_EQ(r.out, tooltest::Usage("Usage: qvadmsgdllunreg [-o logfile]"));
}

}  // namespace
