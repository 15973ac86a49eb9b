#pragma once
// The simulated radio as one object: the pseudo-terminal runner, the radio's mode and its
// three protocols, configured from one struct. In download mode it takes the main
// firmware; after the restart that follows, it serves the framed data link (information
// areas, data / font / voice memory) and the firmware-chip loader, so that a whole upgrade
// (firmware, restart, read, write, chip) plays against it. Further responders join through
// AddResponder before Start.

#include <memory>
#include <string>
#include <vector>

#include "ChipLoaderResponder.h"
#include "DownloadModeResponder.h"
#include "FramedLinkResponder.h"
#include "RadioMode.h"
#include "SimChannel.h"
#include "SimPty.h"

namespace fw::sim {

struct RadioSimConfig {
  DownloadModeConfig download;
  uint32_t lineRate = 0;  // 115200 paces the line like a real one; 0: as fast as the pty
  // A USB serial adapter's latency timer between radio and tool (SimPty::SetAdapterLatencyMs);
  // 0: none.
  uint32_t adapterLatencyMs = 0;
  // Serve on this existing terminal instead of a new pseudo-terminal (SimPty::UseDevice).
  std::string device;
  RadioMode::Mode startMode = RadioMode::kDownload;
  // The framed data link's information block (every area) and version answer.
  std::string linkIdentifier = "KW66000000N02000";
  std::string linkModelText = "KW66000000N00000";
  char areaDigit = '1';
  std::string firmwareVersionText = "0300";
  // The chip loader's enter reply ("A-enter": AMBE vocoder).
  std::string chipEnterText = "A-enter";
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
  // The same radio as a byte channel in the tool's process (no pseudo-terminal needed, no
  // Start): a port given this channel reaches it by opening `devicePath`. The responders,
  // the fault hook (set it first) and the line rate are the runner's; one radio serves one
  // port at a time, as a real one does.
  std::unique_ptr<SimChannel> NewChannel(const std::string& devicePath);
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

  // Runs f on the framed data link or the chip loader under the runner's lock (state,
  // faults, memory images, what was received).
  template <typename F>
  auto WithLink(F&& f) {
    std::lock_guard<std::mutex> lock(pty_.StateMutex());
    return f(*link_);
  }
  template <typename F>
  auto WithChip(F&& f) {
    std::lock_guard<std::mutex> lock(pty_.StateMutex());
    return f(*chip_);
  }

 private:
  RadioMode mode_;
  std::unique_ptr<DownloadModeResponder> download_;
  std::unique_ptr<ChipLoaderResponder> chip_;
  std::unique_ptr<FramedLinkResponder> link_;
  std::vector<std::unique_ptr<Responder>> others_;
  SimPty pty_;
};

}  // namespace fw::sim
