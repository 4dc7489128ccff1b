// Hosts of one install run by different users: root's run and an ordinary
// user's run of the install's group must still take turns on the run
// mutex, and a user outside that group must not be able to hold it.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "run_fixture.h"

namespace fs = std::filesystem;

namespace {

using qvtest::ReadFile;
using qvtest::Run;

constexpr uid_t kNobody = 65534;  // its group, 65534, plays the install's group
constexpr uid_t kOutsider = 65533;

std::size_t Count(const std::string &text, const std::string &what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Opens the scratch install's folders and the files already in them to
// every user, as an install is opened to the accounts that run hosts on it.
// What the adapter creates later keeps the mode it was created with.
void OpenToEveryone(const std::string &root) {
  std::error_code ec;
  fs::permissions(root, fs::perms::all, ec);
  for (const auto &e : fs::recursive_directory_iterator(root, ec))
    fs::permissions(e.path(),
                    e.is_directory() ? fs::perms::all
                                     : fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                           fs::perms::group_write | fs::perms::others_read | fs::perms::others_write,
                    ec);
}

TEST_F(Run, AnOrdinaryUsersHostWaitsForRootsRun) {
  if (geteuid() != 0) GTEST_SKIP() << "starting a host as another user needs root";
  const std::string root = fs::path(inst.install()).parent_path().string();
  Nodes({"n1"});
  // The trace files are shared by both hosts: make them before opening up.
  for (const char *channel : {"QvAdnerl03", "QvAdnerl04"})
    ASSERT_TRUE(qvtest::WriteFile(plat::GetEnv("ZLTGATE_DIR") + "/" + channel + ".trc", ""));
  OpenToEveryone(root);
  ASSERT_EQ(chown(inst.path("var").c_str(), static_cast<uid_t>(-1), kNobody), 0);
  // Root's files come out as a service's usually do: writable by root only.
  mode_t old_mask = umask(022);
  int init = init_();  // root holds the run mutex, and may have created its lock file
  umask(old_mask);
  ASSERT_EQ(init, 0);
  std::size_t waits = Count(inst.trace("QvAdnerl04"), "Qvad_EmInvInit Wait Mutex.");

  const std::string host = qvtest::BinPath("qvadinvhost");
  const std::string lib = std::string(QVAD_BIN_DIR) + "/" + plat::LibraryFileName("qvadinv");
  const std::string out_path = inst.path("var/host.out");
  int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  ASSERT_GE(out, 0);
  pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(125);
    dup2(out, 1);
    dup2(out, 2);
    execl(host.c_str(), host.c_str(), "--lib", lib.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  close(out);
  ASSERT_GT(pid, 0);

  bool waiting = false;
  int status = 0;
  bool ended_early = false;
  for (int i = 0; i < 600 && !waiting && !ended_early; ++i) {
    waiting = Count(inst.trace("QvAdnerl04"), "Qvad_EmInvInit Wait Mutex.") > waits;
    ended_early = !waiting && waitpid(pid, &status, WNOHANG) == pid;
    if (!waiting && !ended_early) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(waiting) << ReadFile(out_path) << inst.trace("QvAdnerl03");
  EXPECT_EQ(close_(), 0);
  if (!ended_early) {
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(out_path) << inst.trace("QvAdnerl03");
  EXPECT_NE(ReadFile(out_path).find("summary: nodes=1 failed=0"), std::string::npos) << ReadFile(out_path);
}

// The lock file is the install group's (0660, the var folder's group): a
// user outside it can neither lock it nor open it; and a link put in its
// place is refused, not followed. Each probe runs as that user.
TEST_F(Run, AUserOutsideTheInstallsGroupCannotHoldTheRunMutex) {
  if (geteuid() != 0) GTEST_SKIP() << "playing another user needs root";
  Nodes({"n1"});
  OpenToEveryone(fs::path(inst.install()).parent_path().string());
  const std::string lock = inst.path("var/qavdinv.lock");
  ASSERT_EQ(chown(inst.path("var").c_str(), static_cast<uid_t>(-1), kNobody), 0);
  mode_t old_mask = umask(0);  // the mode must not come from the umask
  int init = init_();
  umask(old_mask);
  ASSERT_EQ(init, 0);
  EXPECT_EQ(close_(), 0);
  struct stat st {};
  ASSERT_EQ(lstat(lock.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
  EXPECT_EQ(st.st_gid, kNobody);

  // 0 when the user could open the file and lock it, else 1.
  auto holds = [&](uid_t user, gid_t group) {
    pid_t pid = fork();
    if (pid == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(group) != 0 || setuid(user) != 0) _exit(125);
      for (int how : {O_RDWR, O_RDONLY}) {
        int fd = open(lock.c_str(), how | O_CLOEXEC);
        struct flock fl {};
        fl.l_type = how == O_RDWR ? F_WRLCK : F_RDLCK;
        if (fd >= 0 && fcntl(fd, F_SETLK, &fl) == 0) _exit(0);
      }
      _exit(1);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(holds(kOutsider, kOutsider), 1);
  EXPECT_EQ(holds(kNobody, kNobody), 0);  // a member can, as it must to run

  // A link in its place, to a file of the outsider's: not locked, not re-moded.
  const std::string theirs = inst.path("var/theirs");
  ASSERT_TRUE(qvtest::WriteFile(theirs, ""));
  ASSERT_EQ(chown(theirs.c_str(), kOutsider, kOutsider), 0);
  ASSERT_EQ(chmod(theirs.c_str(), 0600), 0);
  ASSERT_EQ(unlink(lock.c_str()), 0);
  ASSERT_EQ(symlink(theirs.c_str(), lock.c_str()), 0);
  EXPECT_NE(init_(), 0);
  close_();
  ASSERT_EQ(stat(theirs.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(st.st_gid, kOutsider);
}

}  // namespace
