#include "RadioSim.h"

namespace fw::sim {

RadioSim::RadioSim(const RadioSimConfig& config)
    : download_(std::make_unique<DownloadModeResponder>(mode_, config.download)) {
  mode_.Set(config.startMode);
  pty_.SetLineRate(config.lineRate);
  pty_.AddResponder(download_.get());
}

RadioSim::~RadioSim() {
  pty_.Stop();
}

void RadioSim::AddResponder(std::unique_ptr<Responder> responder) {
  pty_.AddResponder(responder.get());
  others_.push_back(std::move(responder));
}

bool RadioSim::Start() {
  return pty_.Start();
}

void RadioSim::Stop() {
  pty_.Stop();
}

DownloadRecord RadioSim::DownloadSnapshot() {
  std::lock_guard<std::mutex> lock(pty_.StateMutex());
  return download_->Record();
}

RadioMode::Mode RadioSim::CurrentMode() {
  std::lock_guard<std::mutex> lock(pty_.StateMutex());
  return mode_.Current();
}

void RadioSim::SetMode(RadioMode::Mode mode) {
  std::lock_guard<std::mutex> lock(pty_.StateMutex());
  mode_.Set(mode);
}

}  // namespace fw::sim
