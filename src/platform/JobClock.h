#pragma once
// A job's time: the clock the job runs on and the job's own stop signal. Every fixed wait,
// read deadline and stop check of a job's steps, of its ports and of its byte channels goes
// through it, so that stopping one job ends that job's sleeps and reads and no other's.

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/Clock.h"
#include "platform/StopSignal.h"

namespace fw {

class JobClock {
 public:
  // On the real clock until Use() chooses another.
  JobClock() : clock_(&RealTimeClock()) {}
  explicit JobClock(Clock& clock) : clock_(&clock) {}
  JobClock(const JobClock&) = delete;
  JobClock& operator=(const JobClock&) = delete;

  // Chooses the clock (which must outlive its use); call it while the job is not running.
  void Use(Clock& clock) { clock_.store(&clock, std::memory_order_release); }
  Clock& Base() const { return *clock_.load(std::memory_order_acquire); }
  StopSignal& Stop() { return stop_; }

  // A fixed wait; returns at once while a stop is requested.
  void Sleep(uint32_t ms) { Base().Sleep(ms, stop_); }
  uint32_t TickCount() const { return Base().TickCount(); }
  bool StopRequested() const { return stop_.Requested(); }
  void RequestStop() { stop_.Request(); }
  void ClearStop() { stop_.Clear(); }
  // Waits up to `ms` real milliseconds or until a stop; false when stopped.
  bool InterruptibleWait(uint32_t ms) { return stop_.WaitFor(ms); }

  // Expires when this job clock is destroyed (for holders that may outlive it).
  std::weak_ptr<const void> Lifetime() const { return lifetime_; }

 private:
  std::shared_ptr<const void> lifetime_ = std::make_shared<int>(0);
  std::atomic<Clock*> clock_;
  StopSignal stop_;
};

// The time of ports and channels that belong to no job (tools, probes): the real clock
// and a stop signal nobody requests.
JobClock& UnownedJobClock();

}  // namespace fw
