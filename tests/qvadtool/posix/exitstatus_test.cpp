// The folding of exit codes above 255 that the tools document.
#include "platform/exitstatus.h"

#include <gtest/gtest.h>

TEST(PosixExitStatus, DocumentedTable) {
  EXPECT_EQ(plat::ExitStatus(300), 44);
  EXPECT_EQ(plat::ExitStatus(301), 45);
  EXPECT_EQ(plat::ExitStatus(303), 47);
  EXPECT_EQ(plat::ExitStatus(304), 48);
  EXPECT_EQ(plat::ExitStatus(1053), 29);
  EXPECT_EQ(plat::ExitStatus(1060), 36);
  EXPECT_EQ(plat::ExitStatus(1061), 37);
  EXPECT_EQ(plat::ExitStatus(1063), 39);
  EXPECT_EQ(plat::ExitStatus(1073), 49);
  EXPECT_EQ(plat::ExitStatus(1024), 255);
  EXPECT_EQ(plat::ExitStatus(278), 255);
}
