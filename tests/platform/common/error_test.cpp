// The errno values the C runtime reports become the same Win32 code on both
// platforms, so an error record or a trace reads the same on either.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include "platform/error.h"
#include "testutil.h"

namespace {

TEST(ErrorFromErrno, SameCodeForTheSameCauseOnEitherPlatform) {
  struct Case {
    int err;
    std::uint32_t code;
  } cases[] = {
      {0, 0},
      {ENOENT, 2},
      {ENOTDIR, 3},
      {EACCES, 5},
      {EPERM, 5},
      {EROFS, 5},
      {EBADF, 6},
      {ENOMEM, 8},
      {EBUSY, 32},
      {EINVAL, 87},
      {EPIPE, 109},
      {ENOSPC, 112},
      {EEXIST, 183},
      {ENOEXEC, 193},
      {ENAMETOOLONG, 206},
      {EAGAIN, 232},
      {ETIMEDOUT, 258},
      {E2BIG, 1006},
      {EDOM, 31},  // anything else: a general failure, never success
  };
  for (const Case &c : cases) EXPECT_EQ(plat::ErrorFromErrno(c.err), c.code) << "errno " << c.err;
}

TEST(ErrorFromErrno, AMissingFileReadsAsNotFound) {
  qvtest::ScratchDir dir("errno");
  errno = 0;
  std::FILE *f = std::fopen(dir.file("absent.txt").c_str(), "r");
  ASSERT_EQ(f, nullptr);
  EXPECT_EQ(plat::ErrorFromErrno(errno), plat::kErrFileNotFound);
}

}  // namespace
