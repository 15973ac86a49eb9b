#include "platform/Clock.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

namespace fw {

void RealClock::Sleep(uint32_t ms, StopSignal& stop) {
  if (ms == 0 || stop.Requested()) {
    return;
  }
  stop.WaitFor(ms);
}

uint32_t RealClock::TickCount() {
  using namespace std::chrono;
  auto now = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(now));
}

ScaledClock::ScaledClock(double factor) : factor_(factor) {
  if (!(factor_ > 0.0) || factor_ > 1.0) {
    factor_ = 1.0;
  }
}

void ScaledClock::Sleep(uint32_t ms, StopSignal& stop) {
  RealClock::Sleep(static_cast<uint32_t>(ms * factor_ + 0.5), stop);
}

void FakeClock::Sleep(uint32_t ms, StopSignal& /*stop*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  sleeps_.push_back(ms);
  slept_ += ms;
}

uint32_t FakeClock::TickCount() {
  uint64_t slept;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slept = slept_;
  }
  return static_cast<uint32_t>(real_.TickCount() + slept);
}

std::vector<uint32_t> FakeClock::Sleeps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sleeps_;
}

uint64_t FakeClock::TotalSleptMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return slept_;
}

void FakeClock::ClearSleeps() {
  std::lock_guard<std::mutex> lock(mutex_);
  sleeps_.clear();
}

Clock& RealTimeClock() {
  static RealClock clock;
  return clock;
}

Clock& ClockFromEnvironment() {
  static std::unique_ptr<ScaledClock> scaled;
  static std::once_flag once;
  std::call_once(once, [] {
    const char* env = std::getenv("FLASHWRIGHT_TIME_SCALE");
    if (env != nullptr && *env != '\0') {
      char* end = nullptr;
      double f = std::strtod(env, &end);
      if (end != env && f > 0.0 && f <= 1.0) {
        scaled = std::make_unique<ScaledClock>(f);
      }
    }
  });
  return scaled ? static_cast<Clock&>(*scaled) : RealTimeClock();
}

}  // namespace fw
