// A query process that outlived a killed host without its death signal
// (one that left its process group, or was started by a thread that lives
// on) is found through the record the host left in var/children: the next
// Init ends it and waits for it before its first query, and leaves alone a
// process that only got the same pid later.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "run_fixture.h"

namespace {

using qvtest::Run;

unsigned long long StartTime(pid_t pid) {
  std::string stat = qvtest::ReadFile("/proc/" + std::to_string(pid) + "/stat");
  std::size_t at = stat.rfind(')');
  if (at == std::string::npos) return 0;
  int field = 2;
  for (std::size_t i = at + 1; i < stat.size(); ++i) {
    if (stat[i] == ' ' && ++field == 22) return std::strtoull(stat.c_str() + i + 1, nullptr, 10);
  }
  return 0;
}

// A stand-in for a query process that escaped: a child of the test, so it
// is not the engine's to reap.
pid_t Sleeper() {
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sleep", "sleep", "30", static_cast<char *>(nullptr));
    _exit(127);
  }
  return pid;
}

bool Ended(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

TEST_F(Run, InitEndsWhatAnEarlierRunRecordedAndNothingElse) {
  Nodes({"n1"});
  std::string records = inst.path("var/children");
  std::filesystem::create_directories(records);
  pid_t left = Sleeper(), other = Sleeper();
  unsigned long long start = StartTime(left);
  ASSERT_NE(start, 0u);
  qvtest::WriteFile(records + "/" + std::to_string(left) + "-" + std::to_string(start) + "-1-1", "");
  // The same pid with another start time: a later process, not the run's.
  qvtest::WriteFile(records + "/" + std::to_string(other) + "-" + std::to_string(StartTime(other) + 1) + "-1-2", "");
  EXPECT_EQ(Names(Go()), std::vector<std::string>{"0:n1"});
  // Init sent the kill; the test reaps its own child.
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    gone = Ended(left);
    if (!gone) usleep(10000);
  }
  EXPECT_TRUE(gone);
  EXPECT_FALSE(Ended(other));
  EXPECT_NE(inst.trace("QvAdnerl03").find("(Warning)Processes of an earlier run ended : Count = 1"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(records)) << "the records of a finished run and of the ended process go";
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);
}

}  // namespace
