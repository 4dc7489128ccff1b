// A whole inventory run on a host whose name is set to a fully qualified
// one: the host program runs in a host-name namespace of its own, so the
// name is the system's real answer, not something the adapter is told.
#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "run_fixture.h"

namespace {

using qvtest::Lines;
using qvtest::ReadFile;
using qvtest::Run;

constexpr int kNoNamespace = 125;

// Runs qvadinvhost with the host name set to name; its exit status, or
// kNoNamespace when this machine does not let us give it a name of its own.
int RunHostNamed(const std::string &name, const std::string &out_path) {
  const std::string host = qvtest::BinPath("qvadinvhost");
  const std::string lib = std::string(QVAD_BIN_DIR) + "/" + plat::LibraryFileName("qvadinv");
  int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    // Only system calls between fork and exec.
    if (unshare(CLONE_NEWUTS) != 0 || sethostname(name.data(), name.size()) != 0) _exit(kNoNamespace);
    dup2(out, 1);
    dup2(out, 2);
    execl(host.c_str(), host.c_str(), "--lib", lib.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  close(out);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Run, OwnNodeFoundOnAHostWithAFullyQualifiedName) {
  // The own entries come first and, with inventory of the own node off,
  // are not handed out; the repository file is delivered at the end.
  inst.WriteEtc("RazSetting.ini", "[Repository]\nown=1\n[Inventory]\nown=0\n");
  Nodes({"n1", "invhost.example.local", "invhost"});
  struct Case {
    std::string host_name;
  } cases[] = {{"invhost.example.local"}, {"invhost"}, {"invhost.example.local."}};
  std::size_t deliveries = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.host_name);
    std::string out = inst.path("var/host.out");
    int rc = RunHostNamed(c.host_name, out);
    if (rc == kNoNamespace) GTEST_SKIP() << "no host-name namespace for this user";
    std::string printed = ReadFile(out);
    ASSERT_EQ(rc, 0) << printed;
    EXPECT_NE(printed.find("summary: nodes=1 failed=0"), std::string::npos) << printed;
    EXPECT_NE(printed.find("] n1 attr=attr-n1"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("] invhost"), std::string::npos) << printed;
    deliveries += 2;  // fxsend records its folder and its arguments
    EXPECT_EQ(Lines(inst.fxsend_log()).size(), deliveries);
  }
}

}  // namespace
