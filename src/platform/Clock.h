#pragma once
// Time for every fixed wait and every read deadline.
//
// The steps of an upgrade call Sleep() for their fixed waits (10 ms between protocol
// steps up to 40 s before retrying the chip update) and TickCount() for read deadlines,
// both on their job's clock (JobClock): the real clock by default, a scaled one for demos,
// a fake one in tests. A sleep returns early once the job's stop has been requested, so
// that a job can be ended promptly when the window closes.

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/StopSignal.h"

namespace fw {

class Clock {
 public:
  virtual ~Clock() = default;
  // A fixed wait of `ms` milliseconds (may be shortened by a scaled clock, or skipped by
  // a fake one). Returns early when `stop` is requested.
  virtual void Sleep(uint32_t ms, StopSignal& stop) = 0;
  // Milliseconds since an arbitrary origin; wraps like the Windows tick counter.
  virtual uint32_t TickCount() = 0;
};

// Real time: steady clock, sleeps of the full length.
class RealClock : public Clock {
 public:
  void Sleep(uint32_t ms, StopSignal& stop) override;
  uint32_t TickCount() override;
};

// Real read deadlines, fixed waits multiplied by a factor in (0, 1]. Used for demos
// against the simulated radio (FLASHWRIGHT_TIME_SCALE).
class ScaledClock : public RealClock {
 public:
  explicit ScaledClock(double factor);
  void Sleep(uint32_t ms, StopSignal& stop) override;
  double Factor() const { return factor_; }

 private:
  double factor_;
};

// For tests: a fixed wait costs no real time but moves the clock forward by its length,
// so code that measures a deadline after a sleep sees the time pass. Read deadlines run
// in real time on top of the slept total. Every sleep is recorded.
class FakeClock : public Clock {
 public:
  void Sleep(uint32_t ms, StopSignal& stop) override;
  uint32_t TickCount() override;
  // Sleeps recorded so far (in order), and their sum.
  std::vector<uint32_t> Sleeps() const;
  uint64_t TotalSleptMs() const;
  void ClearSleeps();

 private:
  mutable std::mutex mutex_;
  std::vector<uint32_t> sleeps_;
  uint64_t slept_ = 0;
  RealClock real_;
};

// The real clock (stateless, shared).
Clock& RealTimeClock();

// The clock named by the environment: FLASHWRIGHT_TIME_SCALE=<factor in (0,1]> gives a
// ScaledClock, anything else (or nothing) the real clock. The clock lives as long as the
// program; jobs choose it with JobClock::Use.
Clock& ClockFromEnvironment();

}  // namespace fw
