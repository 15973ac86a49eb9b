// The full and chip-only sequences with their steps played by the test and the fake clock:
// retries and waits, the template path handed to the loader, every ending's row and
// controls, and what survives into the next job.

#include "workflow/Sequences.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "config/Installation.h"
#include "core/Ids.h"
#include "core/Status.h"
#include "radiodata/DataLog.h"
#include "support/FakeClockScope.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "workflow/Job.h"

namespace fw {
namespace test {
static void PrintTo(const Row& row, std::ostream* os) {
  *os << "{" << row.mark << "|" << row.text << "}";
}
}  // namespace test
namespace {

using test::Row;

constexpr const char* kUsual =
    "Make the radio into download mode, click \"Upgrade\" button to start ...";
constexpr const char* kUnknownFirmware =
    "Unknown firmware version. Please make the radio enter downloading mode and then click "
    "'Upgrade'. Do not close Flashwright.";

// A radio played by the test: each step answers from a script.
class PlayedRadio {
 public:
  std::vector<int> readCodes;  // one per attempt; the last repeats
  std::vector<int> chipCodes;  // likewise
  bool transferOk = true;
  int loadResult = 1;
  int convertResult = 1;
  bool writeOk = true;

  int reads = 0;
  int chips = 0;
  int transfers = 0;
  int writes = 0;
  std::vector<std::string> templatePaths;
  std::vector<int> familyAtTransfer;

  SequenceSteps Steps() {
    SequenceSteps s;
    s.transferMainFirmware = [this](UpgradeState& st) {
      ++transfers;
      familyAtTransfer.push_back(st.familyOverride);
      SetLastRow(st, kMarkDone, "Connect the radio successfully!");
      AddRow(st, kMarkBusy, "Updating the radio software, please wait...");
      if (transferOk) {
        st.resultOk = 1;
      }
    };
    s.readRadio = [this](UpgradeState& st) {
      const int r = Next(readCodes, reads++);
      if (r == 0) {
        st.resultOk = 1;
      }
      if (r == 4) {
        st.familyOverride = 2;
      }
      return r;
    };
    s.loadTemplate = [this](UpgradeState& st, const std::string& path, std::string* detail) {
      templatePaths.push_back(path);
      if (loadResult == 0) {
        *detail = "no file " + path;
        return 0;
      }
      st.templateData.assign(1000, 0x5A);
      st.radioDataSize = 1000;
      return loadResult;
    };
    s.convertRadioData = [this](UpgradeState&, std::string* detail) {
      if (convertResult == 0) {
        *detail = "missing RecastRadioData";
      }
      return convertResult;
    };
    s.writeRadio = [this](UpgradeState& st) {
      ++writes;
      if (writeOk) {
        st.resultOk = 1;
        SetLastRow(st, kMarkDone, "Write the radio completed!");
      }
    };
    s.updateFirmwareChip = [this](UpgradeState& st) {
      const int r = Next(chipCodes, chips++);
      if (r == 0) {
        st.resultOk = 1;
        SetLastRow(st, kMarkDone, "Update the firmware chip completed!");
      }
      return r;
    };
    return s;
  }

 private:
  static int Next(const std::vector<int>& codes, int i) {
    if (codes.empty()) {
      return 0;
    }
    return codes[std::min<size_t>(static_cast<size_t>(i), codes.size() - 1)];
  }
};

class Sequences : public ::testing::Test {
 protected:
  void SetUp() override {
    state.SetView(&view);
    LoadingInstallation(state).programDir = dir.Path();
    state.radioModelId = "KW66000000N02000L";
    state.radioInfo = "MCU-0401";
    state.radioVersion = 401;
    state.AllocateRadioData(UpgradeState::kDefaultRadioDataSize);
  }
  void TearDown() override { SetSequenceSteps(nullptr); }

  void Full() {
    steps = radio.Steps();
    SetSequenceSteps(&steps);
    state.rowCount = 0;
    state.resultOk = 0;
    RunFullSequence(state);
  }
  void ChipOnly() {
    steps = radio.Steps();
    SetSequenceSteps(&steps);
    state.chipOnly = 1;
    state.resultOk = 0;
    RunChipOnlySequence(state);
  }
  std::vector<uint32_t> Sleeps() { return clock.clock().Sleeps(); }
  size_t CountSleeps(uint32_t ms) {
    auto s = Sleeps();
    return static_cast<size_t>(std::count(s.begin(), s.end(), ms));
  }
  void ExpectControlsBack(bool vocoderToo) {
    for (int id : {kPortCombo, kUpgradeButton, kHexFileButton, kUpdateChipCheck}) {
      EXPECT_EQ(view.Enabled(id), 1) << id;
    }
    EXPECT_EQ(view.Enabled(kVocoderCombo), vocoderToo ? 1 : -1);
    EXPECT_EQ(view.StatusText(), kUsual);
  }
  Row LastRow() { return view.Rows().back(); }

  test::FakeClockScope clock;
  test::TempDir dir;
  test::RecordingView view;
  PlayedRadio radio;
  SequenceSteps steps;
  UpgradeState state;
};

TEST_F(Sequences, FullJobRowsWaitsAndEnding) {
  Full();
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkDone, "Connect the radio successfully!"},
                                           {kMarkDone, "Update the radio software completed!"},
                                           {kMarkDone, "Read the radio completed!"},
                                           {kMarkDone, "The upgrade data file has been found!"},
                                           {kMarkDone, "Convert radio data completed!"},
                                           {kMarkDone, "Write the radio completed!"}}));
  EXPECT_EQ(Sleeps(), (std::vector<uint32_t>{25000, 10000}));
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_EQ(radio.chips, 0);
  ExpectControlsBack(true);
  EXPECT_TRUE(view.Boxes().empty());
}

TEST_F(Sequences, ReadAnsweredOnTheTwentiethAttempt) {
  radio.readCodes = std::vector<int>(19, 5);
  radio.readCodes.push_back(0);
  Full();
  EXPECT_EQ(radio.reads, 20);
  EXPECT_EQ(CountSleeps(2000), 19u);
  EXPECT_EQ(radio.writes, 1);
  EXPECT_EQ(view.Rows()[2], (Row{kMarkDone, "Read the radio completed!"}));
}

TEST_F(Sequences, ReadNeverAnsweredEndsAfterTwentyAttempts) {
  radio.readCodes = {7};  // any code of 5 or more means "not yet"
  Full();
  EXPECT_EQ(radio.reads, 20);
  EXPECT_EQ(CountSleeps(2000), 19u);
  EXPECT_EQ(radio.writes, 0);
  EXPECT_TRUE(radio.templatePaths.empty());
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, "Read the radio failed!"}));
  EXPECT_EQ(state.rowCount, 3);
  EXPECT_EQ(state.resultOk.load(), 0);
  ExpectControlsBack(true);
}

TEST_F(Sequences, ReadFailuresAreNotRetried) {
  for (int code : {1, 2, 3, 4}) {
    SCOPED_TRACE(code);
    test::RecordingView local;
    state.SetView(&local);
    radio = PlayedRadio();
    radio.readCodes = {code};
    state.familyOverride = 0;
    steps = radio.Steps();
    SetSequenceSteps(&steps);
    state.rowCount = 0;
    RunFullSequence(state);
    EXPECT_EQ(radio.reads, 1);
    EXPECT_EQ(local.Rows().back(),
              (Row{kMarkFailed, code == 4 ? kUnknownFirmware : "Read the radio failed!"}));
    EXPECT_EQ(local.StatusText(), kUsual);
  }
}

TEST_F(Sequences, NewFamilyFoundByTheReaderIsCarriedToTheNextJob) {
  radio.readCodes = {4};
  Full();
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, kUnknownFirmware}));
  EXPECT_EQ(state.familyOverride, 2);
  // The next job's transfer sees the override; the template lookup then clears it.
  radio.readCodes = {0};
  state.radioInfo = "";  // no "MCU": only the override leads to "rcdb/"
  Full();
  EXPECT_EQ(radio.familyAtTransfer, (std::vector<int>{0, 2}));
  ASSERT_EQ(radio.templatePaths.size(), 1u);
  EXPECT_EQ(radio.templatePaths[0], dir.Path() + "rcdb/KW66000000N02000L.rcd");
  EXPECT_EQ(state.familyOverride, 0);
}

TEST_F(Sequences, TemplateNameRule) {
  struct Case {
    const char* modelId;
    const char* info;
    int version;
    int family;
    const char* path;
  } cases[] = {
      {"KV68000000N00000L", "MCU-0401", 401, 0, "rcdb/KV68000000N02000L.rcd"},
      {"KV68000000N00000L", "MCU-0399", 399, 0, "rcdb/smallMCU/KV68000000N02000L.rcd"},
      {"KV68000000N00000L", "", 401, 0, "rcdb/smallMCU/KV68000000N02000L.rcd"},
      {"KV68000000N00000L", "", 0, 2, "rcdb/KV68000000N02000L.rcd"},
      {"KV680000000R0000L", "MCU-0401", 401, 0, "rcdb/KV680000000R0000L.rcd"},
      {"KV58000000N00000L", "MCU-0401", 401, 0, "rcdb/KV58000000N00000L.rcd"},
      {"KV68N00N00", "MCU-0401", 401, 0, "rcdb/KV68N02N02.rcd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.modelId);
    radio = PlayedRadio();
    radio.loadResult = 0;  // end the job at the template
    state.radioModelId = c.modelId;
    state.radioInfo = c.info;
    state.radioVersion = c.version;
    state.familyOverride = c.family;
    Full();
    ASSERT_EQ(radio.templatePaths.size(), 1u);
    EXPECT_EQ(radio.templatePaths[0], dir.Path() + c.path);
    EXPECT_EQ(state.familyOverride, 0);
  }
}

TEST_F(Sequences, TemplateAndConversionFailuresNameTheirReason) {
  radio.loadResult = 0;
  Full();
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, "Open the new RCDB file failed!"}));
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "Open the new RCDB file failed!");
  EXPECT_NE(view.Boxes()[0].detail.find("KW66000000N02000L.rcd"), std::string::npos);
  ExpectControlsBack(true);

  test::RecordingView local;
  state.SetView(&local);
  radio = PlayedRadio();
  radio.convertResult = 0;
  Full();
  EXPECT_EQ(local.Rows().back(), (Row{kMarkFailed, "Convert RCDB failed!"}));
  // The failure row replaces "The upgrade data file has been found!".
  EXPECT_EQ(local.Rows().size(), 4u);
  EXPECT_EQ(local.Rows()[2], (Row{kMarkDone, "Read the radio completed!"}));
  ASSERT_EQ(local.Boxes().size(), 1u);
  EXPECT_EQ(local.Boxes()[0].text, "Convert RCDB failed!");
  EXPECT_EQ(local.Boxes()[0].detail, "missing RecastRadioData");
  EXPECT_EQ(radio.writes, 0);
  EXPECT_EQ(state.resultOk.load(), 0);
}

TEST_F(Sequences, TransferAndWriteFailures) {
  radio.transferOk = false;
  Full();
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkDone, "Connect the radio successfully!"},
                                           {kMarkFailed, "Update the radio software failed!"}}));
  EXPECT_EQ(radio.reads, 0);
  ExpectControlsBack(true);

  test::RecordingView local;
  state.SetView(&local);
  radio = PlayedRadio();
  radio.writeOk = false;
  state.updateChip = 1;
  Full();
  EXPECT_EQ(local.Rows().back(), (Row{kMarkFailed, "Write the radio failed!"}));
  EXPECT_EQ(radio.chips, 0);
  EXPECT_EQ(state.resultOk.load(), 0);
}

TEST_F(Sequences, ChipOnlyRetriesAFirstFailureAfterFortySeconds) {
  radio.chipCodes = {3, 0};
  ChipOnly();
  EXPECT_EQ(radio.chips, 2);
  EXPECT_EQ(Sleeps(), (std::vector<uint32_t>{40000}));
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkDone, "Update the firmware chip completed!"}}));
  ExpectControlsBack(false);
}

TEST_F(Sequences, ChipOnlyFailureAfterTheRetryEndsWithItsRow) {
  radio.chipCodes = {5, 5, 2};
  ChipOnly();
  EXPECT_EQ(radio.chips, 3);
  EXPECT_EQ(Sleeps(), (std::vector<uint32_t>{40000, 3000}));
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkFailed, "Update the firmware chip failed!"}}));
  ExpectControlsBack(false);
}

TEST_F(Sequences, ChipOnlyNeverReadyEndsAsAFailure) {
  radio.chipCodes = {5};
  ChipOnly();
  EXPECT_EQ(radio.chips, 11);
  EXPECT_EQ(CountSleeps(40000), 1u);
  EXPECT_EQ(CountSleeps(3000), 10u);
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, "Update the firmware chip failed!"}));
  EXPECT_EQ(state.resultOk.load(), 0);
}

TEST_F(Sequences, FullJobDoesNotRetryAFirstChipFailure) {
  state.updateChip = 1;
  radio.chipCodes = {3, 0};
  Full();
  EXPECT_EQ(radio.chips, 1);
  EXPECT_EQ(CountSleeps(40000), 0u);
  EXPECT_EQ(Sleeps(), (std::vector<uint32_t>{25000, 10000, 20000}));
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, "Update the firmware chip failed!"}));
  ExpectControlsBack(true);
}

TEST_F(Sequences, FullJobRetriesAChipThatIsNotReady) {
  state.updateChip = 1;
  radio.chipCodes = {5, 6, 0};
  Full();
  EXPECT_EQ(radio.chips, 3);
  EXPECT_EQ(Sleeps(), (std::vector<uint32_t>{25000, 10000, 20000, 40000, 3000}));
  EXPECT_EQ(LastRow(), (Row{kMarkDone, "Update the firmware chip completed!"}));
  EXPECT_EQ(view.Rows().size(), 7u);
  const std::vector<std::string> texts = view.StatusTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      std::string("The radio is restarting, about 20 seconds...")),
            texts.end());
  ExpectControlsBack(true);
}

TEST_F(Sequences, FullJobChipRetryFailureLeavesTheVocoderComboDisabled) {
  state.updateChip = 1;
  radio.chipCodes = {5, 5, 4};
  Full();
  EXPECT_EQ(radio.chips, 3);
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, "Update the firmware chip failed!"}));
  ExpectControlsBack(false);

  // Fifteen more results of "not ready": the failure row, and the window back.
  test::RecordingView local;
  state.SetView(&local);
  radio = PlayedRadio();
  radio.chipCodes = {5};
  Full();
  EXPECT_EQ(radio.chips, 16);
  EXPECT_EQ(local.Rows().back(), (Row{kMarkFailed, "Update the firmware chip failed!"}));
  EXPECT_EQ(local.Enabled(kVocoderCombo), 1);
}

LogTime FixedTime() {
  return LogTime{2026, 12, 7, 9, 5, 3};
}

TEST_F(Sequences, DataLogsOfAFullJob) {
  SetLogTimeSource(FixedTime);
  LoadingInstallation(state).readWriteLog = 1;
  std::fill(state.radioDataBuffer.begin(), state.radioDataBuffer.end(), 0x11);
  Full();
  SetLogTimeSource(nullptr);
  const std::string folder = dir.Path() + "ReadWriteLog/";
  EXPECT_EQ(std::filesystem::file_size(folder + "[2026-12-07 09-05-03]ReadLog.dat"), 129976u);
  EXPECT_EQ(std::filesystem::file_size(folder + "[2026-12-07 09-05-03]DefDataLog.dat"), 1000u);
  EXPECT_EQ(std::filesystem::file_size(folder + "[2026-12-07 09-05-03]WriteLog.dat"), 1000u);
}

}  // namespace
}  // namespace fw
