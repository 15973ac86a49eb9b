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
  std::vector<ReadResult> readCodes;  // one per attempt; the last repeats
  std::vector<ChipResult> chipCodes;  // likewise
  bool transferOk = true;
  bool loadOk = true;
  bool convertOk = true;
  bool writeOk = true;
  WriteResult writeFailure = WriteResult::LinkFailed;

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
        return TransferResult::Done;
      }
      return TransferResult::Failed;
    };
    s.readRadio = [this](UpgradeState& st) {
      const ReadResult r = Next(readCodes, reads++, ReadResult::Done);
      if (r == ReadResult::Done) {
        st.resultOk = 1;
      }
      if (r == ReadResult::NewFamily) {
        st.familyOverride = 2;
      }
      return r;
    };
    s.loadTemplate = [this](UpgradeState& st, const std::string& path) {
      templatePaths.push_back(path);
      if (!loadOk) {
        return StepResult::Failed("no file " + path);
      }
      st.templateData.assign(1000, 0x5A);
      st.radioDataSize = 1000;
      return StepResult::Done();
    };
    s.convertRadioData = [this](UpgradeState&) {
      return convertOk ? StepResult::Done() : StepResult::Failed("missing RecastRadioData");
    };
    s.writeRadio = [this](UpgradeState& st) {
      ++writes;
      if (writeOk) {
        st.resultOk = 1;
        SetLastRow(st, kMarkDone, "Write the radio completed!");
        return WriteResult::Done;
      }
      if (writeFailure == WriteResult::NothingToWrite) {
        st.templateData.resize(600);  // shorter than the 1000 bytes to write
      }
      return writeFailure;
    };
    s.updateFirmwareChip = [this](UpgradeState& st) {
      const ChipResult r = Next(chipCodes, chips++, ChipResult::Updated);
      if (r == ChipResult::Updated) {
        st.resultOk = 1;
        SetLastRow(st, kMarkDone, "Update the firmware chip completed!");
      }
      return r;
    };
    return s;
  }

 private:
  template <class Result>
  static Result Next(const std::vector<Result>& codes, int i, Result otherwise) {
    if (codes.empty()) {
      return otherwise;
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

  void Full() {
    steps = radio.Steps();
    SetSequenceSteps(state, &steps);
    state.rowCount = 0;
    state.resultOk = 0;
    RunFullSequence(state);
  }
  void ChipOnly() {
    steps = radio.Steps();
    SetSequenceSteps(state, &steps);
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
    for (Control id : {Control::Port, Control::Upgrade, Control::HexFile, Control::UpdateChip}) {
      EXPECT_EQ(view.Enabled(id), 1) << test::Name(id);
    }
    EXPECT_EQ(view.Enabled(Control::Vocoder), vocoderToo ? 1 : -1);
    EXPECT_EQ(view.StatusText(), kUsual);
  }
  Row LastRow() { return view.Rows().back(); }

  test::FakeClockScope clock;
  test::TempDir dir;
  test::RecordingView view;
  PlayedRadio radio;
  SequenceSteps steps;
  UpgradeState state;
  test::JobOnClock onClock{clock, state.job.clock};
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
  radio.readCodes = std::vector<ReadResult>(19, ReadResult::NotReady);
  radio.readCodes.push_back(ReadResult::Done);
  Full();
  EXPECT_EQ(radio.reads, 20);
  EXPECT_EQ(CountSleeps(2000), 19u);
  EXPECT_EQ(radio.writes, 1);
  EXPECT_EQ(view.Rows()[2], (Row{kMarkDone, "Read the radio completed!"}));
}

TEST_F(Sequences, ReadNeverAnsweredEndsAfterTwentyAttempts) {
  radio.readCodes = {ReadResult::NotReady};
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

// A refused or failed read ends the job at once; the job, not the reader, says why: the
// box first, then the failure row.
TEST_F(Sequences, ReadFailuresAreNotRetried) {
  struct Case {
    ReadResult code;
    const char* box;  // nullptr: none
    const char* detail;
    const char* row;
  };
  const Case cases[] = {
      {ReadResult::UnknownModel, "Model Error!", "", "Read the radio failed!"},
      {ReadResult::AreaRefused, "CPS Area dosn't match!", "", "Read the radio failed!"},
      {ReadResult::BadModelId, "Model Error!",
       "The radio reports the model identifier \"../KW66\", which is not a model identifier "
       "(letters, digits, '-' and '_' only).",
       "Read the radio failed!"},
      {ReadResult::BlockFailed, nullptr, "", "Read the radio failed!"},
      {ReadResult::NewFamily, nullptr, "", kUnknownFirmware},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.code));
    test::RecordingView local;
    state.SetView(&local);
    radio = PlayedRadio();
    radio.readCodes = {c.code};
    state.familyOverride = 0;
    state.radioModelId = "../KW66";
    steps = radio.Steps();
    SetSequenceSteps(state, &steps);
    state.rowCount = 0;
    RunFullSequence(state);
    EXPECT_EQ(radio.reads, 1);
    EXPECT_EQ(local.Rows().back(), (Row{kMarkFailed, c.row}));
    EXPECT_EQ(local.StatusText(), kUsual);
    const auto boxes = local.Boxes();
    if (c.box == nullptr) {
      EXPECT_TRUE(boxes.empty());
      continue;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.box);
    EXPECT_EQ(boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(boxes[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(boxes[0].detail, c.detail);
    const auto log = local.Log();
    const auto box = std::find(log.begin(), log.end(), std::string("MessageBox ") + c.box);
    const auto row = std::find_if(log.begin(), log.end(), [&](const std::string& line) {
      return line.ends_with(std::string(" text ") + c.row);
    });
    EXPECT_LT(box, row) << "the box comes before the failure row";
  }
}

TEST_F(Sequences, NewFamilyFoundByTheReaderIsCarriedToTheNextJob) {
  radio.readCodes = {ReadResult::NewFamily};
  Full();
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, kUnknownFirmware}));
  EXPECT_EQ(state.familyOverride, 2);
  // The next job's transfer sees the override; the template lookup then clears it.
  radio.readCodes = {ReadResult::Done};
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
    radio.loadOk = false;  // end the job at the template
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
  radio.loadOk = false;
  Full();
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, "Open the new RCDB file failed!"}));
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "Open the new RCDB file failed!");
  EXPECT_NE(view.Boxes()[0].detail.find("KW66000000N02000L.rcd"), std::string::npos);
  ExpectControlsBack(true);

  test::RecordingView local;
  state.SetView(&local);
  radio = PlayedRadio();
  radio.convertOk = false;
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

// A write that did not start says why in its box, before the failure row; a write broken
// off has posted its communication error and shows no box of its own.
TEST_F(Sequences, WriteFailuresShowTheirBoxBeforeTheRow) {
  struct Case {
    WriteResult result;
    const char* box;  // nullptr: none
    MessageIcon icon;
    const char* detail;
  };
  const Case cases[] = {
      {WriteResult::LinkFailed, nullptr, MessageIcon::None, ""},
      {WriteResult::PortFailed, "Open serial COM port failed!", MessageIcon::None, ""},
      {WriteResult::NothingToWrite, "Write the radio failed!", MessageIcon::Exclamation,
       "The data to write holds 600 bytes, fewer than the 1000 bytes of the radio data."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.result));
    test::RecordingView local;
    state.SetView(&local);
    radio = PlayedRadio();
    radio.writeOk = false;
    radio.writeFailure = c.result;
    Full();
    EXPECT_EQ(local.Rows().back(), (Row{kMarkFailed, "Write the radio failed!"}));
    EXPECT_EQ(state.resultOk.load(), 0);
    const auto boxes = local.Boxes();
    if (c.box == nullptr) {
      EXPECT_TRUE(boxes.empty());
      continue;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.box);
    EXPECT_EQ(boxes[0].icon, c.icon);
    EXPECT_EQ(boxes[0].detail, c.detail);
    const auto log = local.Log();
    const auto box = std::find(log.begin(), log.end(), std::string("MessageBox ") + c.box);
    const auto row = std::find_if(log.begin(), log.end(), [](const std::string& line) {
      return line.ends_with(" text Write the radio failed!");
    });
    EXPECT_LT(box, row) << "the box comes before the failure row";
  }
}

TEST_F(Sequences, ChipOnlyRetriesAFirstFailureAfterFortySeconds) {
  radio.chipCodes = {ChipResult::Failed, ChipResult::Updated};
  ChipOnly();
  EXPECT_EQ(radio.chips, 2);
  EXPECT_EQ(Sleeps(), (std::vector<uint32_t>{40000}));
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkDone, "Update the firmware chip completed!"}}));
  ExpectControlsBack(false);
}

TEST_F(Sequences, ChipOnlyFailureAfterTheRetryEndsWithItsRow) {
  radio.chipCodes = {ChipResult::NotReady, ChipResult::NotReady, ChipResult::Failed};
  ChipOnly();
  EXPECT_EQ(radio.chips, 3);
  EXPECT_EQ(Sleeps(), (std::vector<uint32_t>{40000, 3000}));
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkFailed, "Update the firmware chip failed!"}}));
  ExpectControlsBack(false);
}

TEST_F(Sequences, ChipOnlyNeverReadyEndsAsAFailure) {
  radio.chipCodes = {ChipResult::NotReady};
  ChipOnly();
  EXPECT_EQ(radio.chips, 11);
  EXPECT_EQ(CountSleeps(40000), 1u);
  EXPECT_EQ(CountSleeps(3000), 10u);
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, "Update the firmware chip failed!"}));
  EXPECT_EQ(state.resultOk.load(), 0);
}

// A chip update broken off while the chip was being programmed is a communication error:
// the job says so for every such pass, before its failure row.
TEST_F(Sequences, ChipUpdateBrokenOffShowsTheCommunicationErrorBeforeTheRow) {
  radio.chipCodes = {ChipResult::Interrupted};
  ChipOnly();
  EXPECT_EQ(radio.chips, 2);  // the first failure is retried once, and ends the job
  const auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  for (const auto& box : boxes) {
    EXPECT_EQ(box.text, "Communication error, Please retry!");
    EXPECT_EQ(box.icon, MessageIcon::None);
  }
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkFailed, "Update the firmware chip failed!"}}));
  const auto log = view.Log();
  const auto lastBox = std::find(log.rbegin(), log.rend(),
                                 std::string("MessageBox Communication error, Please retry!"));
  const auto row = std::find(log.rbegin(), log.rend(),
                             std::string("SetRowText 0 text Update the firmware chip failed!"));
  EXPECT_GT(lastBox, row) << "the box comes before the failure row";
}

TEST_F(Sequences, FullJobChipUpdateBrokenOffIsNotRetried) {
  state.updateChip = 1;
  radio.chipCodes = {ChipResult::Interrupted, ChipResult::Updated};
  Full();
  EXPECT_EQ(radio.chips, 1);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "Communication error, Please retry!");
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, "Update the firmware chip failed!"}));
  ExpectControlsBack(true);
}

TEST_F(Sequences, FullJobDoesNotRetryAFirstChipFailure) {
  state.updateChip = 1;
  radio.chipCodes = {ChipResult::Failed, ChipResult::Updated};
  Full();
  EXPECT_EQ(radio.chips, 1);
  EXPECT_EQ(CountSleeps(40000), 0u);
  EXPECT_EQ(Sleeps(), (std::vector<uint32_t>{25000, 10000, 20000}));
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, "Update the firmware chip failed!"}));
  ExpectControlsBack(true);
}

TEST_F(Sequences, FullJobRetriesAChipThatIsNotReady) {
  state.updateChip = 1;
  radio.chipCodes = {ChipResult::NotReady, ChipResult::NotReady, ChipResult::Updated};
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
  radio.chipCodes = {ChipResult::NotReady, ChipResult::NotReady, ChipResult::PortFailed};
  Full();
  EXPECT_EQ(radio.chips, 3);
  EXPECT_EQ(LastRow(), (Row{kMarkFailed, "Update the firmware chip failed!"}));
  ExpectControlsBack(false);

  // Fifteen more results of "not ready": the failure row, and the window back.
  test::RecordingView local;
  state.SetView(&local);
  radio = PlayedRadio();
  radio.chipCodes = {ChipResult::NotReady};
  Full();
  EXPECT_EQ(radio.chips, 16);
  EXPECT_EQ(local.Rows().back(), (Row{kMarkFailed, "Update the firmware chip failed!"}));
  EXPECT_EQ(local.Enabled(Control::Vocoder), 1);
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
