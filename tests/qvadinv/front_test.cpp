// The front library as a host sees it, with a recording engine installed
// under the adapter's bin folder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "hp_ov/qvademinv/qvademinv.h"
#include "invinstall.h"
#include "platform/library.h"
#include "platform/sys.h"

namespace {

class Front : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string path = std::string(QVAD_BIN_DIR) + plat::kSep + plat::LibraryFileName("qvadinv");
    lib_ = plat::LoadLibraryByPath(path.c_str());
    ASSERT_NE(lib_, nullptr);
    init_ = reinterpret_cast<QVAD_EMINVINIT>(plat::LibrarySymbol(lib_, "Qvad_InvInit"));
    file_ = reinterpret_cast<QVAD_EMINVFILE>(plat::LibrarySymbol(lib_, "Qvad_InvFile"));
    close_ = reinterpret_cast<QVAD_EMINVCLOSE>(plat::LibrarySymbol(lib_, "Qvad_InvClose"));
    ASSERT_TRUE(init_ && file_ && close_);
  }
  void TearDown() override {
    close_();
    plat::FreeLibrary(lib_);
  }
  void UseEngine(const char *variant) {
    std::string name = plat::LibraryFileName("qvademinv");
    std::filesystem::copy_file(std::string(QVAD_FIXTURE_DIR) + plat::kSep + variant + plat::kSep + name,
                               inst.path("bin") + plat::kSep + name, std::filesystem::copy_options::overwrite_existing);
  }
  std::string Calls() { return qvtest::ReadFile(log_path); }

  qvtest::InvInstall inst{"inv2front"};
  std::string log_path = inst.path("var/engine.log");
  qvtest::EnvVar log_{"FAKE_ENGINE_LOG", log_path};
  plat::Library lib_ = nullptr;
  QVAD_EMINVINIT init_ = nullptr;
  QVAD_EMINVFILE file_ = nullptr;
  QVAD_EMINVCLOSE close_ = nullptr;
};

TEST_F(Front, CallsBeforeInitAndNullRecords) {
  INV_INFO info;
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(file_(&info), -3);
  for (unsigned char b : std::string(reinterpret_cast<char *>(&info), sizeof info)) ASSERT_EQ(b, 0);
  EXPECT_EQ(file_(nullptr), -1);
  EXPECT_EQ(close_(), 1);
  std::string trc = inst.trace("QvAdnerl03");
  EXPECT_NE(trc.find("Qvad_InvFile function pointer is NULL."), std::string::npos);
  EXPECT_NE(trc.find("INV_INFO pointer is NULL."), std::string::npos);
  EXPECT_NE(trc.find("Qvad_InvClose function pointer is NULL."), std::string::npos);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(Front, LoaderFailuresLeaveNothingBound) {
  // No engine in bin: -2 with the platform's module-not-found code.
  EXPECT_EQ(init_(), -2);
  EXPECT_NE(inst.trace("QvAdnerl03").find("Qvad_InvInit Error in Qvad_LoadEmLibrary : "), std::string::npos);
  // An engine without its close entry point is bound not at all and released.
  UseEngine("fakeengine_noclose");
  EXPECT_EQ(init_(), -3);
  EXPECT_NE(inst.trace("QvAdnerl03").find("Qvad_InvInit Error in Qvad_GetEmProcAddress : "), std::string::npos);
  EXPECT_FALSE(plat::LibraryIsLoaded("qvademinv"));
  INV_INFO info;
  EXPECT_EQ(file_(&info), -3);
  EXPECT_EQ(close_(), 1);
  // No environment file: 22 with the reader's 2.
  std::filesystem::remove_all(inst.path("../vrex/etc"));
  EXPECT_EQ(init_(), -2);
  EXPECT_NE(inst.trace("QvAdnerl03").find(" 22 2 ."), std::string::npos);
}

TEST_F(Front, EngineLoadFailuresCarryTheCauseAsWindowsGivesIt) {
  const std::string engine = inst.path("bin") + plat::kSep + plat::LibraryFileName("qvademinv");
  struct Case {
    const char *what;
    const char *variant;  // fixture engine to install, or null
    const char *bytes;    // else these bytes as the engine, or null for no file
    const char *codes;    // the message's local and system code
  } cases[] = {
      {"no engine file", nullptr, nullptr, " 22 126 ."},
      {"a text file", nullptr, "not a library\n", " 22 193 ."},
      {"a needed library missing", "fakeengine_needy", nullptr, " 22 126 ."},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(engine);
    if (c.variant != nullptr) UseEngine(c.variant);
    if (c.bytes != nullptr) {
      ASSERT_TRUE(qvtest::WriteFile(engine, c.bytes));
    }
    std::size_t before = inst.trace("QvAdnerl03").size();
    EXPECT_EQ(init_(), -2);
    std::string added = inst.trace("QvAdnerl03").substr(before);
    EXPECT_NE(added.find("Qvad_InvInit Error in Qvad_LoadEmLibrary : "), std::string::npos) << added;
    EXPECT_NE(added.find(c.codes), std::string::npos) << added;
    EXPECT_FALSE(plat::LibraryIsLoaded("qvademinv"));
  }
}

TEST_F(Front, ForwardsAndKeepsOneEngineReference) {
  UseEngine("fakeengine");
  {
    qvtest::EnvVar fail("FAKE_ENGINE_INIT", "-6");
    EXPECT_EQ(init_(), -6);  // the engine's failure is passed through; it stays loaded
  }
  EXPECT_TRUE(plat::LibraryIsLoaded("qvademinv"));
  EXPECT_EQ(init_(), 0);  // a second Init releases the first engine without its close
  INV_INFO info;
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(file_(&info), 7);
  EXPECT_STREQ(info.NodeName, "fake-node");
  EXPECT_EQ(close_(), 0);
  EXPECT_FALSE(plat::LibraryIsLoaded("qvademinv"));
  EXPECT_EQ(close_(), 1);
  EXPECT_EQ(qvtest::Lines(Calls()), (std::vector<std::string>{"init", "init", "file zeroed", "close"}));
}

}  // namespace
