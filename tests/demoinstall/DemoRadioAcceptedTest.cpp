// The demo radio as the program's own steps see it: the image selection of the transfer
// and the information block decoder, against the installation that make-demo-install wrote.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "DemoLayout.h"
#include "DemoTestSupport.h"
#include "config/Installation.h"
#include "config/Settings.h"
#include "core/UpgradeState.h"
#include "firmware/ImageSelection.h"
#include "radiodata/LoadTemplate.h"
#include "radiodata/RadioInfo.h"
#include "serial/PortMap.h"
#include "support/StepChecks.h"

namespace fw {
namespace {

namespace fs = std::filesystem;

class DemoRadioAcceptedTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<test::TempFolder>();
    run_ = test::RunGenerator({folder_->path().string(), "--plugins", FLASHWRIGHT_PLUGIN_DIR});
  }
  static void TearDownTestSuite() { folder_.reset(); }
  void SetUp() override {
    ASSERT_EQ(run_.exitCode, 0) << run_.output;
    state_ = std::make_unique<UpgradeState>();
    LoadSettingsForProgramDir(*state_, folder_->Dir());
    state_->AllocateRadioData(demo::kLargeDataSize);
  }
  void TearDown() override { GlobalPortMap().ClearExplicit(); }

  ImageSettings Settings() const {
    const UpgradeState& s = *state_;
    return {s.installation->modelList,           s.installation->mainImageName,
            s.installation->mainImageNameSelp,   s.installation->smallImageName,
            s.installation->smallImageNameSelp,  s.installation->chipHexPath,
            s.installation->chipHexPathSelp,     s.installation->smallChipHexPath,
            s.installation->smallChipHexPathSelp};
  }

  static std::unique_ptr<test::TempFolder> folder_;
  static test::RunResult run_;
  std::unique_ptr<UpgradeState> state_;
};

std::unique_ptr<test::TempFolder> DemoRadioAcceptedTest::folder_;
test::RunResult DemoRadioAcceptedTest::run_;

TEST_F(DemoRadioAcceptedTest, InformationBlockNamesTheTemplates) {
  // The block the simulated radio sends: identity at 1, model text at 49, area at 149.
  uint8_t block[kRadioInfoSize] = {};
  const std::string identity = demo::kIdentityText;
  for (size_t i = 0; i < identity.size(); ++i) {
    block[1 + 2 * i] = static_cast<uint8_t>(identity[i]);
  }
  const std::string text = demo::kModelText;
  std::copy(text.begin(), text.end(), block + 49);
  block[149] = demo::kAreaDigit;
  const RadioInfo info = DecodeRadioInfoBlock(block);
  EXPECT_EQ(info.modelId, demo::kModelId);

  ModelTable table;
  table.Load(LoadingInstallation(*state_).modelTablePath);
  EXPECT_TRUE(table.FindByIdentity(info.identity).has_value());
  EXPECT_TRUE(table.IsAreaAccepted(info.areaCode));

  state_->radioModelId = info.modelId;
  state_->radioInfo = demo::kInfoField;
  state_->radioVersion = 401;
  EXPECT_TRUE(fs::is_regular_file(TemplatePathFor(*state_)));
}

// Every radio the demo can play (both processor sizes, both vocoders) gets an image that
// lies in the installation, a chip hex file that lies there, and a data size equal to the
// template the same radio is served from after its restart.
TEST_F(DemoRadioAcceptedTest, ImageSelectionMatchesTheTemplates) {
  struct Case {
    const char* info;
    const char* variant;
  };
  for (const Case c :
       {Case{demo::kInfoField, demo::kVariantAmbe}, Case{demo::kInfoField, demo::kVariantSelp},
        Case{demo::kInfoFieldSmall, demo::kVariantAmbe},
        Case{demo::kInfoFieldSmall, demo::kVariantSelp}}) {
    SCOPED_TRACE(std::string(c.info) + " " + c.variant);
    RadioIdentity radio;
    radio.info = c.info;
    radio.variant = c.variant;
    radio.modelCode = std::string(demo::kDownloadModelText).substr(0, 4);
    radio.version = std::stoi(std::string(c.info).substr(4));
    ASSERT_NE(LoadingInstallation(*state_).modelList.find(radio.modelCode), std::string::npos);
    const ImageChoice choice = ChooseImage(Settings(), radio);
    ASSERT_EQ(choice.result, ImageChoiceResult::kChosen);
    EXPECT_TRUE(fs::is_regular_file(LoadingInstallation(*state_).imageDir + choice.imageName))
        << choice.imageName;
    EXPECT_TRUE(fs::is_regular_file(choice.hexPath)) << choice.hexPath;

    state_->radioInfo = radio.info;
    state_->radioVersion = radio.version;
    state_->familyOverride = 0;
    state_->radioModelId = demo::kModelId;
    std::string detail;
    ASSERT_TRUE(test::Succeeded(LoadTemplate(*state_, TemplatePathFor(*state_)), detail)) << detail;
    EXPECT_EQ(state_->radioDataSize, choice.radioDataSize);
  }
}

}  // namespace
}  // namespace fw
