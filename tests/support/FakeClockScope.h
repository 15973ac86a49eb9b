#pragma once
// Installs a FakeClock for the lifetime of a test scope, then restores the real clock.

#include "platform/Clock.h"

namespace fw::test {

class FakeClockScope {
 public:
  FakeClockScope() {
    ClearStop();
    SetClock(&clock_);
  }
  ~FakeClockScope() {
    SetClock(nullptr);
    ClearStop();
  }
  FakeClock& clock() { return clock_; }

 private:
  FakeClock clock_;
};

}  // namespace fw::test
