#include "core/Progress.h"

#include "core/MessageTexts.h"
#include "serial/PortAccess.h"
#include "serial/PortMap.h"
#include "serial/UsbAdapter.h"

namespace fw {

ProgressResult ComputeProgress(const ProgressInputs& in, uint64_t p) {
  ProgressResult r;
  // The transfer counts 1024 for every block, the padded last one included: measure the
  // image in whole blocks so that its phase ends exactly at its own share of the bar.
  uint64_t image = (static_cast<uint64_t>(in.imageSize) + 1023) / 1024 * 1024;
  uint64_t e = image + in.radioDataSize;
  uint64_t f = static_cast<uint64_t>(in.writeDataSize) + in.fontImageSize;
  uint64_t chip = in.chipImageSize;
  if (in.chipOnly) {
    e = 0;
    f = 0;
  }
  if (in.firmwareOnly) {
    e = e >= in.radioDataSize ? e - in.radioDataSize : 0;
    f = 0;
    chip = 0;
    r.newChipImageSize = 0;
  }
  r.total = chip + f + e;
  uint64_t percent;
  if (r.total == 0) {
    percent = p > 0 ? 100 : 0;
  } else {
    percent = p * 100 / r.total;
  }

  if (!in.chipOnly && e < p && p <= e + in.writeDataSize) {
    r.phaseText = text::kWritingRadio;
  } else if (p == e + f) {
    r.phaseText = text::kRestarting;
  } else if (e + in.writeDataSize < p && p < e + f) {
    r.phaseText = text::kWritingFont;
  }
  r.pauseAtFull = percent >= 100;
  r.percent = percent >= 100 ? 100 : static_cast<int>(percent);
  return r;
}

ProgressInputs ProgressInputsFrom(const UpgradeState& state) {
  ProgressInputs in;
  int image = state.imageSize.load();
  in.imageSize = image > 0 ? static_cast<uint32_t>(image) : 0;
  in.radioDataSize = state.radioDataSize.load();
  in.writeDataSize = state.writeDataSize.load();
  in.fontImageSize = state.fontImageSize.load();
  in.chipImageSize = state.chipImageSize.load();
  in.chipOnly = state.chipOnly.load() != 0;
  in.firmwareOnly = state.firmwareOnly.load() != 0;
  return in;
}

bool HandleJobEvent(UpgradeState& state, const JobEvent& event) {
  if (std::holds_alternative<CommErrorEvent>(event)) {
    // A job being stopped breaks off its exchanges; that is no fault of the line.
    if (!state.job.clock.StopRequested()) {
      // An adapter that was pulled out, or another reader on the port that takes the radio's
      // replies: named when there is one.
      std::string detail = LineTroubleText(state.job.devicePath);
      const CommError kind = std::get<CommErrorEvent>(event).kind;
      const int64_t saved = state.backupJobId.load();
      if (saved != 0 && (kind == CommError::WriteBlock || kind == CommError::WriteEnd)) {
        // The radio may be half-written: say where its settings are and how to put them back.
        detail = WriteBackAdviceText(saved, state.job.portNumber) +
                 (detail.empty() ? std::string() : "\n" + detail);
      }
      state.view->MessageBox(text::kCommError, MessageIcon::None, MessageButtons::Ok, detail);
    }
    return true;
  }
  const auto* progress = std::get_if<ProgressEvent>(&event);
  if (progress == nullptr) {
    return false;
  }
  // Every phase counts into the same total: the phase itself changes nothing here.
  const int bytes = progress->bytesDone;
  uint64_t posted = bytes > 0 ? static_cast<uint64_t>(bytes) : 0;
  ProgressResult r = ComputeProgress(ProgressInputsFrom(state), posted);
  if (r.newChipImageSize) {
    state.chipImageSize = *r.newChipImageSize;
  }
  if (r.phaseText != nullptr) {
    state.view->SetStatusText(r.phaseText);
  }
  const int percent = r.percent;
  auto show = [&state, percent] {
    state.view->SetProgressPos(ProgressBar::Main, percent);
    state.view->SetProgressPos(ProgressBar::Second, percent);
  };
  if (r.pauseAtFull) {
    // The bars stay a second short of full before they show it.
    state.view->HoldThen(state.job.clock, 1000, show);
  } else {
    show();
  }
  return true;
}

}  // namespace fw
