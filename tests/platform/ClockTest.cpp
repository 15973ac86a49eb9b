#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/Clock.h"
#include "platform/JobClock.h"
#include "support/FakeClockScope.h"

namespace fw {
namespace {

TEST(Clock, FakeClockSleepsCostNoTimeButMoveTheTickCount) {
  JobClock job;
  test::FakeClockScope scope;
  scope.Attach(job);
  auto t0 = std::chrono::steady_clock::now();
  uint32_t before = job.TickCount();
  job.Sleep(40000);
  job.Sleep(25000);
  uint32_t after = job.TickCount();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
  EXPECT_GE(after - before, 65000u);
  EXPECT_EQ(scope.clock().Sleeps(), (std::vector<uint32_t>{40000, 25000}));
  EXPECT_EQ(scope.clock().TotalSleptMs(), 65000u);
}

TEST(Clock, ScaledClockShortensSleepsButNotTheTickCount) {
  ScaledClock clock(0.01);
  JobClock job(clock);
  auto t0 = std::chrono::steady_clock::now();
  uint32_t before = job.TickCount();
  job.Sleep(2000);  // 20 ms
  auto elapsed = std::chrono::steady_clock::now() - t0;
  uint32_t ticks = job.TickCount() - before;
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
  JobClock job;
  std::thread stopper([&job] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    job.RequestStop();
  });
  auto t0 = std::chrono::steady_clock::now();
  job.Sleep(40000);
  auto elapsed = std::chrono::steady_clock::now() - t0;
  stopper.join();
  EXPECT_TRUE(job.StopRequested());
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(Clock, StoppingOneJobLeavesAnotherJobsSleepAlone) {
  JobClock stopped;
  JobClock running;
  stopped.RequestStop();
  auto t0 = std::chrono::steady_clock::now();
  stopped.Sleep(40000);  // returns at once
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
  t0 = std::chrono::steady_clock::now();
  running.Sleep(60);  // sleeps its full length
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(55));
  EXPECT_FALSE(running.StopRequested());
  // A wait on the running job's signal is not woken by the other's stop either.
  EXPECT_TRUE(running.InterruptibleWait(20));
  EXPECT_FALSE(stopped.InterruptibleWait(20000));
  stopped.ClearStop();
  EXPECT_FALSE(stopped.StopRequested());
}

}  // namespace
}  // namespace fw
