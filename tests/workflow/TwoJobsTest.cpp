// Two jobs in one process, each on its own simulated radio reached through an in-process
// byte channel: they run at the same time without sharing a clock, a stop signal, a port,
// a frame counter, rows or byte counters. Also the channel itself: how the radio's line
// errors, hang-ups and delays reach the port.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RadioSim.h"
#include "SimChannel.h"
#include "core/MessageTexts.h"
#include "core/Status.h"
#include "serial/PortMap.h"
#include "support/FakeClockScope.h"
#include "support/FastClock.h"
#include "support/FullUpgradeSetup.h"
#include "support/RecordingView.h"
#include "workflow/Job.h"

namespace fw {
namespace {

using sim::FramedLinkResponder;
using test::Row;

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// One job on its own radio: installation, record, view, clock and an in-process radio
// mapped to COM `port` under the name `device` (on Windows, where every COM number is its
// own device, under that device's name).
struct JobOnRadio {
  JobOnRadio(int port, const std::string& device, size_t imageSize, unsigned imageSeed)
#ifdef _WIN32
      : portNumber(port), devicePath(GlobalPortMap().DevicePath(port)) {
    (void)device;
#else
      : portNumber(port), devicePath(device) {
#endif
    state.SetView(&view);
    setup.Build(state);
    // An image of this job's own, so that a mix-up shows.
    setup.image = test::FullUpgradeSetup::Pattern(imageSize, imageSeed);
    setup.dir.Write("Main.bin", setup.image);
    clock.Attach(state.job.clock);
  }
  void MakeRadio(const sim::RadioSimConfig& config) {
    radio = std::make_unique<sim::RadioSim>(config);
    setup.SeedRadio(*radio);
    state.downloadPort.UseChannel(radio->NewChannel(devicePath));
    state.radioLink.Port().UseChannel(radio->NewChannel(devicePath));
    GlobalPortMap().SetExplicit(portNumber, devicePath);
  }
  void Start(bool updateChip) {
    JobInputs in;
    in.updateChip = updateChip;
    in.portNumber = portNumber;
    in.hexFilePath = state.hexFilePath;
    ASSERT_TRUE(StartJob(state, in));
  }

  int portNumber;
  std::string devicePath;
  test::FakeClockScope clock;
  test::FullUpgradeSetup setup;
  test::RecordingView view;
  std::unique_ptr<sim::RadioSim> radio;
  UpgradeState state;  // last: destroyed (and its worker joined) first
};

void WaitForBoth(UpgradeState& a, UpgradeState& b) {
  for (int i = 0; i < 120000 && (JobRunning(a) || JobRunning(b)); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_FALSE(JobRunning(a)) << "the first job did not end";
  ASSERT_FALSE(JobRunning(b)) << "the second job did not end";
  JoinJob(a);
  JoinJob(b);
}

const std::vector<Row> kFullUpgradeRows = {
    {kMarkDone, "Connect the radio successfully!"},
    {kMarkDone, "Update the radio software completed!"},
    {kMarkDone, "Read the radio completed!"},
    {kMarkDone, "The upgrade data file has been found!"},
    {kMarkDone, "Convert radio data completed!"},
    {kMarkDone, "Write the radio completed!"},
    {kMarkDone, "Update the firmware chip completed!"},
    {kMarkDone, "All upgrade completed successfully!"},
};

class TwoJobs : public ::testing::Test {
 protected:
  void TearDown() override { GlobalPortMap().ClearExplicit(); }

  JobOnRadio a{3, "sim-radio-a", 7000, 131};
  JobOnRadio b{4, "sim-radio-b", 9300, 77};
};

TEST_F(TwoJobs, RunAtOnceAndEachRadioGetsItsOwnImageByteExact) {
  a.MakeRadio(a.setup.config);
  b.MakeRadio(b.setup.config);
  a.Start(true);
  b.Start(true);
  WaitForBoth(a.state, b.state);

  for (JobOnRadio* j : {&a, &b}) {
    SCOPED_TRACE(j->devicePath);
    EXPECT_EQ(j->state.resultOk.load(), 1);
    EXPECT_EQ(j->state.job.devicePath, j->devicePath);
    EXPECT_EQ(j->view.Rows(), kFullUpgradeRows);
    // The radio holds the image file of its own job, byte for byte.
    const sim::DownloadRecord record = j->radio->DownloadSnapshot();
    EXPECT_TRUE(record.completed);
    EXPECT_EQ(record.fileName, "Main.bin");
    EXPECT_EQ(record.Image(), ReadWholeFile(j->setup.dir.Path() + "Main.bin"));
    // The job's byte counter counted this radio's blocks only: the last firmware progress is
    // the payload this radio took (padding included), 1024 bytes a block.
    const std::vector<int> firmware = j->view.ProgressOf(Phase::Firmware);
    ASSERT_FALSE(firmware.empty());
    EXPECT_EQ(static_cast<size_t>(firmware.back()), record.received.size());
    EXPECT_EQ(record.received.size() % 1024, 0u);
    // Data, font and chip as a single job leaves them.
    const std::vector<uint8_t> expected = j->setup.ExpectedData();
    const std::vector<uint8_t> data = j->radio->WithLink(
        [](FramedLinkResponder& r) { return r.MemoryImage(FramedLinkResponder::Memory::kData); });
    ASSERT_GE(data.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.begin()));
    j->radio->WithChip([&](sim::ChipLoaderResponder& chip) {
      EXPECT_TRUE(chip.Completed());
      EXPECT_EQ(chip.Flash(), j->setup.hex.Expected());
    });
    // Every data frame of each job starts its link's own count at 1, whatever the other
    // link sent (the connect frame carries no sequence, the version query is no frame).
    const std::vector<uint16_t> sequences = j->radio->WithLink([](FramedLinkResponder& r) {
      std::vector<uint16_t> s;
      for (const auto& q : r.Requests()) {
        if (q.command != FramedLinkResponder::Command::kConnect &&
            q.command != FramedLinkResponder::Command::kVersionQuery) {
          s.push_back(q.sequence);
        }
      }
      return s;
    });
    ASSERT_FALSE(sequences.empty());
    EXPECT_TRUE(std::all_of(sequences.begin(), sequences.end(), [](uint16_t s) { return s == 1; }));
  }
  EXPECT_EQ(a.setup.image.size() + 2300, b.setup.image.size());  // the two images differ
  // Each job's sleeps went to its own clock: the restart waits once on each.
  for (JobOnRadio* j : {&a, &b}) {
    const std::vector<uint32_t> sleeps = j->clock.clock().Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 25000u), 1) << j->devicePath;
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 20000u), 1) << j->devicePath;
  }
}

TEST_F(TwoJobs, StoppingOneLeavesTheOtherRunningToItsEnd) {
  // The first radio never answers the identify request: its job would retry for a long
  // time on real read deadlines.
  sim::RadioSimConfig silent = a.setup.config;
  silent.download.fault =
      sim::DownloadFault{sim::FaultKind::kSilence, sim::DownloadStep::kIdentify};
  a.MakeRadio(silent);
  b.MakeRadio(b.setup.config);
  a.Start(false);
  b.Start(false);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  StopJob(a.state);
  EXPECT_FALSE(b.state.job.clock.StopRequested());
  WaitForBoth(a.state, b.state);

  EXPECT_EQ(a.state.resultOk.load(), 0);
  ASSERT_FALSE(a.view.Rows().empty());
  EXPECT_EQ(a.view.Rows().back(), (Row{kMarkFailed, text::kStoppedByUser}));
  EXPECT_TRUE(a.view.Boxes().empty());  // a stopped job asks nothing
  EXPECT_EQ(
      a.radio->DownloadSnapshot().requests[static_cast<int>(sim::DownloadStep::kDownloadRequest)],
      0u);

  EXPECT_EQ(b.state.resultOk.load(), 1);
  std::vector<Row> rows(kFullUpgradeRows.begin(), kFullUpgradeRows.end() - 2);
  rows.push_back(kFullUpgradeRows.back());
  EXPECT_EQ(b.view.Rows(), rows);
  EXPECT_EQ(b.radio->DownloadSnapshot().Image(), b.setup.image);
}

// Four radios on one bench, three of them failing each its own way: a chip that never gets
// ready, a cable pulled in the middle of the image, a radio that never enters download mode.
// The fourth radio is upgraded byte for byte, and each failure stays on its own port. Run
// under ThreadSanitizer too: four workers at once on one process.
class FourJobs : public ::testing::Test {
 protected:
  void TearDown() override { GlobalPortMap().ClearExplicit(); }

  // The never-ready chip's job waits out every enter request's read deadline: its clock
  // runs those deadlines fast.
  test::FastClock fast{50};
  // A bench of many radios reaches past the window's sixteen ports.
  JobOnRadio whole{40, "sim-bench-1", 8100, 11};
  JobOnRadio chipNeverReady{2, "sim-bench-2", 8200, 22};
  JobOnRadio cablePulled{3, "sim-bench-3", 8300, 33};
  JobOnRadio notInDownload{4, "sim-bench-4", 8400, 44};
};

TEST_F(FourJobs, EachFailureStaysOnItsOwnPort) {
  whole.MakeRadio(whole.setup.config);
  chipNeverReady.MakeRadio(chipNeverReady.setup.config);
  chipNeverReady.radio->WithChip([](sim::ChipLoaderResponder& c) { c.SetNotReady(1000000); });
  chipNeverReady.state.job.clock.Use(fast);
  sim::RadioSimConfig pulled = cablePulled.setup.config;
  pulled.download.fault =
      sim::DownloadFault{sim::FaultKind::kHangUp, sim::DownloadStep::kData, 0, 4};
  cablePulled.MakeRadio(pulled);
  sim::RadioSimConfig refusing = notInDownload.setup.config;
  refusing.download.fault =
      sim::DownloadFault{sim::FaultKind::kNotInDownload, sim::DownloadStep::kIdentify, 0};
  notInDownload.MakeRadio(refusing);

  JobOnRadio* all[] = {&whole, &chipNeverReady, &cablePulled, &notInDownload};
  for (JobOnRadio* j : all) {
    j->Start(true);
  }
  WaitForBoth(whole.state, chipNeverReady.state);
  WaitForBoth(cablePulled.state, notInDownload.state);

  // The whole radio: firmware, data, font and chip exactly as a job alone leaves them.
  EXPECT_EQ(whole.state.resultOk.load(), 1);
  EXPECT_EQ(whole.view.Rows(), kFullUpgradeRows);
  EXPECT_EQ(whole.radio->DownloadSnapshot().Image(), whole.setup.image);
  const std::vector<uint8_t> expected = whole.setup.ExpectedData();
  const std::vector<uint8_t> data = whole.radio->WithLink(
      [](FramedLinkResponder& r) { return r.MemoryImage(FramedLinkResponder::Memory::kData); });
  ASSERT_GE(data.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.begin()));
  whole.radio->WithChip([&](sim::ChipLoaderResponder& chip) {
    EXPECT_TRUE(chip.Completed());
    EXPECT_EQ(chip.Flash(), whole.setup.hex.Expected());
  });

  // The chip that never gets ready: its radio's firmware and data are written, the chip
  // is left untouched, and the job says it failed.
  EXPECT_EQ(chipNeverReady.state.resultOk.load(), 0);
  EXPECT_EQ(chipNeverReady.radio->DownloadSnapshot().Image(), chipNeverReady.setup.image);
  chipNeverReady.radio->WithChip([](sim::ChipLoaderResponder& chip) {
    EXPECT_FALSE(chip.Completed());
    EXPECT_TRUE(chip.Flash().empty());
  });
  ASSERT_GE(chipNeverReady.view.Rows().size(), 6u);
  EXPECT_EQ(chipNeverReady.view.Rows()[5], kFullUpgradeRows[5]);  // "Write the radio completed!"
  EXPECT_EQ(chipNeverReady.view.Rows().back(),
            (Row{kMarkFailed, "Update the firmware chip failed!"}));

  // The pulled cable: three blocks arrived, the radio holds no complete image, the job
  // failed on its firmware row and went no further.
  EXPECT_EQ(cablePulled.state.resultOk.load(), 0);
  EXPECT_FALSE(cablePulled.radio->DownloadSnapshot().completed);
  EXPECT_EQ(cablePulled.radio->DownloadSnapshot().blocksAccepted, 3u);
  EXPECT_EQ(cablePulled.radio->WithLink([](FramedLinkResponder& r) { return r.Requests().size(); }),
            0u);
  EXPECT_EQ(cablePulled.view.Rows(),
            (std::vector<Row>{kFullUpgradeRows[0], {kMarkFailed, text::kSoftwareFailed}}));

  // The radio that never enters download mode is never sent an image.
  EXPECT_EQ(notInDownload.state.resultOk.load(), 0);
  EXPECT_EQ(notInDownload.radio->DownloadSnapshot()
                .requests[static_cast<int>(sim::DownloadStep::kDownloadRequest)],
            0u);
  EXPECT_EQ(notInDownload.view.Rows(), (std::vector<Row>{{kMarkFailed, text::kSoftwareFailed}}));

  // No job's boxes or rows leaked into another's view, and no stop reached the others.
  for (JobOnRadio* j : all) {
    EXPECT_FALSE(j->state.job.clock.StopRequested()) << j->devicePath;
    EXPECT_EQ(j->state.job.devicePath, j->devicePath);
  }
  // Each job's boxes are its own: the success, the communication error of the pulled cable,
  // the download-mode hint; the chip's failure is a row, not a box.
  auto boxTexts = [](const JobOnRadio& j) {
    std::vector<std::string> texts;
    for (const test::RecordedBox& b : j.view.Boxes()) {
      texts.push_back(b.text);
    }
    return texts;
  };
  EXPECT_EQ(boxTexts(whole), std::vector<std::string>{"All upgrade completed successfully!"});
  EXPECT_TRUE(boxTexts(chipNeverReady).empty());
  EXPECT_EQ(boxTexts(cablePulled), std::vector<std::string>{"Communication error, Please retry!"});
  EXPECT_EQ(boxTexts(notInDownload),
            std::vector<std::string>{"Please make the radio enter downloading mode, check all "
                                     "connections and port settings!"});
}

// --- The in-process channel ---

// A radio whose every request is one byte, answered with the actions queued for it.
class ScriptedResponder : public sim::Responder {
 public:
  bool Accepts(uint8_t) const override { return true; }
  size_t Consume(const uint8_t*, size_t n, std::vector<sim::Action>& out) override {
    if (n == 0) {
      return 0;
    }
    if (!answers.empty()) {
      out.push_back(answers.front());
      answers.erase(answers.begin());
    }
    return 1;
  }
  std::vector<sim::Action> answers;
};

class SimChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.Attach(job);
    channel.SetJobClock(job);
    ASSERT_EQ(channel.Open("sim-line"), 1);
    ASSERT_EQ(channel.Configure(115200, 8, kParityNone, kOneStopBit), 1);
    channel.SetReadTimeout(300);
  }
  void Answer(std::vector<uint8_t> bytes, bool lineError = false, bool hangUp = false,
              uint32_t delayMs = 0) {
    sim::Action a;
    a.bytes = std::move(bytes);
    a.lineError = lineError;
    a.hangUp = hangUp;
    a.delayMs = delayMs;
    radio.answers.push_back(a);
  }
  uint32_t Ask(uint8_t* reply, uint32_t n) {
    const uint8_t request = 0x52;
    channel.Purge();
    EXPECT_EQ(channel.Write(&request, 1), 1u);
    return channel.Read(reply, n);
  }

  JobClock job;
  test::FakeClockScope clock;
  ScriptedResponder radio;
  std::mutex lock;
  sim::SimChannel channel{"sim-line", {&radio}, lock};
};

TEST_F(SimChannelTest, OpensOnlyItsOwnDevice) {
  sim::SimChannel other("sim-line", {&radio}, lock);
  EXPECT_EQ(other.Open("sim-other"), 0);
  EXPECT_FALSE(other.LastError().empty());
  EXPECT_FALSE(other.IsOpen());
  uint8_t b = 0;
  EXPECT_EQ(other.Write(&b, 1), 0u);
  EXPECT_EQ(other.Read(&b, 1), 0u);
}

TEST_F(SimChannelTest, LineErrorFailsTheReadAtOnceUntilThePurge) {
  Answer({1, 2, 3}, /*lineError=*/true);
  Answer({4, 5, 6});
  uint8_t reply[3] = {};
  EXPECT_EQ(Ask(reply, 3), 0u);  // the garbled reply is refused, as the serial port does
  EXPECT_EQ(Ask(reply, 3), 3u);  // the purge before the next request cleared the error
  EXPECT_EQ(std::vector<uint8_t>(reply, reply + 3), (std::vector<uint8_t>{4, 5, 6}));
}

TEST_F(SimChannelTest, HangUpGivesWhatArrivedAtOnceThenTheDeviceIsGone) {
  channel.SetReadTimeout(0);  // without a deadline only the hang-up can end the read
  Answer({9, 8}, false, /*hangUp=*/true);
  uint8_t reply[4] = {};
  EXPECT_EQ(Ask(reply, 4), 2u);
  EXPECT_EQ(reply[0], 9);
  EXPECT_EQ(reply[1], 8);
  EXPECT_TRUE(channel.HungUp());
  const uint8_t more = 0x31;
  EXPECT_EQ(channel.Write(&more, 1), 0u);
  EXPECT_EQ(channel.Close(), 1);
  EXPECT_EQ(channel.Open("sim-line"), 0);
  EXPECT_FALSE(channel.LastError().empty());
}

TEST_F(SimChannelTest, DelayPassesOnTheJobsClock) {
  Answer({7}, false, false, /*delayMs=*/5000);
  uint8_t reply = 0;
  EXPECT_EQ(Ask(&reply, 1), 0u);  // 300 ms of deadline: the answer is 5 s away
  job.Sleep(5000);                // a fake sleep moves the job's clock, and the line with it
  EXPECT_EQ(channel.Read(&reply, 1), 1u);
  EXPECT_EQ(reply, 7);
}

TEST_F(SimChannelTest, StopOfItsJobEndsAReadWithoutDeadline) {
  channel.SetReadTimeout(0);
  Answer({});  // a radio that stays silent
  std::thread stopper([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    job.RequestStop();
  });
  uint8_t reply = 0;
  EXPECT_EQ(Ask(&reply, 1), 0u);
  stopper.join();
  EXPECT_TRUE(job.StopRequested());
}

}  // namespace
}  // namespace fw
