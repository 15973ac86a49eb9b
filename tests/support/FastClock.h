#pragma once
// A test clock for failure paths: fixed waits cost nothing (as with FakeClock) and read
// deadlines pass `factor` times faster than real time, so a silent radio fails an
// exchange of four 1000 ms reads in a fraction of a second.

#include <chrono>
#include <mutex>
#include <vector>

#include "platform/Clock.h"
#include "support/FakeClockScope.h"

namespace fw::test {

class FastClock : public Clock {
 public:
  explicit FastClock(uint32_t factor) : factor_(factor), start_(std::chrono::steady_clock::now()) {}
  void Sleep(uint32_t ms, StopSignal& /*stop*/) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sleeps_.push_back(ms);
    slept_ += ms;
  }
  uint32_t TickCount() override {
    auto real = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start_)
                    .count();
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint32_t>(static_cast<uint64_t>(real) * factor_ + slept_);
  }
  std::vector<uint32_t> Sleeps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
  }

 private:
  uint32_t factor_;
  std::chrono::steady_clock::time_point start_;
  mutable std::mutex mutex_;
  std::vector<uint32_t> sleeps_;
  uint64_t slept_ = 0;
};

// A FastClock for the jobs of a test scope (see FakeClockScope.h).
class FastClockScope : public ClockScope<FastClock> {
 public:
  explicit FastClockScope(uint32_t factor = 40) : ClockScope<FastClock>(factor) {}
};

}  // namespace fw::test
