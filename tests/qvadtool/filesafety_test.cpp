// The files and registry values the setup tools write, under the faults an
// installer meets: arguments that would add lines, a reader busy with the
// file, a file set read-only.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "cmn/qvadinstall.h"
#include "cmn/qvadmsgdllreg/eventsource.h"
#include "platform/library.h"
#include "platform/registry.h"
#include "platform/sys.h"
#include "toolrun.h"

namespace {

using tooltest::Q;
using tooltest::RunTool;

const char kRepUsage[] =
    "Usage: qvadrepini -p installpath -i ipaddress -t repositorytype \t\t\t         [-s sitetype][-n sitename ] [-o "
    "logfile]";
const char kEmUsage[] = "Usage: qvademenv -p installpath [-o logfile]";
const char kRegUsage[] = "Usage: qvadmsgdllreg -p installpath [-o logfile]";

class FileSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    reg_ = std::make_unique<qvtest::EnvVar>("QVAD_REGISTRY", dir_.file("registry.reg"));
    trc_ = std::make_unique<qvtest::EnvVar>("ZLTGATE_DIR", dir_.file("trc"));
    plat::MakeDirectory(dir_.file("trc").c_str());
    install_ = dir_.file("nerl");
    root_ = dir_.file("vrex");
    for (const std::string &d : {install_, install_ + plat::kSep + "etc", root_, root_ + plat::kSep + "etc"})
      plat::MakeDirectory(d.c_str());
    // Under Wine the registry is shared by the whole prefix: keep what was there.
    std::uint32_t size = sizeof saved_;
    had_root_ =
        plat::RegistryQuery(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, nullptr, saved_, &size) == 0;
    saved_size_ = size;
    ASSERT_EQ(plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, plat::kRegSz, root_.c_str(),
                                static_cast<std::uint32_t>(root_.size() + 1)),
              0u);
  }
  void TearDown() override {
    if (had_root_)
      plat::RegistrySet(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue, plat::kRegSz, saved_, saved_size_);
    else
      plat::RegistryDeleteValue(plat::RegRoot::LocalMachine, kQvadVrexKey, kQvadVrexValue);
    plat::RegistryDeleteKey(plat::RegRoot::LocalMachine, kQvadEventSourceKey);
  }
  std::string RepFile() const { return install_ + plat::kSep + "etc" + plat::kSep + "RepInfo.ini"; }
  std::string EnvFile() const { return root_ + plat::kSep + "etc" + plat::kSep + "nerladapter.env"; }
  std::string RepExpect(const std::string &ip) const {
    const std::string e = tooltest::kEol;
    return "[General]" + e + "ServerIP=" + ip + e + "Type=0" + e + "SiteName=" + e;
  }
  std::string EnvExpect(const std::string &d) const {
    return d + plat::kBinPiece + plat::LibraryFileName("qvadinv") + tooltest::kEol + d;
  }
  bool EventSourceRegistered() const {
    return plat::RegistryKeyExists(plat::RegRoot::LocalMachine, kQvadEventSourceKey) == 0;
  }

  qvtest::ScratchDir dir_{"filesafety"};
  std::unique_ptr<qvtest::EnvVar> reg_, trc_;
  std::string install_, root_;
  char saved_[260] = {};
  std::uint32_t saved_size_ = 0;
  bool had_root_ = false;
};

TEST_F(FileSafety, ControlCharactersInArgumentsThatAreWrittenAreRefused) {
  ASSERT_EQ(RunTool(dir_, "qvadrepini", "-p " + Q(install_) + " -i 10.0.0.1 -t 2").rc, 0);
  ASSERT_EQ(RunTool(dir_, "qvademenv", "-p " + Q(install_)).rc, 0);
  const std::string rep = qvtest::ReadFile(RepFile()), env = qvtest::ReadFile(EnvFile());
  const std::string p = " -p " + Q(install_);
  struct Case {
    const char *tool;
    std::string args;
    const char *usage;
  } cases[] = {
      {"qvadrepini", p + " -i " + Q("10.0.0.1\nType=2") + " -t 2", kRepUsage},
      {"qvadrepini", p + " -i " + Q("10.0.0.1\r") + " -t 2", kRepUsage},
      {"qvadrepini", p + " -i 10.0.0.1 -t 1 -s 2 -n " + Q("Site\nServerIP=10.6.6.6"), kRepUsage},
      {"qvadrepini", p + " -i 10.0.0.1 -t 1 -s 2 -n " + Q("Site\tA"), kRepUsage},
      {"qvadrepini", p + " -i " + Q("10.0.0.1\x1b[2J") + " -t 2", kRepUsage},
      {"qvadrepini", p + " -i " + Q("10.0.0.1\x7f") + " -t 2", kRepUsage},
      {"qvademenv", "-p " + Q(install_ + "\n/evil"), kEmUsage},
      {"qvademenv", "-p " + Q(install_ + "\r"), kEmUsage},
      {"qvadmsgdllreg", "-p " + Q(install_ + "\n/evil"), kRegUsage},
  };
  std::string log = dir_.file("log");
  for (const auto &c : cases) {
    auto r = RunTool(dir_, c.tool, c.args + " -o " + Q(log));
    EXPECT_EQ(r.rc, 22) << c.tool << c.args;
    EXPECT_EQ(r.out, tooltest::Usage(c.usage)) << c.tool << c.args;
    EXPECT_FALSE(qvtest::Exists(log)) << "an invalid command line writes no log";
  }
  EXPECT_EQ(qvtest::ReadFile(RepFile()), rep);
  EXPECT_EQ(qvtest::ReadFile(EnvFile()), env);
  EXPECT_FALSE(EventSourceRegistered());
}

// Whole-file reads, telling a file that could not be opened (skipped: on
// Windows the rename may hold a reader off for a moment) from an empty one.
bool ReadIfThere(const std::string &path, std::string &out) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  out = ss.str();
  return true;
}

TEST_F(FileSafety, AReaderSeesTheOldFileOrTheNewNeverAPart) {
  const std::string a = dir_.file("a"), b = dir_.file(std::string(150, 'b'));
  struct Case {
    const char *tool;
    std::string file, args_a, args_b, text_a, text_b;
  } cases[] = {
      {"qvadrepini", RepFile(), "-p " + Q(install_) + " -i 10.0.0.1 -t 2",
       "-p " + Q(install_) + " -i " + std::string(39, '9') + " -t 2", RepExpect("10.0.0.1"),
       RepExpect(std::string(39, '9'))},
      {"qvademenv", EnvFile(), "-p " + Q(a), "-p " + Q(b), EnvExpect(a), EnvExpect(b)},
  };
  const int runs = tooltest::kSlowProcessStart ? 6 : 40;
  for (const auto &c : cases) {
    ASSERT_EQ(RunTool(dir_, c.tool, c.args_a).rc, 0);
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::string odd;
    std::thread reader([&] {
      std::string got;
      while (!done) {
        // On Windows a reader holds the rename off while it has the file
        // open, and the tool waits for it only so long: this reader, unlike
        // one that never lets go, leaves it moments to get through.
        if (tooltest::kOpenFileBlocksRename) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!ReadIfThere(c.file, got)) continue;
        ++reads;
        if (got != c.text_a && got != c.text_b && odd.empty()) odd = got.empty() ? "<empty>" : got;
      }
    });
    for (int i = 0; i < runs; ++i) {
      auto r = RunTool(dir_, c.tool, i % 2 == 0 ? c.args_b : c.args_a);
      EXPECT_EQ(r.rc, 0) << c.tool << ": " << r.out;
    }
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0) << c.tool;
    EXPECT_EQ(odd, "") << c.tool << ": a reader saw a file that neither run wrote";
    EXPECT_EQ(qvtest::ReadFile(c.file), c.text_a) << c.tool;
    // Nothing is left behind beside the file.
    int entries = 0;
    for (const auto &e : std::filesystem::directory_iterator(std::filesystem::path(c.file).parent_path())) {
      (void)e;
      ++entries;
    }
    EXPECT_EQ(entries, 1) << c.tool;
  }
}

TEST_F(FileSafety, AReadOnlyFileIsRefusedAndKept) {
  struct Case {
    const char *tool;
    std::string file, args, message;
  } cases[] = {
      {"qvadrepini", RepFile(), "-p " + Q(install_) + " -i 10.0.0.1 -t 2",
       "qvadrepini error create Repinfo.ini:" + std::to_string(EACCES) + "."},
      {"qvademenv", EnvFile(), "-p " + Q(install_), "qvademenv error create env file."},
  };
  namespace fs = std::filesystem;
  for (const auto &c : cases) {
    ASSERT_TRUE(qvtest::WriteFile(c.file, "set by hand"));
    fs::permissions(c.file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    auto r = RunTool(dir_, c.tool, c.args);
    EXPECT_EQ(r.rc, 2) << c.tool;
    EXPECT_EQ(r.out, c.message);
    EXPECT_EQ(qvtest::ReadFile(c.file), "set by hand") << c.tool;
    fs::permissions(c.file, fs::perms::owner_write, fs::perm_options::add);
  }
}

}  // namespace
