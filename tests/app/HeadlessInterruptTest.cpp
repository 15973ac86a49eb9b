// The interrupt rules of the headless front end, the same on every system, and the Windows
// console control handler that feeds them. (The POSIX signals are tested on the running
// program in HeadlessTest.)

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/HeadlessSignals.h"
#include "core/WritePhase.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fw {
namespace {

TEST(HeadlessInterrupts, InterruptWhileNothingIsWrittenStopsAtOnce) {
  ClearInterruptFlags();
  ASSERT_FALSE(RadioBeingWritten());
  OnInterruptRequest(false);
  EXPECT_EQ(Interrupts().stopAsked, 1);
  EXPECT_EQ(Interrupts().warned, 0);
  EXPECT_EQ(Interrupts().interrupts, 1);
  EXPECT_EQ(Interrupts().hungUp, 0);
}

TEST(HeadlessInterrupts, FirstInterruptWhileWritingOnlyWarnsTheSecondStops) {
  ClearInterruptFlags();
  RadioWriteScope writing;
  OnInterruptRequest(false);
  EXPECT_EQ(Interrupts().stopAsked, 0);
  EXPECT_EQ(Interrupts().warned, 1);
  EXPECT_EQ(Interrupts().interrupts, 1);
  OnInterruptRequest(false);
  EXPECT_EQ(Interrupts().stopAsked, 1);
  EXPECT_EQ(Interrupts().interrupts, 2);
  // Further interrupts only count.
  OnInterruptRequest(false);
  EXPECT_EQ(Interrupts().interrupts, 3);
  EXPECT_EQ(Interrupts().stopAsked, 1);
}

TEST(HeadlessInterrupts, WarningIsGivenOnceEvenWhenWritingStartsAgain) {
  ClearInterruptFlags();
  {
    RadioWriteScope writing;
    OnInterruptRequest(false);
  }
  EXPECT_EQ(Interrupts().stopAsked, 0);
  RadioWriteScope writingAgain;
  OnInterruptRequest(false);
  EXPECT_EQ(Interrupts().stopAsked, 1) << "a second interrupt stops whatever is written";
}

TEST(HeadlessInterrupts, HangUpStopsNothingAndClearingForgetsEverything) {
  ClearInterruptFlags();
  OnHangUpRequest();
  EXPECT_EQ(Interrupts().hungUp, 1);
  EXPECT_EQ(Interrupts().stopAsked, 0);
  EXPECT_EQ(Interrupts().interrupts, 0);
  OnInterruptRequest(false);
  MarkInterruptibleRunFinished();
  EXPECT_TRUE(InterruptibleRunFinished());
  ClearInterruptFlags();
  EXPECT_EQ(Interrupts().hungUp, 0);
  EXPECT_EQ(Interrupts().stopAsked, 0);
  EXPECT_EQ(Interrupts().interrupts, 0);
  EXPECT_FALSE(InterruptibleRunFinished());
}

#ifdef _WIN32
using Ms = std::chrono::milliseconds;

int64_t SinceMs(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - t0).count();
}

TEST(HeadlessConsoleControl, CtrlCAndCtrlBreakAreInterrupts) {
  ClearInterruptFlags();
  RadioWriteScope writing;
  EXPECT_EQ(HandleConsoleControl(CTRL_C_EVENT), 1);
  EXPECT_EQ(Interrupts().warned, 1);
  EXPECT_EQ(Interrupts().stopAsked, 0);
  EXPECT_EQ(HandleConsoleControl(CTRL_BREAK_EVENT), 1);
  EXPECT_EQ(Interrupts().stopAsked, 1);
  EXPECT_EQ(Interrupts().interrupts, 2);
  EXPECT_EQ(Interrupts().hungUp, 0);
}

TEST(HeadlessConsoleControl, ClosingTheConsoleHoldsTheProcessUntilTheJobsHaveEnded) {
  ClearInterruptFlags();
  std::thread frontEnd([] {
    // The front end sees the flags, stops its jobs and ends the run.
    while (Interrupts().stopAsked == 0) {
      std::this_thread::sleep_for(Ms(5));
    }
    std::this_thread::sleep_for(Ms(200));
    MarkInterruptibleRunFinished();
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(HandleConsoleControl(CTRL_CLOSE_EVENT), 1);
  const int64_t ms = SinceMs(t0);
  frontEnd.join();
  EXPECT_GE(ms, 190) << "returned before the jobs had ended";
  EXPECT_LT(ms, 1000);
  EXPECT_EQ(Interrupts().hungUp, 1);
  EXPECT_EQ(Interrupts().interrupts, 1);
}

TEST(HeadlessConsoleControl, ClosingWhileWritingSparesTheWritingJobForTheGraceTimeOnly) {
  ClearInterruptFlags();
  RadioWriteScope writing;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(HandleConsoleControl(CTRL_CLOSE_EVENT, 150), 1);
  const int64_t ms = SinceMs(t0);
  EXPECT_GE(ms, 140);
  EXPECT_LT(ms, 1000);
  EXPECT_EQ(Interrupts().stopAsked, 0) << "the writing job is not stopped by the close";
  EXPECT_EQ(Interrupts().warned, 1);
  EXPECT_EQ(Interrupts().hungUp, 1);
  // Logging off and shutting down are handled the same way.
  ClearInterruptFlags();
  MarkInterruptibleRunFinished();
  EXPECT_EQ(HandleConsoleControl(CTRL_LOGOFF_EVENT, 150), 1);
  EXPECT_EQ(HandleConsoleControl(CTRL_SHUTDOWN_EVENT, 150), 1);
  EXPECT_EQ(Interrupts().hungUp, 1);
}

TEST(HeadlessConsoleControl, OtherEventsAreLeftToTheNextHandler) {
  ClearInterruptFlags();
  EXPECT_EQ(HandleConsoleControl(77), 0);
  EXPECT_EQ(Interrupts().interrupts, 0);
  EXPECT_EQ(Interrupts().hungUp, 0);
}
#endif

}  // namespace
}  // namespace fw
