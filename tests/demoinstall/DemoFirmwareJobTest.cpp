// A firmware-only job on the demo installation against the simulated radio playing the
// demo identity: for both processor sizes and both vocoders the installation accepts the
// radio, and the radio receives the image the settings name for it, byte for byte.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "DemoLayout.h"
#include "DemoTestSupport.h"
#include "RadioSim.h"
#include "config/Settings.h"
#include "core/UpgradeState.h"
#include "serial/PortMap.h"
#include "support/FakeClockScope.h"
#include "support/RadioOnPort.h"
#include "support/RecordingView.h"
#include "workflow/Job.h"

namespace fw {
namespace {

constexpr int kPort = 1;  // the demo settings select COM1

struct Radio {
  const char* name;
  const char* info;
  const char* variant;
  const char* imageKey;  // the settings key of the image it must receive
  uint32_t dataSize;     // the data size the transfer chooses for it
};

// gtest prints a parameter with this instead of its bytes.
void PrintTo(const Radio& radio, std::ostream* os) {
  *os << radio.name;
}

class DemoFirmwareJob : public testing::TestWithParam<Radio> {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<test::TempFolder>();
    run_ = test::RunGenerator({folder_->path().string()});
  }
  static void TearDownTestSuite() { folder_.reset(); }
  void TearDown() override { GlobalPortMap().ClearExplicit(); }

  static std::unique_ptr<test::TempFolder> folder_;
  static test::RunResult run_;
};

std::unique_ptr<test::TempFolder> DemoFirmwareJob::folder_;
test::RunResult DemoFirmwareJob::run_;

TEST_P(DemoFirmwareJob, RadioGetsTheImageTheSettingsNameForIt) {
  ASSERT_EQ(run_.exitCode, 0) << run_.output;
  const Radio radio = GetParam();
  test::FakeClockScope clock;
  test::RecordingView view;

  sim::RadioSimConfig config;
  config.download.info = radio.info;
  config.download.variant = radio.variant;
  config.download.model = demo::kDownloadModelText;
  sim::RadioSim sim(config);

  auto state = std::make_unique<UpgradeState>();
  clock.Attach(state->job.clock);
  state->SetView(&view);
  LoadSettingsForProgramDir(*state, folder_->Dir());
  ASSERT_TRUE(test::PutRadioOnPort(sim, *state, kPort));

  JobInputs in;
  in.firmwareOnly = true;
  in.portNumber = kPort;
  in.hexFilePath = state->hexFilePath;
  ASSERT_TRUE(StartJob(*state, in));
  for (int i = 0; i < 60000 && JobRunning(*state); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_FALSE(JobRunning(*state)) << "the job did not end";
  JoinJob(*state);

  EXPECT_EQ(state->resultOk.load(), 1);
  const sim::DownloadRecord record = sim.DownloadSnapshot();
  ASSERT_TRUE(record.completed);
  const demo::ImageFile* image = nullptr;
  for (const demo::ImageFile& f : demo::kImageFiles) {
    if (std::string(f.key) == radio.imageKey) {
      image = &f;
    }
  }
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(record.fileName, image->fileName);
  EXPECT_EQ(record.Image(), test::ReadFileBytes(folder_->path() / image->fileName));
  EXPECT_EQ(state->radioDataSize.load(), radio.dataSize);
  EXPECT_EQ(state->radioModel, demo::kDownloadModelText);
  sim.Stop();
}

INSTANTIATE_TEST_SUITE_P(
    DemoRadios, DemoFirmwareJob,
    testing::Values(Radio{"LargeAmbe", demo::kInfoField, demo::kVariantAmbe, "MainBin",
                          demo::kLargeDataSize},
                    Radio{"LargeSelp", demo::kInfoField, demo::kVariantSelp, "MainBinSelp",
                          demo::kLargeDataSize},
                    Radio{"SmallAmbe", demo::kInfoFieldSmall, demo::kVariantAmbe, "SmallMainBin",
                          demo::kSmallDataSize},
                    Radio{"SmallSelp", demo::kInfoFieldSmall, demo::kVariantSelp,
                          "SmallMainBinSelp", demo::kSmallDataSize}),
    [](const testing::TestParamInfo<Radio>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fw
