// Timed waits of the platform layer, measured on its monotonic clock: a
// wait that finds nothing returns after about its time-out, neither at once
// (a deadline taken on one clock and checked on another ends early) nor
// much later. Stepping the system clock would show more, but the machine
// is shared, so these tests never touch it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/error.h"
#include "platform/event.h"
#include "platform/pipe.h"
#include "platform/sys.h"
#include "testutil.h"

namespace {

constexpr std::uint32_t kTimeoutMs = 300;
// Win32 waits and GetTickCount64 move in scheduler ticks (up to ~16 ms);
// a loaded machine may wake the waiter late.
constexpr std::int64_t kEarlyMs = 50;
constexpr std::int64_t kLateMs = 3000;

TEST(Clock, MonotonicMillisFollowsASleep) {
  std::int64_t a = plat::MonotonicMillis();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::int64_t b = plat::MonotonicMillis();
  EXPECT_GE(b - a, 100 - kEarlyMs);
  EXPECT_LT(b - a, 100 + kLateMs);
}

TEST(Waits, TimeOutAfterAboutTheirTime) {
  qvtest::ScratchDir dir("waits");
  qvtest::EnvVar rundir("QVAD_RUNDIR", dir.path());
  const char kName[] = "\\\\.\\pipe\\qvadwaittest";

  plat::EventHandle event = plat::CreateManualEvent();
  ASSERT_NE(event, nullptr);
  plat::EventHandle read_event = plat::CreateManualEvent();
  ASSERT_NE(read_event, nullptr);
  plat::PipeHandle server = plat::CreatePipeServer(kName, true, 4096);
  ASSERT_NE(server, plat::kInvalidPipe) << plat::LastError();
  plat::PipeHandle client = plat::OpenPipeClient(kName, true);
  ASSERT_NE(client, plat::kInvalidPipe);
  plat::PipeOverlapped ov{};
  char buffer[64];
  std::uint32_t got = 0;
  // Nobody writes: the read stays pending.
  ASSERT_EQ(plat::StartPipeRead(server, &ov, read_event, buffer, sizeof buffer, &got), 1);

  struct Case {
    const char *what;
    std::function<std::uint32_t()> wait;
  } cases[] = {
      {"event", [&] { return plat::WaitEvent(event, kTimeoutMs); }},
      {"pipe read", [&] { return plat::WaitPipeRead(server, &ov, read_event, kTimeoutMs); }},
  };
  for (const Case &c : cases) {
    std::int64_t start = plat::MonotonicMillis();
    EXPECT_EQ(c.wait(), plat::kWaitTimeout) << c.what;
    std::int64_t took = plat::MonotonicMillis() - start;
    EXPECT_GE(took, static_cast<std::int64_t>(kTimeoutMs) - kEarlyMs) << c.what;
    EXPECT_LT(took, static_cast<std::int64_t>(kTimeoutMs) + kLateMs) << c.what;
  }

  plat::ClosePipeEnd(client);
  plat::ClosePipeEnd(server);
  plat::CloseEvent(read_event);
  plat::CloseEvent(event);
}

}  // namespace
