#pragma once
// The simulated radio's present mode, shared by its protocol responders: waiting in
// download mode (main firmware), restarting after a firmware transfer (deaf), or running
// normally (framed data link and firmware-chip loader).

#include <chrono>
#include <cstdint>

namespace fw::sim {

class RadioMode {
 public:
  enum Mode { kDownload, kRestarting, kNormal };

  Mode Current() const {
    if (mode_ == kRestarting && std::chrono::steady_clock::now() >= restartEnd_) {
      return kNormal;
    }
    return mode_;
  }
  void Set(Mode m) { mode_ = m; }
  // Deaf for `ms`, then normal.
  void Restart(uint32_t ms) {
    mode_ = kRestarting;
    restartEnd_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  }

 private:
  Mode mode_ = kDownload;
  std::chrono::steady_clock::time_point restartEnd_{};
};

}  // namespace fw::sim
