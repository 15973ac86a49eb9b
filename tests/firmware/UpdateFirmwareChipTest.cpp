#include "ChipUpdateFixture.h"
#include "config/Installation.h"

namespace fw::test {
namespace {

using sim::ChipLoaderResponder;

class UpdateFirmwareChipTest : public ChipUpdateFixture {};

TEST_F(UpdateFirmwareChipTest, ChipOnlyUpdateProgramsExactlyTheHexRecords) {
  HexFileWriter hex = SampleHex(0x40);
  UseHexEverywhere(Save(hex, "chip.hex"));
  state_.chipOnly = 1;
  ASSERT_EQ(UpdateFirmwareChip(state_), ChipResult::Updated);

  EXPECT_EQ(Flash(), hex.Expected());
  {
    std::lock_guard<std::mutex> lock(sim_.StateMutex());
    EXPECT_TRUE(chip_.Completed());
    EXPECT_EQ(chip_.GetLog().badFrames, 0);
    EXPECT_EQ(chip_.GetLog().dataFrames, 5);
  }
  EXPECT_FALSE(state_.downloadPort.IsOpen());
  EXPECT_EQ(state_.resultOk, 1);
  EXPECT_EQ(view_.Rows(), (std::vector<Row>{{kMarkDone, "Update the firmware chip completed!"}}));
  ASSERT_EQ(view_.Boxes().size(), 1u);
  EXPECT_EQ(view_.Boxes()[0].text, "Update the firmware chip completed!");
  EXPECT_EQ(view_.Boxes()[0].icon, MessageIcon::None);
  EXPECT_EQ(view_.ProgressPos(ProgressBar::Main), 0);
  EXPECT_EQ(view_.ProgressPos(ProgressBar::Second), 0);

  // Progress: 22 after the erase, each record's byte count, 30 at the end; the total is
  // the chip phase's size.
  EXPECT_EQ(view_.Events().size(), 7u) << "nothing but the chip's progress";
  EXPECT_EQ(view_.ProgressOf(Phase::Chip), (std::vector<int>{22, 38, 54, 70, 75, 330, 360}));
  EXPECT_EQ(static_cast<uint32_t>(state_.bytesDone), hex.DataBytes() + 52);
  EXPECT_EQ(state_.chipImageSize, hex.DataBytes() + 52);
}

TEST_F(UpdateFirmwareChipTest, FixedWaitsBetweenTheSteps) {
  HexFileWriter hex;
  hex.Data(0x0100, {1, 2, 3});
  hex.End();
  UseHexEverywhere(Save(hex, "one.hex"));
  state_.chipOnly = 1;
  ASSERT_EQ(UpdateFirmwareChip(state_), ChipResult::Updated);
  const std::vector<uint32_t> expected = {100,               // port opened
                                          50,   2000,        // enter
                                          5000, 50,   10,    // handshake
                                          500,  50,   5000,  // erase
                                          500,  50,   10,    // the one data frame
                                          50,   10,          // finish
                                          50,   10,          // confirm
                                          500,  50,   10,    // leave
                                          2000};
  EXPECT_EQ(clock_.clock().Sleeps(), expected);
  EXPECT_EQ(ChipLog().steps, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(view_.StatusTexts(),
            (std::vector<std::string>{"Radio is in the upgrading mode, about 5 seconds...",
                                      "Erasing flash space, about 5 seconds...",
                                      "Updating the firmware chip, please wait..."}));
}

TEST_F(UpdateFirmwareChipTest, FullUpgradeEndsWithTheAllCompletedRowAndBox) {
  UseHexEverywhere(Save(SampleHex(1), "chip.hex"));
  ASSERT_EQ(UpdateFirmwareChip(state_), ChipResult::Updated);
  EXPECT_EQ(view_.Rows(), (std::vector<Row>{{kMarkDone, "Update the firmware chip completed!"},
                                            {kMarkDone, "All upgrade completed successfully!"}}));
  EXPECT_EQ(view_.StatusText(), "All upgrade completed successfully!");
  ASSERT_EQ(view_.Boxes().size(), 1u);
  EXPECT_EQ(view_.Boxes()[0].text, "All upgrade completed successfully!");
  for (const std::string& call : view_.Log()) {
    EXPECT_EQ(call.find("SetProgressRange"), std::string::npos) << "bars reset in a full run";
  }
  EXPECT_TRUE(view_.Timers().empty());
}

TEST_F(UpdateFirmwareChipTest, UnattendedModeCountsTheJobInsteadOfTheBox) {
  UseHexEverywhere(Save(SampleHex(1), "chip.hex"));
  LoadingInstallation(state_).readWriteLog = 5;
  ASSERT_EQ(UpdateFirmwareChip(state_), ChipResult::Updated);
  EXPECT_TRUE(view_.Boxes().empty());
  EXPECT_EQ(state_.completedJobs, 1);
  EXPECT_EQ(view_.Timers(), (std::map<Timer, uint32_t>{{Timer::AutoStart, 40000}}));
}

TEST_F(UpdateFirmwareChipTest, AmbeEnterOnASmallRadioSwitchesToTheSmallHexFile) {
  HexFileWriter large = SampleHex(0x10);
  HexFileWriter small = SampleHex(0x90);
  LoadingInstallation(state_).chipHexPath = Save(large, "large.hex");
  LoadingInstallation(state_).smallChipHexPath = Save(small, "small.hex");
  LoadingInstallation(state_).chipHexPathSelp = LoadingInstallation(state_).smallChipHexPathSelp =
      LoadingInstallation(state_).chipHexPath;
  state_.radioDataSize = 65431;
  state_.hexFilePath = LoadingInstallation(state_).chipHexPath;
  chip_.SetEnterText("A-enter");
  ASSERT_EQ(UpdateFirmwareChip(state_), ChipResult::Updated);
  EXPECT_EQ(state_.hexFilePath, LoadingInstallation(state_).smallChipHexPath);
  EXPECT_EQ(Flash(), small.Expected());
}

TEST_F(UpdateFirmwareChipTest, SelpEnterOnALargeRadioSwitchesToTheSelpHexFile) {
  HexFileWriter selp = SampleHex(0x33);
  HexFileWriter other = SampleHex(0x44);
  LoadingInstallation(state_).chipHexPath = LoadingInstallation(state_).smallChipHexPath =
      LoadingInstallation(state_).smallChipHexPathSelp = Save(other, "other.hex");
  LoadingInstallation(state_).chipHexPathSelp = Save(selp, "selp.hex");
  state_.radioDataSize = 0x1F000;
  chip_.SetEnterText("boot S-enter");
  ASSERT_EQ(UpdateFirmwareChip(state_), ChipResult::Updated);
  EXPECT_EQ(state_.hexFilePath, LoadingInstallation(state_).chipHexPathSelp);
  EXPECT_EQ(Flash(), selp.Expected());
}

TEST_F(UpdateFirmwareChipTest, OtherEnterTextKeepsTheLoadedFile) {
  HexFileWriter loaded = SampleHex(0x55);
  state_.hexFilePath = Save(loaded, "loaded.hex");
  LoadHexFile(state_);
  UseHexEverywhere(Save(SampleHex(0x66), "settings.hex"));
  // 30 bytes without a 0: the text is cut at 25 characters, so the "A-enter" that begins
  // at offset 20 is not seen.
  std::string text(20, '.');
  text += "A-enter...";
  chip_.SetEnterReply(std::vector<uint8_t>(text.begin(), text.end()));
  ASSERT_EQ(UpdateFirmwareChip(state_), ChipResult::Updated);
  EXPECT_EQ(Flash(), loaded.Expected());
}

TEST_F(UpdateFirmwareChipTest, NotReadyThenReadyOnTheNextCall) {
  UseHexEverywhere(Save(SampleHex(2), "chip.hex"));
  state_.chipOnly = 1;
  chip_.SetNotReady(5);
  EXPECT_EQ(UpdateFirmwareChip(state_), ChipResult::NotReady);
  EXPECT_EQ(ChipLog().enterRequests, 4);
  EXPECT_FALSE(state_.downloadPort.IsOpen());
  EXPECT_EQ(state_.resultOk, 0);
  EXPECT_EQ(UpdateFirmwareChip(state_), ChipResult::Updated);
  EXPECT_EQ(ChipLog().enterRequests, 6);
  EXPECT_EQ(state_.resultOk, 1);
}

}  // namespace
}  // namespace fw::test
