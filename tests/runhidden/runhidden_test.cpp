// runhidden run as its callers run it: the command reaches the child whole,
// the launcher waits for it, and its own status says only whether it started.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sys.h"
#include "toolrun.h"

namespace {

using tooltest::Q;
using tooltest::RunTool;

TEST(RunHidden, RunsTheCommandWaitsAndIgnoresItsStatus) {
  qvtest::ScratchDir dir("runhidden");
  // A program in a folder whose name holds a blank, so it must be quoted.
  std::string folder = dir.file("D E");
  plat::MakeDirectory(folder.c_str());
  std::string child = folder + plat::kSep + "argdump" + plat::kExeSuffix;
  std::filesystem::copy_file(qvtest::FixturePath("argdump"), child);
  std::filesystem::permissions(child, std::filesystem::perms::owner_all);
  std::string dump = dir.file("args.txt");
  qvtest::EnvVar file("ARGDUMP_FILE", dump);
  qvtest::EnvVar code("ARGDUMP_EXIT", "7");
  qvtest::EnvVar sleep("ARGDUMP_SLEEP_MS", "700");

  auto r = RunTool(dir, "runhidden", Q(child) + " -a \"b c\"");
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.out, "");
  // Written after the child's pause: the launcher waited for it to end.
  EXPECT_EQ(qvtest::ReadFile(dump), "-a|b c");
}

TEST(RunHidden, CannotStartGives220) {
  qvtest::ScratchDir dir("runhidden");
  EXPECT_EQ(RunTool(dir, "runhidden", "").rc, 220);
  EXPECT_EQ(RunTool(dir, "runhidden", Q(dir.file("no-such-program")) + " -a").rc, 220);
}

}  // namespace
