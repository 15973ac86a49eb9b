#include "platform/Clock.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

namespace fw {
namespace {

std::atomic<bool> g_stop{false};
std::mutex g_stopMutex;
std::condition_variable g_stopCv;

RealClock& DefaultClock() {
  static RealClock clock;
  return clock;
}

std::atomic<Clock*> g_clock{nullptr};

}  // namespace

bool InterruptibleWait(uint32_t ms) {
  std::unique_lock<std::mutex> lock(g_stopMutex);
  return !g_stopCv.wait_for(lock, std::chrono::milliseconds(ms),
                            [] { return g_stop.load(std::memory_order_acquire); });
}

void RealClock::Sleep(uint32_t ms) {
  if (ms == 0 || StopRequested()) {
    return;
  }
  InterruptibleWait(ms);
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

void ScaledClock::Sleep(uint32_t ms) {
  RealClock::Sleep(static_cast<uint32_t>(ms * factor_ + 0.5));
}

void FakeClock::Sleep(uint32_t ms) {
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

void SetClock(Clock* clock) {
  g_clock.store(clock, std::memory_order_release);
}

Clock& CurrentClock() {
  Clock* c = g_clock.load(std::memory_order_acquire);
  return c ? *c : DefaultClock();
}

Clock& InstallClockFromEnvironment() {
  static std::unique_ptr<ScaledClock> scaled;
  const char* env = std::getenv("FLASHWRIGHT_TIME_SCALE");
  if (env != nullptr && *env != '\0') {
    char* end = nullptr;
    double f = std::strtod(env, &end);
    if (end != env && f > 0.0 && f <= 1.0) {
      scaled = std::make_unique<ScaledClock>(f);
      SetClock(scaled.get());
      return *scaled;
    }
  }
  SetClock(nullptr);
  return DefaultClock();
}

void Sleep(uint32_t ms) {
  CurrentClock().Sleep(ms);
}
uint32_t TickCount() {
  return CurrentClock().TickCount();
}

void RequestStop() {
  {
    std::lock_guard<std::mutex> lock(g_stopMutex);
    g_stop.store(true, std::memory_order_release);
  }
  g_stopCv.notify_all();
}

void ClearStop() {
  std::lock_guard<std::mutex> lock(g_stopMutex);
  g_stop.store(false, std::memory_order_release);
}

bool StopRequested() {
  return g_stop.load(std::memory_order_acquire);
}

}  // namespace fw
