// Firmware-only jobs run end to end over a pseudo-terminal against the simulated radio:
// the success path and every failure of the transfer, each ending with its message, its
// rows, resultOk 0, the port closed and the controls enabled again.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <ostream>
#include <thread>

#include "RadioSim.h"
#include "config/Installation.h"
#include "core/Status.h"
#include "serial/PortMap.h"
#include "support/FakeClockScope.h"
#include "support/FastClock.h"
#include "support/RadioOnPort.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "workflow/Job.h"

namespace fw {
namespace {

using sim::DownloadStep;
using sim::FaultKind;
using test::Row;

constexpr int kPort = 7;
const char* kNotInDownloadMode =
    "Please make the radio enter downloading mode, check all connections and port settings!";

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    v[i] = static_cast<uint8_t>((i * 131 + i / 251) & 0xFF);
  }
  return v;
}

class FirmwareJob : public ::testing::Test {
 protected:
  void SetUp() override {
    state.SetView(&view);
    LoadingInstallation(state).imageDir = dir.Path();
    LoadingInstallation(state).programDir = dir.Path();
    LoadingInstallation(state).mainImageName = "Main.bin";
    LoadingInstallation(state).chipHexPath = dir.Path() + "Chip.hex";
    LoadingInstallation(state).modelList = "KV68/KZ66";
    LoadingInstallation(state).readWriteLog = 3;
    image = Pattern(5000);
    dir.Write("Main.bin", image);
  }
  void TearDown() override { GlobalPortMap().ClearExplicit(); }

  void StartSim() {
    sim = std::make_unique<sim::RadioSim>(config);
    ASSERT_TRUE(test::PutRadioOnPort(*sim, state, kPort));
  }

  // Runs a firmware-only job as the "Upgrade" button does and waits for its end.
  void RunJob() {
    if (!sim) {
      StartSim();
    }
    JobInputs in;
    in.firmwareOnly = true;
    in.portNumber = kPort;
    ASSERT_TRUE(StartJob(state, in));
    for (int i = 0; i < 60000 && JobRunning(state); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(JobRunning(state)) << "the job did not end";
    JoinJob(state);
  }

  void ExpectFailedEnding() {
    EXPECT_EQ(state.resultOk.load(), 0);
    EXPECT_FALSE(state.downloadPort.IsOpen());
    for (Control id : {Control::Port, Control::Vocoder, Control::Upgrade, Control::HexFile,
                       Control::UpdateChip}) {
      EXPECT_EQ(view.Enabled(id), 1) << test::Name(id);
    }
    EXPECT_EQ(view.StatusText(),
              "Make the radio into download mode, click \"Upgrade\" button to start ...");
  }

  void ExpectOneBox(const std::string& text, MessageIcon icon) {
    auto boxes = view.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].icon, icon);
  }

  // The list as a failure before the download request leaves it: the one row, finished
  // as failed with the job.
  void ExpectOnlyConnectingRow() {
    EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkFailed, "Connecting the radio..."}}));
    EXPECT_EQ(state.rowCount, 1);
  }

  void ExpectNoDownloadRequest() {
    EXPECT_EQ(sim->DownloadSnapshot().requests[static_cast<int>(DownloadStep::kDownloadRequest)],
              0u);
  }

  void Fault(FaultKind kind, DownloadStep step, int attempts = 0, uint32_t block = 1) {
    config.download.fault = sim::DownloadFault{kind, step, attempts, block};
  }

  test::TempDir dir;
  test::RecordingView view;
  sim::RadioSimConfig config;
  std::unique_ptr<sim::RadioSim> sim;
  std::vector<uint8_t> image;
  UpgradeState state;  // last: destroyed (and its worker joined) first
};

TEST_F(FirmwareJob, SucceedsAndTheRadioHasTheImageByteExact) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  RunJob();
  auto record = sim->DownloadSnapshot();
  EXPECT_TRUE(record.completed);
  EXPECT_EQ(record.fileName, "Main.bin");
  EXPECT_EQ(record.declaredSize, 5000);
  EXPECT_EQ(record.Image(), image);
  EXPECT_EQ(record.received.size(), 5120u);
  EXPECT_EQ(record.badBlocks, 0u);
  EXPECT_EQ(sim->CurrentMode(), sim::RadioMode::kRestarting);

  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_FALSE(state.downloadPort.IsOpen());
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkDone, "Connect the radio successfully!"},
                                           {kMarkDone, "Update the radio software completed!"}}));
  ExpectOneBox("Update the radio software completed!", MessageIcon::None);
  EXPECT_EQ(view.StatusText(), "Click \"Upgrade\" button to start ...");
  for (Control id : {Control::Port, Control::Vocoder, Control::Upgrade, Control::UpdateChip}) {
    EXPECT_EQ(view.Enabled(id), 1) << test::Name(id);
  }
  EXPECT_EQ(view.Enabled(Control::HexFile), 0);

  // Five blocks of 1024 counted, the padded last one included.
  ASSERT_EQ(view.Events().size(), 5u);
  EXPECT_EQ(view.ProgressOf(Phase::Firmware), (std::vector<int>{1024, 2048, 3072, 4096, 5120}));
  EXPECT_EQ(state.bytesDone.load(), 5120);
  EXPECT_EQ(state.radioInfo, "MCU-0401");
  EXPECT_EQ(state.radioModel, "KV680DEMO");
  EXPECT_EQ(state.radioVersion, 401);
  EXPECT_EQ(state.selectedImageName, "Main.bin");
  EXPECT_EQ(state.hexFilePath, dir.Path() + "Chip.hex");
  EXPECT_EQ(state.radioDataSize.load(), 129976u);
  EXPECT_EQ(state.writeDataSize.load(), 129976u);
  EXPECT_EQ(state.chipImageSize.load(), 0u);  // updateChip off
  auto texts = view.StatusTexts();
  EXPECT_NE(
      std::find(texts.begin(), texts.end(), "Radio is in the upgrading mode, about 5 seconds..."),
      texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "The radio is restarting, about 20 seconds..."),
            texts.end());
  // The fixed waits: start 300, port 100, header 500, end of transmission 100, final 1000.
  auto sleeps = clock.clock().Sleeps();
  for (uint32_t wait : {300u, 100u, 500u, 1000u}) {
    EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), wait), sleeps.end()) << wait;
  }
}

// After a completed upgrade the next radio on the bench waits in download mode: a second
// job (the second click on "Upgrade") upgrades it as the first did.
TEST_F(FirmwareJob, SecondJobUpgradesTheNextRadio) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  config.download.restartMs = 50;
  RunJob();
  ASSERT_EQ(state.resultOk.load(), 1);
  for (int i = 0; i < 2000 && sim->CurrentMode() != sim::RadioMode::kNormal; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(sim->CurrentMode(), sim::RadioMode::kNormal);
  image = Pattern(2100);
  std::reverse(image.begin(), image.end());
  dir.Write("Main.bin", image);
  RunJob();
  EXPECT_EQ(state.resultOk.load(), 1);
  auto record = sim->DownloadSnapshot();
  EXPECT_TRUE(record.completed);
  EXPECT_EQ(record.declaredSize, 2100);
  EXPECT_EQ(record.Image(), image);
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkDone, "Connect the radio successfully!"},
                                           {kMarkDone, "Update the radio software completed!"}}));
  auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text, "Update the radio software completed!");
}

TEST_F(FirmwareJob, AutomaticDownloadRequestAndBlockSizes) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  LoadingInstallation(state).autoTest = 1;
  image = Pattern(2048);
  dir.Write("Main.bin", image);
  RunJob();
  auto record = sim->DownloadSnapshot();
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_EQ(record.received, image);  // exactly two blocks, no padding
  EXPECT_EQ(state.bytesDone.load(), 2048);
}

TEST_F(FirmwareJob, ShortImageIsSentAsOnePaddedBlock) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  image = Pattern(100);
  dir.Write("Main.bin", image);
  RunJob();
  auto record = sim->DownloadSnapshot();
  EXPECT_EQ(state.resultOk.load(), 1);
  ASSERT_EQ(record.received.size(), 1024u);
  EXPECT_EQ(record.Image(), image);
  for (size_t i = 100; i < 1024; ++i) {
    ASSERT_EQ(record.received[i], 0x1A) << i;
  }
  EXPECT_EQ(state.bytesDone.load(), 1024);
}

TEST_F(FirmwareJob, ExactlyOneMebibyteIsSentAndBlockNumbersWrap) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  image = Pattern(1048576);
  dir.Write("Main.bin", image);
  RunJob();
  auto record = sim->DownloadSnapshot();
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_EQ(record.blocksAccepted, 1024u);  // numbers 1..255, 0..255, ...: all in order
  EXPECT_EQ(record.badBlocks, 0u);
  EXPECT_TRUE(record.Image() == image);
}

TEST_F(FirmwareJob, OneByteMoreThanAMebibyteIsRefusedBeforeTheDownloadRequest) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  dir.Write("Main.bin", Pattern(1048577));
  RunJob();
  ExpectOneBox("Open the file cache is too small!", MessageIcon::None);
  ExpectOnlyConnectingRow();
  ExpectNoDownloadRequest();
  ExpectFailedEnding();
}

TEST_F(FirmwareJob, LostFirstByteOfWaitingIsAccepted) {
  test::FastClockScope clock;  // the 57-byte reply ends its read at the deadline
  clock.Attach(state.job.clock);
  config.download.loseWaitingFirstByte = true;
  RunJob();
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_EQ(sim->DownloadSnapshot().Image(), image);
}

TEST_F(FirmwareJob, RepeatedBlockAfterNaksIsTakenOnce) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  Fault(FaultKind::kWrongByte, DownloadStep::kData, 2, 3);
  RunJob();
  auto record = sim->DownloadSnapshot();
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_EQ(record.Image(), image);
  EXPECT_EQ(record.requests[static_cast<int>(DownloadStep::kData)], 7u);
}

TEST_F(FirmwareJob, PortThatCannotBeOpenedGivesTheSystemsReason) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  GlobalPortMap().SetExplicit(kPort, dir.Path() + "no-such-tty");
  JobInputs in;
  in.firmwareOnly = true;
  in.portNumber = kPort;
  ASSERT_TRUE(StartJob(state, in));
  JoinJob(state);
  auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            "Failed to connect radio. Please check all connections and port settings!");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_FALSE(boxes[0].detail.empty());
  EXPECT_EQ(view.Rows(),
            (std::vector<Row>{{kMarkFailed,
                               "Failed to connect radio. Please check all connections and port "
                               "settings!"}}));
  ExpectFailedEnding();
}

TEST_F(FirmwareJob, UnansweredAutomaticDownloadRequest) {
  test::FastClockScope clock;
  clock.Attach(state.job.clock);
  LoadingInstallation(state).autoTest = 1;
  Fault(FaultKind::kSilence, DownloadStep::kAutoDownload);
  RunJob();
  ExpectOneBox("Enter download failed!", MessageIcon::Exclamation);
  ExpectOnlyConnectingRow();
  EXPECT_EQ(sim->DownloadSnapshot().requests[static_cast<int>(DownloadStep::kAutoDownload)], 4u);
  ExpectFailedEnding();
}

TEST_F(FirmwareJob, RadioNotInDownloadMode) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  Fault(FaultKind::kNotInDownload, DownloadStep::kIdentify);
  RunJob();
  ExpectOneBox(kNotInDownloadMode, MessageIcon::Exclamation);
  ExpectOnlyConnectingRow();
  ExpectFailedEnding();
}

TEST_F(FirmwareJob, ModelNotServed) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  LoadingInstallation(state).modelList = "KZ66/KX4X";
  RunJob();
  ExpectOneBox("Model settings does not match!", MessageIcon::Error);
  ExpectOnlyConnectingRow();
  ExpectFailedEnding();
}

TEST_F(FirmwareJob, NewFamilyVariantWithoutAnImage) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  config.download.variant = "X";
  RunJob();
  ExpectOneBox("Update the radio software failed!", MessageIcon::None);
  ExpectOnlyConnectingRow();
  ExpectFailedEnding();
}

TEST_F(FirmwareJob, UnsupportedKwV1Radio) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  config.download.info = "V1.00";
  config.download.model = "KW860ABC";
  LoadingInstallation(state).modelList = "KV86/KV89/KV81/KW86/KW89/KW81";
  RunJob();
  ExpectOneBox("This Flashwright does not support KW860/KW890/KW810 V1 radio.", MessageIcon::Error);
  ExpectOnlyConnectingRow();
  ExpectNoDownloadRequest();
  ExpectFailedEnding();
}

TEST_F(FirmwareJob, MissingImageNamesTheFileAndSendsNothing) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  LoadingInstallation(state).mainImageName = "Absent.bin";
  RunJob();
  auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(dir.Path() + "Absent.bin"), std::string::npos) << boxes[0].text;
  EXPECT_EQ(boxes[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(state.imageSize.load(), -1);
  ExpectOnlyConnectingRow();
  ExpectNoDownloadRequest();
  ExpectFailedEnding();
}

// A settings key that names no file is the key's fault, not a missing file named by the
// program folder alone.
TEST_F(FirmwareJob, EmptyImageKeyIsNamedAndNothingIsSent) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  LoadingInstallation(state).mainImageName.clear();
  LoadingInstallation(state).settingsPath = dir.Path() + "Flashwright.ini";
  RunJob();
  ExpectOneBox(
      "No firmware image is named for this radio: the settings key \"MainBin\" is "
      "empty in " +
          dir.Path() + "Flashwright.ini",
      MessageIcon::Exclamation);
  ExpectOnlyConnectingRow();
  ExpectNoDownloadRequest();
  ExpectFailedEnding();
}

TEST_F(FirmwareJob, EmptyImageAndOverlongNameAreRefused) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  dir.Write("Main.bin", std::vector<uint8_t>());
  RunJob();
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_NE(view.Boxes()[0].text.find("empty"), std::string::npos);
  ExpectNoDownloadRequest();
  ExpectFailedEnding();

  test::RecordingView second;
  state.SetView(&second);
  std::string longName(124, 'L');
  longName += ".bin";
  dir.Write(longName, Pattern(3000));
  LoadingInstallation(state).mainImageName = longName;
  JobInputs in;
  in.firmwareOnly = true;
  in.portNumber = kPort;
  ASSERT_TRUE(StartJob(state, in));
  while (JobRunning(state)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  JoinJob(state);
  ASSERT_EQ(second.Boxes().size(), 1u);
  EXPECT_NE(second.Boxes()[0].text.find(longName), std::string::npos);
  EXPECT_EQ(state.resultOk.load(), 0);
  ExpectNoDownloadRequest();
}

// ---- a radio that does not identify itself ----------------------------------------------

constexpr const char* kAskUnidentified =
    "The radio did not identify itself. Send the firmware image \"Small.bin\" anyway?";
constexpr const char* kRefusedUnidentified =
    "The radio did not identify itself; no firmware was sent.";

class UnidentifiedRadio : public FirmwareJob {
 protected:
  void SetUp() override {
    FirmwareJob::SetUp();
    // What a radio that said nothing gets: the small processor's image.
    smallImage = Pattern(3000);
    smallImage[0] ^= 0xFF;
    dir.Write("Small.bin", smallImage);
    LoadingInstallation(state).smallImageName = "Small.bin";
  }
  uint32_t IdentifyRequests() {
    return sim->DownloadSnapshot().requests[static_cast<int>(DownloadStep::kIdentify)];
  }
  std::vector<uint8_t> smallImage;
};

TEST_F(UnidentifiedRadio, ShortRepliesAreAskedFourTimesThenTheTechnicianDecides) {
  test::FastClockScope clock;
  clock.Attach(state.job.clock);
  Fault(FaultKind::kShortReply, DownloadStep::kIdentify);
  view.SetBoxAnswer(MessageResult::Cancel);
  RunJob();
  auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kAskUnidentified);
  EXPECT_EQ(boxes[0].icon, MessageIcon::Question);
  EXPECT_EQ(boxes[0].buttons, MessageButtons::OkCancel);
  EXPECT_EQ(IdentifyRequests(), 4u);
  ExpectNoDownloadRequest();
  ExpectOnlyConnectingRow();
  ExpectFailedEnding();
}

TEST_F(UnidentifiedRadio, TheTechniciansConsentSendsTheImageNamedInTheQuestion) {
  test::FastClockScope clock;
  clock.Attach(state.job.clock);
  Fault(FaultKind::kSilence, DownloadStep::kIdentify);
  RunJob();  // the view answers OK
  auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, kAskUnidentified);
  EXPECT_EQ(boxes[1].text, "Update the radio software completed!");
  EXPECT_EQ(state.resultOk.load(), 1);
  auto record = sim->DownloadSnapshot();
  EXPECT_EQ(record.fileName, "Small.bin");
  EXPECT_EQ(record.Image(), smallImage);
  EXPECT_EQ(state.radioInfo, "FFFFF");
  EXPECT_EQ(state.radioDataSize.load(), 65431u);
}

// Line noise in the fields of a reply that arrived in full: asked again, and the second,
// clean reply identifies the large-processor radio, which gets its own image.
TEST_F(UnidentifiedRadio, AGarbledReplyIsAFailedAttempt) {
  test::FastClockScope clock;
  clock.Attach(state.job.clock);
  Fault(FaultKind::kGarbled, DownloadStep::kIdentify, 1);
  RunJob();  // (the radio's request counts start again at the download request)
  ExpectOneBox("Update the radio software completed!", MessageIcon::None);
  EXPECT_EQ(state.resultOk.load(), 1);
  EXPECT_EQ(state.radioInfo, "MCU-0401");
  EXPECT_EQ(sim->DownloadSnapshot().fileName, "Main.bin");
  EXPECT_EQ(sim->DownloadSnapshot().Image(), image);
  EXPECT_EQ(state.radioDataSize.load(), 129976u);
}

// Nobody to ask (the headless front end) and run mode 5: the job ends, naming the image it
// would have sent and how to allow it.
TEST_F(UnidentifiedRadio, WithoutATechnicianTheJobEnds) {
  for (int mode : {0, 5}) {
    SCOPED_TRACE(mode);
    test::FastClockScope clock;
    clock.Attach(state.job.clock);
    test::RecordingView local;
    state.SetView(&local);
    state.askTechnician = mode == 5;  // run mode 5 refuses even with a technician there
    LoadingInstallation(state).readWriteLog = mode == 5 ? 5 : 3;
    Fault(FaultKind::kGarbled, DownloadStep::kIdentify);  // taken when the radio starts
    RunJob();
    auto boxes = local.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kRefusedUnidentified);
    EXPECT_EQ(boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_NE(boxes[0].detail.find("\"Small.bin\""), std::string::npos) << boxes[0].detail;
    EXPECT_NE(boxes[0].detail.find("--allow-unidentified"), std::string::npos);
    EXPECT_NE(boxes[0].detail.find("AllowUnidentified=1"), std::string::npos);
    ExpectNoDownloadRequest();
    EXPECT_EQ(state.resultOk.load(), 0);
    EXPECT_FALSE(state.downloadPort.IsOpen());
  }
}

// An image that cannot be sent is reported as such; nobody is asked about it.
TEST_F(UnidentifiedRadio, NoQuestionAboutAMissingImage) {
  test::FastClockScope clock;
  clock.Attach(state.job.clock);
  Fault(FaultKind::kGarbled, DownloadStep::kIdentify);
  LoadingInstallation(state).smallImageName = "Absent.bin";
  RunJob();
  auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(dir.Path() + "Absent.bin"), std::string::npos) << boxes[0].text;
  ExpectNoDownloadRequest();
  ExpectFailedEnding();
}

TEST_F(UnidentifiedRadio, TheExplicitOptionSendsWithoutAsking) {
  test::FastClockScope clock;
  clock.Attach(state.job.clock);
  Fault(FaultKind::kGarbled, DownloadStep::kIdentify);
  state.askTechnician = false;
  state.allowUnidentified = true;
  RunJob();
  ExpectOneBox("Update the radio software completed!", MessageIcon::None);
  EXPECT_EQ(sim->DownloadSnapshot().Image(), smallImage);
}

TEST_F(FirmwareJob, NoWaitingAnswer) {
  test::FastClockScope clock;
  clock.Attach(state.job.clock);
  Fault(FaultKind::kSilence, DownloadStep::kDownloadRequest);
  RunJob();
  ExpectOneBox(kNotInDownloadMode, MessageIcon::Exclamation);
  // The hint row, added under way, is finished with the job: no row is left marked
  // "------>" once nothing is going on.
  EXPECT_EQ(view.Rows(), (std::vector<Row>{{kMarkFailed, "Failed to connect radio!"},
                                           {kMarkFailed, kNotInDownloadMode}}));
  EXPECT_EQ(state.rowCount, 1);  // the job writes no failure row of its own
  // Nothing at all on the first read fails at once: one request only.
  EXPECT_EQ(sim->DownloadSnapshot().requests[static_cast<int>(DownloadStep::kDownloadRequest)], 1u);
  ExpectFailedEnding();
}

TEST_F(FirmwareJob, WrongWaitingAnswer) {
  test::FakeClockScope clock;
  clock.Attach(state.job.clock);
  Fault(FaultKind::kWrongByte, DownloadStep::kDownloadRequest);
  RunJob();
  ExpectOneBox(kNotInDownloadMode, MessageIcon::Exclamation);
  EXPECT_EQ(state.rowCount, 1);
  ExpectFailedEnding();
}

// A block, end of transmission or closing block that is not accepted.
struct BlockFailure {
  const char* name;
  FaultKind kind;
  DownloadStep step;
  uint32_t block;
};

void PrintTo(const BlockFailure& f, std::ostream* os) {
  *os << f.name;
}

class FirmwareJobBlockFailure : public FirmwareJob,
                                public ::testing::WithParamInterface<BlockFailure> {};

TEST_P(FirmwareJobBlockFailure, EndsWithCommunicationError) {
  test::FastClockScope clock;
  clock.Attach(state.job.clock);
  Fault(GetParam().kind, GetParam().step, 0, GetParam().block);
  RunJob();
  ExpectOneBox("Communication error, Please retry!", MessageIcon::None);
  auto rows = view.Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (Row{kMarkDone, "Connect the radio successfully!"}));
  EXPECT_EQ(rows[1], (Row{kMarkFailed, "Update the radio software failed!"}));
  EXPECT_FALSE(sim->DownloadSnapshot().completed);
  ExpectFailedEnding();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FirmwareJobBlockFailure,
    ::testing::Values(BlockFailure{"HeaderShort", FaultKind::kShortReply, DownloadStep::kHeader, 1},
                      BlockFailure{"HeaderSilent", FaultKind::kSilence, DownloadStep::kHeader, 1},
                      BlockFailure{"DataNak", FaultKind::kWrongByte, DownloadStep::kData, 2},
                      BlockFailure{"DataSilent", FaultKind::kSilence, DownloadStep::kData, 5},
                      BlockFailure{"DataHangUp", FaultKind::kHangUp, DownloadStep::kData, 3},
                      BlockFailure{"EndNak", FaultKind::kWrongByte, DownloadStep::kEnd, 1},
                      BlockFailure{"ClosingShort", FaultKind::kShortReply, DownloadStep::kClosing,
                                   1}),
    [](const ::testing::TestParamInfo<BlockFailure>& info) { return info.param.name; });

}  // namespace
}  // namespace fw
