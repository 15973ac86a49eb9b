#pragma once
// A FakeClock for the jobs (and ports) of a test scope: Attach() puts the given job clocks
// on it; they go back to the real clock, with no stop pending, when the scope ends. Job()
// is a job clock of the scope's own, for ports used outside a job.

#include <memory>
#include <utility>
#include <vector>

#include "platform/JobClock.h"

namespace fw::test {

template <class C>
class ClockScope {
 public:
  template <class... Args>
  explicit ClockScope(Args&&... args) : clock_(std::forward<Args>(args)...) {}
  ~ClockScope() {
    for (auto& [job, alive] : jobs_) {
      if (!alive.expired()) {  // a job declared after the scope is gone already
        job->Use(RealTimeClock());
        job->ClearStop();
      }
    }
  }
  ClockScope(const ClockScope&) = delete;
  ClockScope& operator=(const ClockScope&) = delete;

  // Runs `job` on this scope's clock, with no stop pending.
  void Attach(JobClock& job) {
    job.ClearStop();
    job.Use(clock_);
    jobs_.emplace_back(&job, job.Lifetime());
  }
  C& clock() { return clock_; }
  // A job clock of the scope's own on this clock, for ports that belong to no job.
  JobClock& Job() { return job_; }

 private:
  C clock_;
  JobClock job_{clock_};
  std::vector<std::pair<JobClock*, std::weak_ptr<const void>>> jobs_;
};

using FakeClockScope = ClockScope<FakeClock>;

// A fixture member declared after the clock scope and the record: runs the record's job on
// the scope's clock.
struct JobOnClock {
  template <class Scope>
  JobOnClock(Scope& clock, JobClock& job) {
    clock.Attach(job);
  }
};

}  // namespace fw::test
