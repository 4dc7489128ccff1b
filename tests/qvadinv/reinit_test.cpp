// A host that calls Init twice without Close: the front library drops the
// first engine without its close, so what that engine held is lost by
// design (this program runs without leak detection for that reason). The new
// engine must still get the run mutex its own process holds.
#include "run_fixture.h"

namespace {

using qvtest::Run;
using qvtest::RunResult;

TEST_F(Run, InitTwiceWithoutCloseGetsTheMutexAgain) {
  Nodes({"n1"});
  ASSERT_EQ(init_(), 0);
  // The front library drops the first engine without its close; the new
  // engine must not wait for the mutex its own process still holds.
  ASSERT_EQ(init_(), 0);
  RunResult r = Go();
  EXPECT_EQ(r.init, 0);
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1"}));
}

}  // namespace
