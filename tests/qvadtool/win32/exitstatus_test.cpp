// Win32 hands the whole exit code to the parent.
#include "platform/exitstatus.h"

#include <gtest/gtest.h>

TEST(Win32ExitStatus, WholeCode) {
  EXPECT_EQ(plat::ExitStatus(300), 300);
  EXPECT_EQ(plat::ExitStatus(1073), 1073);
}
