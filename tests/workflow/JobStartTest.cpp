// Starting a job: the order of its preparations, the controls it disables, the routing
// between the sequences, the auto-start timer and stopping a running job.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "RadioSim.h"
#include "config/Installation.h"
#include "config/Settings.h"
#include "core/Status.h"
#include "serial/PortMap.h"
#include "support/FakeClockScope.h"
#include "support/RadioOnPort.h"
#include "support/RecordingView.h"
#include "support/TempDir.h"
#include "workflow/Job.h"
#include "workflow/Sequences.h"

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
  clock.Attach(state.job.clock);
  state.SetView(&view);
  LoadingInstallation(state).readWriteLog = 5;
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
  EXPECT_EQ(state.job.portNumber, 9);
  EXPECT_EQ(state.bytesDone.load(), 0);
  EXPECT_EQ(clock.clock().Sleeps().front(), 300u);

  auto log = view.Log();
  size_t kill = IndexOf(log, "KillTimer AutoStart");
  size_t clear = IndexOf(log, "DeleteAllRows");
  size_t disable = IndexOf(log, "EnableControl Upgrade off");
  ASSERT_LT(kill, log.size());
  ASSERT_LT(clear, log.size());
  ASSERT_LT(disable, log.size());
  EXPECT_LT(kill, clear);
  EXPECT_LT(clear, disable);
  for (const char* name : {"Port", "Vocoder", "HexFile", "UpdateChip"}) {
    EXPECT_LT(IndexOf(log, std::string("EnableControl ") + name + " off"), log.size()) << name;
  }
}

TEST(StartJob, ChipOnlyWinsOverFirmwareOnlyAndNeitherRunsTheFullSequence) {
  test::FakeClockScope clock;
  test::RecordingView view;
  UpgradeState state;
  clock.Attach(state.job.clock);
  state.SetView(&view);
  // Steps that only say which sequence called them.
  std::vector<std::string> called;
  SequenceSteps steps;
  steps.transferMainFirmware = [&](UpgradeState&) {
    called.push_back("transfer");
    return TransferResult::Failed;
  };
  steps.updateFirmwareChip = [&](UpgradeState& st) {
    called.push_back("chip");
    st.resultOk = 1;
    return ChipResult::Updated;
  };
  SetSequenceSteps(state, &steps);

  JobInputs in;
  in.chipOnly = true;
  in.firmwareOnly = true;
  ASSERT_TRUE(StartJob(state, in));
  WaitForEnd(state);
  EXPECT_EQ(called, std::vector<std::string>{"chip"});
  ASSERT_EQ(view.Rows().size(), 1u);
  EXPECT_EQ(view.Rows()[0].text, "Updating the firmware chip, please wait...");

  called.clear();
  test::RecordingView full;
  state.SetView(&full);
  ASSERT_TRUE(StartJob(state, JobInputs{}));  // neither box: the full sequence
  WaitForEnd(state);
  SetSequenceSteps(state, nullptr);
  EXPECT_EQ(called, std::vector<std::string>{"transfer"});
  ASSERT_EQ(full.Rows().size(), 1u);
  EXPECT_EQ(full.Rows()[0], (test::Row{kMarkFailed, "Update the radio software failed!"}));
  EXPECT_EQ(full.Enabled(Control::Upgrade), 1);
}

TEST(StartJob, AutoStartTimerOnlyInRunModeFive) {
  test::FakeClockScope clock;
  test::RecordingView view;
  UpgradeState state;
  clock.Attach(state.job.clock);
  state.SetView(&view);
  ArmAutoStartTimer(state);
  EXPECT_TRUE(view.Timers().empty());
  LoadingInstallation(state).readWriteLog = 5;
  ArmAutoStartTimer(state);
  EXPECT_EQ(view.Timers(), (std::map<Timer, uint32_t>{{Timer::AutoStart, 10000}}));

  EXPECT_FALSE(JobRunning(state));
  EXPECT_TRUE(OnTimer(state, Timer::AutoStart, JobInputs{}));
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
  test::RecordingView view;
  UpgradeState state;
  state.SetView(&view);
  ASSERT_TRUE(test::PutRadioOnPort(radio, state, 11));
  LoadingInstallation(state).imageDir = dir.Path();
  LoadingInstallation(state).mainImageName = "Main.bin";
  JobInputs in;
  in.firmwareOnly = true;
  in.portNumber = 11;
  ASSERT_TRUE(StartJob(state, in));  // real clock: the silent radio keeps it busy for seconds
  EXPECT_FALSE(StartJob(state, in));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  StopJob(state);
  WaitForEnd(state);
  EXPECT_TRUE(view.Boxes().empty());
  EXPECT_EQ(state.resultOk.load(), 0);
  EXPECT_FALSE(state.downloadPort.IsOpen());
  EXPECT_EQ(view.Enabled(Control::Upgrade), 1);
  EXPECT_EQ(
      radio.DownloadSnapshot().requests[static_cast<int>(sim::DownloadStep::kDownloadRequest)], 0u);
  GlobalPortMap().ClearExplicit();
}

TEST(StartJob, AnUnreadableSettingsFileStartsNoJobAndTouchesNoPort) {
  test::TempDir dir;
  dir.Write("Flashwright.ini", std::vector<uint8_t>{0x00, 0xFF, 0x10, 0x20, '[', 'x'});
  sim::RadioSim radio(sim::RadioSimConfig{});
  test::RecordingView view;
  UpgradeState state;
  state.SetView(&view);
  // Without its settings the port would be COM1, the first device there is.
  ASSERT_TRUE(test::PutRadioOnPort(radio, state, 1));
  const std::string problem = LoadSettingsForProgramDir(state, dir.Path());
  ASSERT_NE(problem, "");
  JobInputs in;
  in.portNumber = 1;
  EXPECT_FALSE(StartJob(state, in));
  EXPECT_FALSE(JobRunning(state));
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, kSettingsUnreadableText);
  EXPECT_EQ(view.Boxes()[0].detail, problem);
  EXPECT_EQ(IndexOf(view.Log(), "DeleteAllRows"), view.Log().size());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const sim::DownloadRecord record = radio.DownloadSnapshot();
  for (uint32_t n : record.requests) {
    EXPECT_EQ(n, 0u);
  }
  EXPECT_FALSE(state.downloadPort.IsOpen());
  GlobalPortMap().ClearExplicit();
}

}  // namespace
}  // namespace fw
