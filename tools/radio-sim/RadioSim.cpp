#include "RadioSim.h"

namespace fw::sim {

RadioSim::RadioSim(const RadioSimConfig& config)
    : download_(std::make_unique<DownloadModeResponder>(mode_, config.download)),
      chip_(std::make_unique<ChipLoaderResponder>(&mode_)),
      link_(std::make_unique<FramedLinkResponder>(&mode_)) {
  mode_.Set(config.startMode);
  pty_.SetLineRate(config.lineRate);
  pty_.SetAdapterLatencyMs(config.adapterLatencyMs);
  if (!config.device.empty()) {
    pty_.UseDevice(config.device);
  }
  link_->SetInfoBlock(FramedLinkResponder::MakeInfoBlock(config.linkIdentifier,
                                                         config.linkModelText, config.areaDigit));
  link_->SetVersionText(config.firmwareVersionText);
  chip_->SetEnterText(config.chipEnterText);
  // Requests beginning 0x02 go to the chip loader, which hands the link's version query on.
  chip_->PassOtherRequestsTo(link_.get());
  pty_.AddResponder(download_.get());
  pty_.AddResponder(chip_.get());
  pty_.AddResponder(link_.get());
}

RadioSim::~RadioSim() {
  pty_.Stop();
}

void RadioSim::AddResponder(std::unique_ptr<Responder> responder) {
  pty_.AddResponder(responder.get());
  others_.push_back(std::move(responder));
}

std::unique_ptr<SimChannel> RadioSim::NewChannel(const std::string& devicePath) {
  return std::make_unique<SimChannel>(devicePath, pty_.Responders(), pty_.StateMutex(),
                                      pty_.GetFaultHook(), pty_.LineRate());
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
