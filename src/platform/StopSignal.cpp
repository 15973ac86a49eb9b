#include "platform/StopSignal.h"

#include <chrono>

namespace fw {

void StopSignal::Request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_.store(true, std::memory_order_release);
  }
  cv_.notify_all();
}

void StopSignal::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_.store(false, std::memory_order_release);
}

bool StopSignal::WaitFor(uint32_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !cv_.wait_for(lock, std::chrono::milliseconds(ms),
                       [this] { return stop_.load(std::memory_order_acquire); });
}

}  // namespace fw
