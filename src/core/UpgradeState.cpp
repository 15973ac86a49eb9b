#include "core/UpgradeState.h"

#include "platform/Clock.h"

namespace fw {
namespace {

// A view that ignores everything: the record's view until the window sets its own.
class NullView : public UpgradeView {
 public:
  void InsertRow(int, const std::string&, const std::string&) override {}
  void SetRowText(int, int, const std::string&) override {}
  void DeleteAllRows() override {}
  void SetStatusText(const std::string&) override {}
  void EnableControl(int, bool) override {}
  void SetProgressRange(int, int, int) override {}
  void SetProgressPos(int, int) override {}
  MessageResult MessageBox(const std::string&, MessageIcon, MessageButtons,
                           const std::string&) override {
    return MessageResult::Ok;
  }
  void SetWaitCursor(bool) override {}
  void PostMessage(uint32_t, uintptr_t, intptr_t) override {}
  void SetTimer(int, uint32_t) override {}
  void KillTimer(int) override {}
};

NullView g_nullView;

}  // namespace

UpgradeState::UpgradeState()
    : view(&g_nullView),
      imageBuffer(kImageBufferSize),
      fontImage(kFontImageBufferSize, 0),
      languageImage(kFontImageBufferSize, 0),
      wavReadBuffer(kWavBufferSize),
      wavWriteBuffer(kWavBufferSize) {}

UpgradeState::~UpgradeState() {
  // A job still running must not outlive the record it works on.
  if (worker.joinable()) {
    RequestStop();
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
