#include "core/UpgradeState.h"

namespace fw {
namespace {

// A view that ignores everything: the record's view until the window sets its own.
class NullView : public UpgradeView {
 public:
  void InsertRow(int, const std::string&, const std::string&) override {}
  void SetRowText(int, Column, const std::string&) override {}
  void DeleteAllRows() override {}
  void SetStatusText(const std::string&) override {}
  void EnableControl(Control, bool) override {}
  void SetProgressRange(ProgressBar, int, int) override {}
  void SetProgressPos(ProgressBar, int) override {}
  MessageResult MessageBox(const std::string&, MessageIcon, MessageButtons,
                           const std::string&) override {
    return MessageResult::Ok;
  }
  void SetWaitCursor(bool) override {}
  void Post(const JobEvent&) override {}
  void SetTimer(Timer, uint32_t) override {}
  void KillTimer(Timer) override {}
};

NullView g_nullView;

}  // namespace

UpgradeState::UpgradeState()
    : view(&g_nullView),
      imageBuffer(kImageBufferSize),
      fontImage(kFontImageBufferSize, 0),
      languageImage(kFontImageBufferSize, 0),
      wavReadBuffer(kWavBufferSize),
      wavWriteBuffer(kWavBufferSize) {
  downloadPort.SetJobClock(job.clock);
  radioLink.Port().SetJobClock(job.clock);
}

UpgradeState::~UpgradeState() {
  // A job still running must not outlive the record it works on.
  if (worker.joinable()) {
    job.clock.RequestStop();
    worker.join();
  }
}

void UpgradeState::SetView(UpgradeView* v) {
  view = v ? v : &g_nullView;
}

void UpgradeState::AllocateRadioData(uint32_t size) {
  radioDataBuffer.assign(size, 0);
  radioData = radioDataBuffer.data();
}

}  // namespace fw
