// Taking back an append: a file's length as it is on disk, and cutting it
// back to an earlier length, never further out.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/file.h"
#include "testutil.h"

namespace {

TEST(CutFileBack, ReturnsAFileToAnEarlierLength) {
  qvtest::ScratchDir dir("cutback");
  const std::string path = dir.file("rows.csv");
  // Text mode, as the result files are written: the length counts the
  // platform's line ends.
  std::FILE *f = std::fopen(path.c_str(), "a");
  ASSERT_NE(f, nullptr);
  std::fputs("row 1\n", f);
  std::fclose(f);
  std::uint64_t before = 0;
  ASSERT_EQ(plat::FileLength(path.c_str(), &before), 0);
  const std::string first = qvtest::ReadFile(path);
  EXPECT_EQ(before, first.size());
  f = std::fopen(path.c_str(), "a");
  ASSERT_NE(f, nullptr);
  std::fputs("row 2 cut", f);
  std::fclose(f);

  struct Case {
    const char *what;
    std::uint64_t length;
    int result;
    std::string content;
  } cases[] = {
      {"further out than the file", before + 100, EINVAL, first + "row 2 cut"},
      {"back to the row end", before, 0, first},
      {"where it already is", before, 0, first},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(plat::CutFileBack(path.c_str(), c.length), c.result);
    EXPECT_EQ(qvtest::ReadFile(path), c.content);
  }
  std::uint64_t length = 0;
  EXPECT_EQ(plat::FileLength(dir.file("none.csv").c_str(), &length), ENOENT);
  EXPECT_EQ(plat::CutFileBack(dir.file("none.csv").c_str(), 0), ENOENT);
  EXPECT_EQ(plat::FileLength(dir.path().c_str(), &length), EINVAL);
}

}  // namespace
