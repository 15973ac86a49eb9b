#pragma once
// A job's stop signal: once requested, the job's sleeps return at once and its blocking
// reads and writes end early. Each job has its own, so stopping one job leaves every other
// running job alone.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace fw {

class StopSignal {
 public:
  StopSignal() = default;
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Asks the job to end; wakes every wait on this signal. Any thread.
  void Request();
  // Called when a new job starts on the same record.
  void Clear();
  bool Requested() const { return stop_.load(std::memory_order_acquire); }
  // Waits up to `ms` real milliseconds or until a stop is requested (whichever is first).
  // Returns false when it ended because of a stop request.
  bool WaitFor(uint32_t ms);

 private:
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable cv_;
};

}  // namespace fw
