// The firmware chip update on the demo installation against the simulated chip loader
// playing the demo chip ("A-enter"): the chip ends up holding the generated code of every
// page of the hex file chosen for the radio's data size.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "ChipLoaderResponder.h"
#include "DemoContent.h"
#include "DemoLayout.h"
#include "DemoTestSupport.h"
#include "SimPty.h"
#include "config/Settings.h"
#include "core/UpgradeState.h"
#include "firmware/HexLoader.h"
#include "firmware/UpdateFirmwareChip.h"
#include "serial/PortMap.h"
#include "support/FakeClockScope.h"
#include "support/RadioOnPort.h"
#include "support/RecordingView.h"

namespace fw {
namespace {

constexpr int kPort = 1;

// What a chip programmed from the hex file holds: (page, address) -> byte.
std::map<std::pair<int, int>, uint8_t> ExpectedFlash(const demo::HexFile& hex) {
  std::map<std::pair<int, int>, uint8_t> flash;
  for (int page = 0; page < 3; ++page) {
    const std::vector<uint8_t> code = demo::PseudoRandomBytes(hex.seed + page, hex.pageBytes[page]);
    for (size_t i = 0; i < code.size(); ++i) {
      flash[{page, hex.pageStart[page] + static_cast<int>(i)}] = code[i];
    }
  }
  return flash;
}

class DemoChipUpdate : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<test::TempFolder>();
    run_ = test::RunGenerator({folder_->path().string()});
  }
  static void TearDownTestSuite() { folder_.reset(); }

  void SetUp() override {
    ASSERT_EQ(run_.exitCode, 0) << run_.output;
    chip_.SetEnterText(demo::kChipEnterText);
    sim_.AddResponder(&chip_);
    state_ = std::make_unique<UpgradeState>();
    state_->SetView(&view_);
    std::string error;
    const std::string device = test::ServeResponders(sim_, {&state_->downloadPort},
                                                     GlobalPortMap().DevicePath(kPort), &error);
    ASSERT_FALSE(device.empty()) << error;
    LoadSettingsForProgramDir(*state_, folder_->Dir());
    GlobalPortMap().SetExplicit(kPort, device);
    ASSERT_EQ(state_->selectedPort.load(), kPort);
    clock_.Attach(state_->job.clock);
    state_->job.portNumber = kPort;  // as the job takes the window's port
    state_->job.devicePath = device;
    LoadHexFile(*state_);  // the window's start-up loads the file the settings name
    state_->chipOnly = 1;
  }
  void TearDown() override {
    state_.reset();
    sim_.Stop();
    GlobalPortMap().ClearExplicit();
  }

  void ExpectChipHolds(const char* key) {
    const demo::HexFile* hex = nullptr;
    for (const demo::HexFile& f : demo::kHexFiles) {
      if (std::string(f.key) == key) {
        hex = &f;
      }
    }
    ASSERT_NE(hex, nullptr);
    std::lock_guard<std::mutex> lock(sim_.StateMutex());
    EXPECT_TRUE(chip_.Completed());
    EXPECT_EQ(chip_.GetLog().badFrames, 0);
    EXPECT_EQ(chip_.Flash(), ExpectedFlash(*hex));
  }

  static std::unique_ptr<test::TempFolder> folder_;
  static test::RunResult run_;
  test::FakeClockScope clock_;
  test::RecordingView view_;
  sim::ChipLoaderResponder chip_;
  sim::SimPty sim_;
  std::unique_ptr<UpgradeState> state_;
};

std::unique_ptr<test::TempFolder> DemoChipUpdate::folder_;
test::RunResult DemoChipUpdate::run_;

TEST_F(DemoChipUpdate, LargeProcessorRadioGetsTheAmbeChipFile) {
  state_->radioDataSize = demo::kLargeDataSize;
  ASSERT_EQ(UpdateFirmwareChip(*state_), ChipResult::Updated);
  EXPECT_EQ(state_->resultOk.load(), 1);
  ExpectChipHolds("DadazuHex");
  EXPECT_EQ(static_cast<uint32_t>(state_->bytesDone), state_->chipImageSize.load());
}

TEST_F(DemoChipUpdate, SmallProcessorRadioGetsTheSmallAmbeChipFile) {
  state_->radioDataSize = demo::kSmallDataSize;
  ASSERT_EQ(UpdateFirmwareChip(*state_), ChipResult::Updated);
  ExpectChipHolds("SmallDadazuHex");
}

}  // namespace
}  // namespace fw
