#pragma once
// The simulated radio as one object: the pseudo-terminal runner, the radio's mode and its
// protocol responders, configured from one struct. More responders (the framed data link,
// the firmware-chip loader) join through AddResponder before Start.

#include <memory>
#include <string>
#include <vector>

#include "DownloadModeResponder.h"
#include "RadioMode.h"
#include "SimPty.h"

namespace fw::sim {

struct RadioSimConfig {
  DownloadModeConfig download;
  uint32_t lineRate = 0;  // 115200 paces the line like a real one; 0: as fast as the pty
  RadioMode::Mode startMode = RadioMode::kDownload;
};

class RadioSim {
 public:
  explicit RadioSim(const RadioSimConfig& config = RadioSimConfig());
  ~RadioSim();
  RadioSim(const RadioSim&) = delete;
  RadioSim& operator=(const RadioSim&) = delete;

  // Takes ownership; responders answer in the order they were added.
  void AddResponder(std::unique_ptr<Responder> responder);

  bool Start();
  void Stop();
  const std::string& DevicePath() const { return pty_.DevicePath(); }
  const std::string& Error() const { return pty_.Error(); }
  SimPty& Pty() { return pty_; }
  // The radio's mode, shared with responders added later (guard with Pty().StateMutex()
  // once running).
  RadioMode& Mode() { return mode_; }

  // Copies taken under the runner's lock.
  DownloadRecord DownloadSnapshot();
  RadioMode::Mode CurrentMode();
  // Changes the download-mode configuration (fault, identity) under the runner's lock.
  template <typename F>
  void WithDownload(F&& change) {
    std::lock_guard<std::mutex> lock(pty_.StateMutex());
    change(*download_);
  }
  void SetMode(RadioMode::Mode mode);

 private:
  RadioMode mode_;
  std::unique_ptr<DownloadModeResponder> download_;
  std::vector<std::unique_ptr<Responder>> others_;
  SimPty pty_;
};

}  // namespace fw::sim
