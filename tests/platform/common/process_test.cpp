#include "platform/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsByTheWin32Rules) {
  EXPECT_EQ(plat::SplitCommandLine("a  b\tc"), (Args{"a", "b", "c"}));
  EXPECT_EQ(plat::SplitCommandLine("fxsend -p \"C:\\Program Files\\ret\\Repository.csv\""),
            (Args{"fxsend", "-p", "C:\\Program Files\\ret\\Repository.csv"}));
  EXPECT_EQ(plat::SplitCommandLine("x \"a\\\"b\" c\\\\\"d e\""), (Args{"x", "a\"b", "c\\d e"}));
  EXPECT_EQ(plat::SplitCommandLine("x a\\\\b \"\""), (Args{"x", "a\\\\b", ""}));
  EXPECT_EQ(plat::SplitCommandLine("   "), Args{});
}
