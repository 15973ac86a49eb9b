#include "ChipUpdateFixture.h"
#include "config/Installation.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fw::test {
namespace {

using sim::ChipLoaderResponder;
using Fault = ChipLoaderResponder::Fault;
using FaultKind = ChipLoaderResponder::FaultKind;

struct StepFailure {
  const char* name;
  int step;
  Fault fault;
  ChipResult code;
  size_t flashSize;  // bytes programmed when the update gave up
};

void PrintTo(const StepFailure& f, std::ostream* os) {
  *os << f.name;
}

class ChipStepFailure : public ChipUpdateFixture,
                        public ::testing::WithParamInterface<StepFailure> {};

TEST_P(ChipStepFailure, GivesItsCodeAndMessageAndClosesThePort) {
  const StepFailure& p = GetParam();
  HexFileWriter hex;
  hex.Data(0x0000, std::vector<uint8_t>(16, 0x11));
  hex.Data(0x0010, std::vector<uint8_t>(16, 0x22));
  hex.End();
  UseHexEverywhere(Save(hex, "chip.hex"));
  chip_.SetFault(p.step, p.fault);

  EXPECT_EQ(UpdateFirmwareChip(state_), p.code);
  EXPECT_FALSE(state_.downloadPort.IsOpen());
  EXPECT_EQ(state_.resultOk, 0);
  // The job writes the failure row; the update leaves the row it was given.
  EXPECT_EQ(view_.Rows(), (std::vector<Row>{{kMarkBusy, kBusyText}}));
  // A broken-off update is reported by the job.
  EXPECT_TRUE(view_.Boxes().empty());
  EXPECT_EQ(Flash().size(), p.flashSize);
  if (p.fault.kind != FaultKind::kHangUp) {
    // Every step is tried four times before the update gives up.
    int tries = 0;
    for (int s : ChipLog().steps) {
      tries += s == p.step ? 1 : 0;
    }
    EXPECT_EQ(tries, p.step == 4 ? 5 : 4);  // the first data frame went through
  }
}

const Fault kWrong{FaultKind::kWrongByte, 0, -1};
const Fault kSilent{FaultKind::kSilence, 0, -1};

INSTANTIATE_TEST_SUITE_P(
    Steps, ChipStepFailure,
    ::testing::Values(StepFailure{"EnterSilent", 1, kSilent, ChipResult::NotReady, 0},
                      StepFailure{"HandshakeWrong", 2, kWrong, ChipResult::NotReady, 0},
                      StepFailure{"EraseWrong", 3, kWrong, ChipResult::Failed, 0},
                      StepFailure{"SecondDataFrameWrong", 4, Fault{FaultKind::kWrongByte, 1, -1},
                                  ChipResult::Interrupted, 16},
                      StepFailure{"FinishWrong", 5, kWrong, ChipResult::Interrupted, 32},
                      StepFailure{"ConfirmWrong", 6, kWrong, ChipResult::Interrupted, 32},
                      StepFailure{"LeaveShort", 7, Fault{FaultKind::kShortReply, 0, -1},
                                  ChipResult::Interrupted, 32},
                      StepFailure{"DataHangUp", 4, Fault{FaultKind::kHangUp, 0, 1},
                                  ChipResult::Interrupted, 0}),
    [](const ::testing::TestParamInfo<StepFailure>& info) { return info.param.name; });

class UpdateFirmwareChipFailureTest : public ChipUpdateFixture {};

TEST_F(UpdateFirmwareChipFailureTest, PortThatDoesNotOpen) {
  UseHexEverywhere(Save(SampleHex(3), "chip.hex"));
  state_.job.devicePath = dir_ + "no-such-device";  // the job's port has no device behind it
  EXPECT_EQ(UpdateFirmwareChip(state_), ChipResult::PortFailed);
  EXPECT_FALSE(state_.downloadPort.IsOpen());
  const char* text = "Failed to connect radio. Please check all connections and port settings!";
  ASSERT_EQ(view_.Boxes().size(), 1u);
  EXPECT_EQ(view_.Boxes()[0].text, text);
  EXPECT_EQ(view_.Boxes()[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(view_.Rows(), (std::vector<Row>{{kMarkBusy, text}}));
  EXPECT_EQ(view_.Enabled(Control::Upgrade), 1);
  EXPECT_EQ(view_.Enabled(Control::HexFile), 1);
  EXPECT_EQ(ChipLog().enterRequests, 0);
}

TEST_F(UpdateFirmwareChipFailureTest, NoChipDataIsRefusedBeforeTheErase) {
  HexFileWriter empty;
  empty.End();
  UseHexEverywhere(Save(empty, "empty.hex"));
  EXPECT_EQ(UpdateFirmwareChip(state_), ChipResult::Failed);
  EXPECT_EQ(ChipLog().erases, 0);
  EXPECT_FALSE(state_.downloadPort.IsOpen());
  ASSERT_EQ(view_.Boxes().size(), 1u);
  EXPECT_EQ(view_.Boxes()[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(state_.resultOk, 0);
}

TEST_F(UpdateFirmwareChipFailureTest, CutShortLastRecordIsRefusedBeforeTheErase) {
  // The last line is a data record and nothing follows it: the loader keeps only its first
  // ten characters, so the record's data is missing.
  HexFileWriter hex;
  hex.Data(0x0000, std::vector<uint8_t>(16, 0x11));
  hex.Data(0x0010, std::vector<uint8_t>(16, 0x22));
  UseHexEverywhere(Save(hex, "noend.hex"));
  EXPECT_EQ(UpdateFirmwareChip(state_), ChipResult::Failed);
  EXPECT_EQ(ChipLog().erases, 0);
  EXPECT_EQ(view_.Boxes().size(), 1u);
}

TEST_F(UpdateFirmwareChipFailureTest, CorruptRecordIsRefusedBeforeTheEraseNamingItsLine) {
  // The sample file with the checksum of its third line one bit off.
  const std::string good = SampleHex(0x33).Text();
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < good.size();) {
    const size_t end = good.find("\r\n", pos);
    lines.push_back(good.substr(pos, end - pos));
    pos = end + 2;
  }
  ASSERT_GE(lines.size(), 4u);
  std::string& third = lines[2];
  const std::string right = third.substr(third.size() - 2);
  const unsigned wrong = std::stoul(right, nullptr, 16) ^ 0x01;
  char wrongText[3];
  std::snprintf(wrongText, sizeof wrongText, "%02X", wrong);
  third.replace(third.size() - 2, 2, wrongText);
  std::string text;
  for (const std::string& l : lines) {
    text += l + "\r\n";
  }
  const std::string path = dir_ + "corrupt.hex";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  files_.push_back(path);
  UseHexEverywhere(path);
  EXPECT_EQ(UpdateFirmwareChip(state_), ChipResult::Failed);
  EXPECT_EQ(ChipLog().erases, 0);
  EXPECT_TRUE(Flash().empty());
  EXPECT_FALSE(state_.downloadPort.IsOpen());
  EXPECT_EQ(state_.resultOk, 0);
  ASSERT_EQ(view_.Boxes().size(), 1u);
  const std::string name = std::filesystem::path(path).filename().string();  // without its folder
  EXPECT_EQ(view_.Boxes()[0].text,
            "The firmware chip hex file " + name + " is refused: line 3: its checksum is " +
                wrongText + ", but its bytes need " + right + ". Please choose another hex file!");
  EXPECT_EQ(view_.Boxes()[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(view_.Boxes()[0].detail, path);
}

TEST_F(UpdateFirmwareChipFailureTest, HexFileTheChipAsksForCannotBeRead) {
  // The AMBE file is loaded; the chip says it carries SELP, whose file is missing. The AMBE
  // records must not go into it.
  HexFileWriter ambe = SampleHex(0x21);
  state_.hexFilePath = LoadingInstallation(state_).chipHexPath = Save(ambe, "ambe.hex");
  ASSERT_TRUE(LoadHexFile(state_));
  LoadingInstallation(state_).chipHexPathSelp = dir_ + "missing-selp.hex";
  chip_.SetEnterText("S-enter");
  EXPECT_EQ(UpdateFirmwareChip(state_), ChipResult::Failed);
  EXPECT_EQ(ChipLog().handshakes, 0);
  EXPECT_EQ(ChipLog().erases, 0);
  EXPECT_FALSE(state_.downloadPort.IsOpen());
  ASSERT_EQ(view_.Boxes().size(), 1u);
  EXPECT_EQ(view_.Boxes()[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(view_.Boxes()[0].detail, LoadingInstallation(state_).chipHexPathSelp);
}

}  // namespace
}  // namespace fw::test
