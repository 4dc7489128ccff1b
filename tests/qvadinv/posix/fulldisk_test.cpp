// Whole inventory runs whose result folder fills up part-way: the host
// program runs with ret/ on a tmpfs of two pages (in a mount namespace of
// its own, so no mount outlives it), or under a file-size limit. What the
// asset inventory receives must be exactly the repository rows of the nodes
// the host was given, never a cut row nor a row of a refused node.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "run_fixture.h"

namespace {

using qvtest::Lines;
using qvtest::ReadFile;
using qvtest::Run;

constexpr int kCannotLimit = 125;

enum class Disk { Roomy, SmallTmpfs, FileSizeLimit, SmallTmpfsNoCutBack };

// Runs qvadinvhost as a host runs it, on the disk asked for; its exit
// status, or kCannotLimit when this machine does not allow that disk.
int RunHost(Disk disk, const std::string &ret, const std::string &out_path) {
  const std::string host = qvtest::BinPath("qvadinvhost");
  const std::string lib = std::string(QVAD_BIN_DIR) + "/" + plat::LibraryFileName("qvadinv");
  // The environment is made before the fork: only system calls after it.
  std::vector<std::string> env_text;
  for (char **e = environ; *e != nullptr; ++e) env_text.emplace_back(*e);
  if (disk == Disk::SmallTmpfsNoCutBack) {
    env_text.push_back(std::string("LD_PRELOAD=") + QVAD_NOCUTBACK_LIB);
    // The sanitizer's runtime then no longer comes first; that is meant.
    env_text.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
  }
  std::vector<char *> env;
  for (std::string &e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    if ((disk == Disk::SmallTmpfs || disk == Disk::SmallTmpfsNoCutBack) &&
        (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
         mount("tmpfs", ret.c_str(), "tmpfs", 0, "size=8k") != 0)) {
      _exit(kCannotLimit);
    }
    if (disk == Disk::FileSizeLimit) {
      // Past the limit a write fails with EFBIG instead of ending the process.
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{32 * 1024, 32 * 1024};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(kCannotLimit);
    }
    dup2(out, 1);
    dup2(out, 2);
    execle(host.c_str(), host.c_str(), "--lib", lib.c_str(), static_cast<char *>(nullptr), env.data());
    _exit(127);
  }
  close(out);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class FullDisk : public Run {
 protected:
  // This computer first (so the run delivers), then count nodes; every node
  // has two interfaces whose names are pad bytes long, so a few nodes fill
  // the disk.
  std::vector<std::string> WideNodes(int count, std::size_t pad) {
    std::vector<std::string> names{host_};
    for (int i = 1; i <= count; ++i) names.push_back("n" + std::to_string(i));
    std::string list;
    for (const auto &n : names) list += n + ",attr-" + n + "\n";
    inst.Answer("nodes", list);
    for (const auto &n : names) {
      inst.Answer("a " + n, n + ",hw-" + n + ",eth0" + std::string(pad, 'e') + ",1,0\n" + n + ",x,eth1" +
                                std::string(pad, 'f') + ",0,1\n");
      inst.Answer("if " + n, "2\n");
    }
    return names;
  }
  std::string Delivered() const { return ReadFile(inst.fxsend_dir() + "/Repository.csv"); }
  void ForgetDelivery() const {
    std::remove((inst.fxsend_dir() + "/Repository.csv").c_str());
    std::remove((inst.fxsend_dir() + "/fxsend.log").c_str());
  }
};

// The repository rows of each node ("Site.<node>" is the second cell).
std::map<std::string, std::string> RowsByNode(const std::string &repository) {
  std::map<std::string, std::string> rows;
  for (const std::string &line : Lines(repository)) {
    std::size_t at = line.find(",Site.") + 6;
    rows[line.substr(at, line.find(',', at) - at)] += line + "\n";
  }
  return rows;
}

TEST_F(FullDisk, DeliversTheRowsOfTheNodesHandedOutAndNothingCut) {
  struct Case {
    const char *what;
    Disk disk;
    std::size_t pad;
  } cases[] = {
      {"ret on a tmpfs of 8 KiB", Disk::SmallTmpfs, 200},
      {"a file-size limit of 32 KiB", Disk::FileSizeLimit, 900},
  };
  const std::string out = inst.path("var/host.out");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> names = WideNodes(30, c.pad);
    ForgetDelivery();
    ASSERT_EQ(RunHost(Disk::Roomy, inst.path("ret"), out), 0) << ReadFile(out);
    std::map<std::string, std::string> rows = RowsByNode(Delivered());
    ASSERT_EQ(rows.size(), names.size());

    ForgetDelivery();
    int rc = RunHost(c.disk, inst.path("ret"), out);
    if (rc == kCannotLimit) {
      std::printf("[  SKIPPED ] %s: not allowed here (not root, or no mount namespace)\n", c.what);
      continue;
    }
    std::string printed = ReadFile(out);
    EXPECT_EQ(rc, 1) << printed;  // some nodes failed
    // The nodes handed out with 0, in list order, and their rows.
    std::string expected;
    std::size_t handed = 0, refused = 0;
    for (const std::string &line : Lines(printed)) {
      if (line.find("] failed -8") != std::string::npos) ++refused;
      std::size_t at = line.find("] ");
      std::size_t attr = line.find(" attr=");
      if (line[0] != '[' || at == std::string::npos || attr == std::string::npos) continue;
      expected += rows[line.substr(at + 2, attr - at - 2)];
      ++handed;
    }
    EXPECT_GT(handed, 1u) << printed;
    EXPECT_GT(refused, 1u) << printed;
    EXPECT_EQ(handed + refused, names.size()) << printed;
    // The rows are long: say how they differ rather than print them.
    std::string got = Delivered();
    EXPECT_TRUE(got == expected) << got.size() << " bytes delivered, " << expected.size() << " expected; "
                                 << Lines(got).size() << " rows, " << Lines(expected).size() << " expected; ends in '"
                                 << got.substr(got.size() > 24 ? got.size() - 24 : 0) << "'";
    EXPECT_NE(inst.trace("QvAdnerl03").find("(Error)Repository rows of a failed node taken back : Name = "),
              std::string::npos);
  }
}

}  // namespace

namespace {

TEST_F(FullDisk, ARepositoryThatCannotBeMadeWholeIsNotDelivered) {
  // The disk fills part-way and the cut rows cannot be taken back either.
  qvtest::EnvVar events("QVAD_EVENTLOG_FILE", inst.path("var/events.log"));
  WideNodes(30, 200);
  ForgetDelivery();
  const std::string out = inst.path("var/host.out");
  int rc = RunHost(Disk::SmallTmpfsNoCutBack, inst.path("ret"), out);
  if (rc == kCannotLimit) GTEST_SKIP() << "no tmpfs in a mount namespace here (not root?)";
  EXPECT_EQ(rc, 1) << ReadFile(out);
  EXPECT_FALSE(qvtest::Exists(inst.fxsend_dir() + "/Repository.csv"));
  EXPECT_EQ(inst.fxsend_log(), "");
  std::string err = inst.trace("QvAdnerl03");
  EXPECT_NE(err.find("(Error)Repository rows of a failed node cannot be taken back : Name = "), std::string::npos)
      << err;
  EXPECT_NE(err.find("(Error)Repository.csv not delivered, it is not whole : FileName = " +
                     inst.path("ret/Repository.csv") + " | rows of a failed node could not be taken back"),
            std::string::npos)
      << err;
  std::string logged = ReadFile(inst.path("var/events.log"));
  EXPECT_NE(logged.find("0xE0000C86"), std::string::npos) << logged;
}

}  // namespace
