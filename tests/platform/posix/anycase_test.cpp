// What only a file system that keeps names of different letter case apart
// can show of the case-blind open.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/sys.h"
#include "testutil.h"

namespace {

TEST(OpenFileAnyCasePosix, ChoosesAmongNamesThatDifferOnlyInCase) {
  qvtest::ScratchDir dir("anycaseposix");
  std::filesystem::create_directories(dir.file("Hard"));
  for (const char *name : {"cpu.csv", "CPU.csv", "Disk.csv", "\xC3\x89t\xC3\xA9.csv", "Hard/x.csv"})
    ASSERT_TRUE(qvtest::WriteFile(dir.file(name), name));
  struct Case {
    const char *asked;
    const char *opened;  // null: not found
  } cases[] = {
      {"cpu.csv", "cpu.csv"},                                // the exact name wins
      {"CPU.csv", "CPU.csv"},
      {"Cpu.csv", "CPU.csv"},                                // else the first in byte order
      {"DISK.CSV", "Disk.csv"},
      {"\xC3\xA9t\xC3\xA9.csv", nullptr},                    // only ASCII letters are folded
      {"\xC3\x89T\xC3\xA9.csv", "\xC3\x89t\xC3\xA9.csv"},
      {"hard/x.csv", nullptr},                               // the folder is taken as written
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.asked);
    errno = 0;
    std::FILE *f = plat::OpenFileAnyCase(dir.file(c.asked).c_str(), "rb");
    if (c.opened == nullptr) {
      EXPECT_EQ(f, nullptr);
      EXPECT_EQ(errno, ENOENT);
      if (f != nullptr) std::fclose(f);
      continue;
    }
    ASSERT_NE(f, nullptr);
    char buf[64] = {};
    std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string(buf, n), c.opened);
  }
}

}  // namespace
