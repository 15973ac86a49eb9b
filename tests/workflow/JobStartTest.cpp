// Starting a job: the order of its preparations, the controls it disables, the routing
// between the sequences, the auto-start timer and stopping a running job.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "RadioSim.h"
#include "core/Ids.h"
#include "core/Status.h"
#include "serial/PortMap.h"
#include "serial/SelectedPort.h"
#include "support/FakeClockScope.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "workflow/Job.h"

namespace fw {
namespace {

void WaitForEnd(UpgradeState& state) {
  while (JobRunning(state)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  JoinJob(state);
}

size_t IndexOf(const std::vector<std::string>& log, const std::string& line) {
  return static_cast<size_t>(std::find(log.begin(), log.end(), line) - log.begin());
}

TEST(StartJob, CopiesTheDialogValuesAndPreparesTheWindowInOrder) {
  test::FakeClockScope clock;
  test::RecordingView view;
  UpgradeState state;
  state.SetView(&view);
  state.readWriteLog = 5;
  state.rowCount = 4;
  state.bytesDone = 999;
  JobInputs in;
  in.chipOnly = true;
  in.updateChip = true;
  in.hexFilePath = "chip.hex";
  in.wavFilePath = "voice.wav";
  in.portNumber = 9;
  ASSERT_TRUE(StartJob(state, in));
  WaitForEnd(state);

  EXPECT_EQ(state.chipOnly.load(), 1);
  EXPECT_EQ(state.firmwareOnly.load(), 0);
  EXPECT_EQ(state.updateChip.load(), 1);
  EXPECT_EQ(state.hexFilePath, "chip.hex");
  EXPECT_EQ(state.wavFilePath, "voice.wav");
  EXPECT_EQ(SelectedPortNumber(), 9);
  EXPECT_EQ(state.bytesDone.load(), 0);
  EXPECT_EQ(clock.clock().Sleeps().front(), 300u);

  auto log = view.Log();
  size_t kill = IndexOf(log, "KillTimer 40");
  size_t clear = IndexOf(log, "DeleteAllRows");
  size_t disable = IndexOf(log, "EnableControl 1000 off");
  ASSERT_LT(kill, log.size());
  ASSERT_LT(clear, log.size());
  ASSERT_LT(disable, log.size());
  EXPECT_LT(kill, clear);
  EXPECT_LT(clear, disable);
  for (int id : {1001, 1016, 1007, 1018}) {
    EXPECT_LT(IndexOf(log, "EnableControl " + std::to_string(id) + " off"), log.size()) << id;
  }
}

TEST(StartJob, ChipOnlyWinsOverFirmwareOnlyAndPendingSequencesFailCleanly) {
  test::FakeClockScope clock;
  test::RecordingView view;
  UpgradeState state;
  state.SetView(&view);
  JobInputs in;
  in.chipOnly = true;
  in.firmwareOnly = true;
  ASSERT_TRUE(StartJob(state, in));
  WaitForEnd(state);
  auto rows = view.Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].mark, kMarkFailed);
  EXPECT_NE(rows[0].text.find("chip"), std::string::npos);
  EXPECT_EQ(state.resultOk.load(), 0);
  for (int id : {kPortCombo, kVocoderCombo, kUpgradeButton, kHexFileButton, kUpdateChipCheck}) {
    EXPECT_EQ(view.Enabled(id), 1) << id;
  }

  test::RecordingView full;
  state.SetView(&full);
  ASSERT_TRUE(StartJob(state, JobInputs{}));  // neither box: the full sequence
  WaitForEnd(state);
  ASSERT_EQ(full.Rows().size(), 1u);
  EXPECT_NE(full.Rows()[0].text.find("full upgrade"), std::string::npos);
  EXPECT_EQ(full.Enabled(kUpgradeButton), 1);
}

TEST(StartJob, AutoStartTimerOnlyInRunModeFive) {
  test::FakeClockScope clock;
  test::RecordingView view;
  UpgradeState state;
  state.SetView(&view);
  ArmAutoStartTimer(state);
  EXPECT_TRUE(view.Timers().empty());
  state.readWriteLog = 5;
  ArmAutoStartTimer(state);
  EXPECT_EQ(view.Timers(), (std::map<int, uint32_t>{{40, 10000}}));

  EXPECT_FALSE(OnTimer(state, 41, JobInputs{}));
  EXPECT_FALSE(JobRunning(state));
  EXPECT_TRUE(OnTimer(state, 40, JobInputs{}));
  WaitForEnd(state);
  EXPECT_TRUE(view.Timers().empty());  // the job killed it before its worker started
}

TEST(StartJob, RefusedWhileAJobRunsAndStopEndsItWithoutABox) {
  test::TempDir dir;
  dir.Write("Main.bin", std::vector<uint8_t>(4096, 0x55));
  sim::RadioSimConfig config;
  config.download.fault =
      sim::DownloadFault{sim::FaultKind::kSilence, sim::DownloadStep::kIdentify};
  sim::RadioSim radio(config);
  ASSERT_TRUE(radio.Start());
  GlobalPortMap().SetExplicit(11, radio.DevicePath());

  test::RecordingView view;
  UpgradeState state;
  state.SetView(&view);
  state.imageDir = dir.Path();
  state.mainImageName = "Main.bin";
  JobInputs in;
  in.firmwareOnly = true;
  in.portNumber = 11;
  ASSERT_TRUE(StartJob(state, in));  // real clock: the silent radio keeps it busy for seconds
  EXPECT_FALSE(StartJob(state, in));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  StopJob();
  WaitForEnd(state);
  EXPECT_TRUE(view.Boxes().empty());
  EXPECT_EQ(state.resultOk.load(), 0);
  EXPECT_FALSE(state.downloadPort.IsOpen());
  EXPECT_EQ(view.Enabled(kUpgradeButton), 1);
  EXPECT_EQ(
      radio.DownloadSnapshot().requests[static_cast<int>(sim::DownloadStep::kDownloadRequest)], 0u);
  ClearStop();
  GlobalPortMap().ClearExplicit();
}

}  // namespace
}  // namespace fw
