// Opening a file whose name was composed from data, as Windows opens it:
// the letter case of the name does not matter.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/sys.h"
#include "testutil.h"

namespace {

std::string Content(std::FILE *f) {
  std::string s;
  char buf[64];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}

TEST(OpenFileAnyCase, FindsTheFileWhateverTheCaseOfItsName) {
  qvtest::ScratchDir dir("anycase");
  ASSERT_TRUE(qvtest::WriteFile(dir.file("CPU.csv"), "cpu rows"));
  struct Case {
    const char *asked;
    const char *content;  // null: not found
  } cases[] = {{"CPU.csv", "cpu rows"}, {"cpu.csv", "cpu rows"}, {"Cpu.CSV", "cpu rows"}, {"cpu.txt", nullptr}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.asked);
    errno = 0;
    std::FILE *f = plat::OpenFileAnyCase(dir.file(c.asked).c_str(), "rb");
    if (c.content == nullptr) {
      EXPECT_EQ(f, nullptr);
      EXPECT_EQ(errno, ENOENT);
      if (f != nullptr) std::fclose(f);
    } else {
      ASSERT_NE(f, nullptr);
      EXPECT_EQ(Content(f), c.content);
    }
  }
}

}  // namespace
