#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Clock.h"
#include "support/FakeClockScope.h"

namespace fw {
namespace {

TEST(Clock, FakeClockSleepsCostNoTimeButMoveTheTickCount) {
  test::FakeClockScope scope;
  auto t0 = std::chrono::steady_clock::now();
  uint32_t before = TickCount();
  Sleep(40000);
  Sleep(25000);
  uint32_t after = TickCount();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
  EXPECT_GE(after - before, 65000u);
  EXPECT_EQ(scope.clock().Sleeps(), (std::vector<uint32_t>{40000, 25000}));
  EXPECT_EQ(scope.clock().TotalSleptMs(), 65000u);
}

TEST(Clock, ScaledClockShortensSleepsButNotTheTickCount) {
  ScaledClock clock(0.01);
  SetClock(&clock);
  auto t0 = std::chrono::steady_clock::now();
  uint32_t before = TickCount();
  Sleep(2000);  // 20 ms
  auto elapsed = std::chrono::steady_clock::now() - t0;
  uint32_t ticks = TickCount() - before;
  SetClock(nullptr);
  EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
  EXPECT_GE(elapsed, std::chrono::milliseconds(15));
  EXPECT_LT(ticks, 1000u);  // ticks are real time
}

TEST(Clock, ScaleOutsideTheRangeMeansRealTime) {
  EXPECT_EQ(ScaledClock(0).Factor(), 1.0);
  EXPECT_EQ(ScaledClock(-2).Factor(), 1.0);
  EXPECT_EQ(ScaledClock(3).Factor(), 1.0);
  EXPECT_EQ(ScaledClock(0.5).Factor(), 0.5);
}

TEST(Clock, StopRequestEndsARealSleepEarly) {
  ClearStop();
  SetClock(nullptr);
  std::thread stopper([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    RequestStop();
  });
  auto t0 = std::chrono::steady_clock::now();
  Sleep(40000);
  auto elapsed = std::chrono::steady_clock::now() - t0;
  stopper.join();
  EXPECT_TRUE(StopRequested());
  ClearStop();
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

}  // namespace
}  // namespace fw
