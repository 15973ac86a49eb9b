#pragma once
// Time for every fixed wait and every read deadline.
//
// The steps of an upgrade call Sleep() for their fixed waits (10 ms between protocol
// steps up to 40 s before retrying the chip update) and TickCount() for read deadlines.
// Both go through the process-wide clock installed with SetClock(); the real clock is
// the default. A sleep returns early once a stop has been requested, so that a job can
// be ended promptly when the window closes.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace fw {

class Clock {
 public:
  virtual ~Clock() = default;
  // A fixed wait of `ms` milliseconds (may be shortened by a scaled clock, or skipped by
  // a fake one). Returns early when a stop is requested.
  virtual void Sleep(uint32_t ms) = 0;
  // Milliseconds since an arbitrary origin; wraps like the Windows tick counter.
  virtual uint32_t TickCount() = 0;
};

// Real time: steady clock, sleeps of the full length.
class RealClock : public Clock {
 public:
  void Sleep(uint32_t ms) override;
  uint32_t TickCount() override;
};

// Real read deadlines, fixed waits multiplied by a factor in (0, 1]. Used for demos
// against the simulated radio (FLASHWRIGHT_TIME_SCALE).
class ScaledClock : public RealClock {
 public:
  explicit ScaledClock(double factor);
  void Sleep(uint32_t ms) override;
  double Factor() const { return factor_; }

 private:
  double factor_;
};

// For tests: a fixed wait costs no real time but moves the clock forward by its length,
// so code that measures a deadline after a sleep sees the time pass. Read deadlines run
// in real time on top of the slept total. Every sleep is recorded.
class FakeClock : public Clock {
 public:
  void Sleep(uint32_t ms) override;
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

// The process-wide clock. SetClock(nullptr) restores the real clock. The clock object
// must outlive its use; install it before any worker starts.
void SetClock(Clock* clock);
Clock& CurrentClock();

// Builds the clock named by the environment: FLASHWRIGHT_TIME_SCALE=<factor in (0,1]>
// gives a ScaledClock, anything else (or nothing) the real clock. Returns the clock it
// installed (owned by this module).
Clock& InstallClockFromEnvironment();

void Sleep(uint32_t ms);
uint32_t TickCount();

// Stop requests: a requested stop makes every Sleep() return at once and lets blocking
// reads end early. ClearStop() is called when a new job starts.
void RequestStop();
void ClearStop();
bool StopRequested();

// Waits up to `ms` real milliseconds or until a stop is requested (whichever is first).
// Returns false when it ended because of a stop request.
bool InterruptibleWait(uint32_t ms);

}  // namespace fw
