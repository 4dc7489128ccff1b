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
  EXPECT_EQ(r.init, 0) << inst.trace("QvAdnerl03") << inst.trace("QvAdnerl04");
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1"}));
}

}  // namespace

namespace {

TEST_F(Run, InitTwiceWhileQueriesRunAhead) {
  // The first engine is unloaded while its workers run queries: they end
  // before its code goes, and the second engine's run is whole.
  inst.WriteEtc("RazSetting.ini", "[Repository]\nown=1\n[Inventory]\nown=1\nQueryWorkers=4\n");
  Nodes({"n1", "n2", "n3", "n4", "n5", "n6"});
  qvtest::EnvVar latency("OVDWQUERY_DELAY_MS", "300");
  ASSERT_EQ(init_(), 0);
  ASSERT_EQ(init_(), 0);
  RunResult r = Go();
  EXPECT_EQ(Names(r), (std::vector<std::string>{"0:n1", "0:n2", "0:n3", "0:n4", "0:n5", "0:n6"}));
  EXPECT_FALSE(qvtest::Exists(inst.path("tmp/hard/00")));
}

}  // namespace
