// Full upgrades end to end over a pseudo-terminal against the composite simulated radio:
// firmware, restart, read, template, conversion (the substitute converter), write with the
// font library, and the firmware chip; then each failure ending with its row and the
// controls it leaves.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "ExchangeFaults.h"
#include "RadioSim.h"
#include "config/Installation.h"
#include "core/Status.h"
#include "platform/SharedLibrary.h"
#include "radiodata/DataLog.h"
#include "radiodata/RadioInfo.h"
#include "radiodata/TemplateWriter.h"
#include "serial/PortMap.h"
#include "support/FakeClockScope.h"
#include "support/FullUpgradeSetup.h"
#include "support/RadioOnPort.h"
#include "support/RecordingView.h"
#include "workflow/Job.h"

namespace fw {
namespace test {
static void PrintTo(const Row& row, std::ostream* os) {
  *os << "{" << row.mark << "|" << row.text << "}";
}
}  // namespace test
namespace {

using sim::FramedLinkResponder;
using test::Row;
using LinkCmd = FramedLinkResponder::Command;
using LinkFault = FramedLinkResponder::Fault;
using Memory = FramedLinkResponder::Memory;

constexpr int kPort = 9;
constexpr uint32_t kDataSize = test::FullUpgradeSetup::kDataSize;
constexpr const char* kUsual =
    "Make the radio into download mode, click \"Upgrade\" button to start ...";

class FullJob : public ::testing::Test {
 protected:
  void SetUp() override {
    state.SetView(&view);
    setup.Build(state);
  }
  void TearDown() override { GlobalPortMap().ClearExplicit(); }

  void StartSim() {
    sim = std::make_unique<sim::RadioSim>(config);
    setup.SeedRadio(*sim);
    ASSERT_TRUE(test::PutRadioOnPort(*sim, state, kPort));
  }

  void RunJob(bool updateChip) {
    if (!sim) {
      StartSim();
    }
    JobInputs in;
    in.updateChip = updateChip;
    in.portNumber = kPort;
    in.hexFilePath = state.hexFilePath;
    ASSERT_TRUE(StartJob(state, in));
    for (int i = 0; i < 120000 && JobRunning(state); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(JobRunning(state)) << "the job did not end";
    JoinJob(state);
  }

  std::vector<std::string> LogFiles() {
    std::vector<std::string> names;
    const std::string folder = dir.Path() + "ReadWriteLog";
    if (!std::filesystem::is_directory(folder)) {
      return names;
    }
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
  }
  std::string LogEndingWith(const std::string& suffix) {
    for (const std::string& n : LogFiles()) {
      if (n.size() >= suffix.size() &&
          n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return dir.Path() + "ReadWriteLog/" + n;
      }
    }
    return std::string();
  }

  void ExpectControls(bool vocoderToo) {
    for (Control id : {Control::Port, Control::Upgrade, Control::HexFile, Control::UpdateChip}) {
      EXPECT_EQ(view.Enabled(id), 1) << test::Name(id);
    }
    EXPECT_EQ(view.Enabled(Control::Vocoder), vocoderToo ? 1 : 0);
    EXPECT_EQ(view.StatusText(), kUsual);
  }
  std::vector<Row> FirstRows(size_t n) {
    std::vector<Row> rows = view.Rows();
    rows.resize(std::min(rows.size(), n));
    return rows;
  }

  test::FakeClockScope clock;
  test::RecordingView view;
  test::FullUpgradeSetup setup;
  test::TempDir& dir = setup.dir;
  test::HexFileWriter& hex = setup.hex;
  sim::RadioSimConfig& config = setup.config;
  std::unique_ptr<sim::RadioSim> sim;
  const std::vector<uint8_t>& image = setup.image;
  const std::vector<uint8_t>& templateData = setup.templateData;
  const std::vector<uint8_t>& languageFile = setup.languageFile;
  const std::vector<uint8_t>& oldData = setup.oldData;
  const std::string& modelId = setup.modelId;
  UpgradeState state;  // last: destroyed (and its worker joined) first
  test::JobOnClock onClock{clock, state.job.clock};
};

const std::vector<Row> kDoneUpToWrite = {
    {kMarkDone, "Connect the radio successfully!"},
    {kMarkDone, "Update the radio software completed!"},
    {kMarkDone, "Read the radio completed!"},
    {kMarkDone, "The upgrade data file has been found!"},
    {kMarkDone, "Convert radio data completed!"},
    {kMarkDone, "Write the radio completed!"},
};

TEST_F(FullJob, UpgradesFirmwareDataFontAndChip) {
  RunJob(true);

  // The firmware.
  const sim::DownloadRecord record = sim->DownloadSnapshot();
  EXPECT_TRUE(record.completed);
  EXPECT_EQ(record.fileName, "Main.bin");
  EXPECT_EQ(record.Image(), image);

  // The data: the converted template with the language switched to 0x0409.
  const std::vector<uint8_t> expected = setup.ExpectedData();
  const std::vector<uint8_t> data =
      sim->WithLink([](FramedLinkResponder& r) { return r.MemoryImage(Memory::kData); });
  ASSERT_GE(data.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.begin()));

  // The font area: the 0x0409 language image (header, then the file), 100 bytes more.
  const std::vector<uint8_t> font =
      sim->WithLink([](FramedLinkResponder& r) { return r.MemoryImage(Memory::kFont); });
  const uint8_t version[] = {'1', 0, '.', 0, '0', 0, '1', 0, '.', 0, '0', 0, '3', 0};
  EXPECT_TRUE(std::equal(std::begin(version), std::end(version), font.begin()));
  EXPECT_EQ(font[15], 0x09);
  EXPECT_EQ(font[16], 0x04);
  EXPECT_TRUE(std::equal(languageFile.begin(), languageFile.end(), font.begin() + 50));
  const auto fontWrites = sim->WithLink([](FramedLinkResponder& r) {
    std::vector<uint32_t> offsets;
    for (const auto& q : r.Requests()) {
      if (q.command == LinkCmd::kWriteBlock && q.memory == Memory::kFont) {
        offsets.push_back(q.offset);
      }
    }
    return offsets;
  });
  ASSERT_EQ(fontWrites.size(), 16u);  // 3150 bytes: blocks 1 .. 14, the rest, block 0
  EXPECT_EQ(fontWrites.back(), 0u);

  // The chip holds the hex file's records.
  sim->WithChip([&](sim::ChipLoaderResponder& chip) {
    EXPECT_TRUE(chip.Completed());
    EXPECT_EQ(chip.Flash(), hex.Expected());
  });

  std::vector<Row> rows = kDoneUpToWrite;
  rows.push_back({kMarkDone, "Update the firmware chip completed!"});
  rows.push_back({kMarkDone, "All upgrade completed successfully!"});
  EXPECT_EQ(view.Rows(), rows);
  const auto boxes = view.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "All upgrade completed successfully!");
  EXPECT_EQ(state.resultOk.load(), 1);
  ExpectControls(true);
  const std::vector<std::string> texts = view.StatusTexts();
  for (const char* t :
       {"Reading the radio, please wait...", "Write the radio completed!",
        "The radio is restarting, about 20 seconds...", "All upgrade completed successfully!"}) {
    EXPECT_NE(std::find(texts.begin(), texts.end(), t), texts.end()) << t;
  }
  // The status text keeps up with the rows: once the radio has been read it no longer
  // says so while the template is found, the data converted and the write begins.
  auto at = [&](const char* t) { return std::find(texts.begin(), texts.end(), t) - texts.begin(); };
  const auto reading = at("Reading the radio, please wait...");
  const auto read = at("Read the radio completed!");
  const auto found = at("The upgrade data file has been found!");
  const auto converted = at("Convert radio data completed!");
  const auto writing = at("Writing the radio, please wait...");
  ASSERT_LT(writing, static_cast<long>(texts.size()));
  EXPECT_LT(reading, read);
  EXPECT_LT(read, found);
  EXPECT_LT(found, converted);
  EXPECT_LT(converted, writing);
  EXPECT_LT(writing, at("Write the radio completed!"));

  // The three data logs: as read, the template, the converted data.
  EXPECT_EQ(LogFiles().size(), 3u);
  EXPECT_EQ(ReadFile(LogEndingWith("ReadLog.dat")), oldData);
  EXPECT_EQ(ReadFile(LogEndingWith("DefDataLog.dat")), templateData);
  EXPECT_EQ(ReadFile(LogEndingWith("WriteLog.dat")), templateData);

  // The waits of the sequence: restart, before the write, restart before the chip.
  const auto sleeps = clock.clock().Sleeps();
  for (uint32_t ms : {25000u, 10000u, 20000u}) {
    EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), ms), sleeps.end()) << ms;
  }
  EXPECT_FALSE(state.downloadPort.IsOpen());
  EXPECT_FALSE(state.radioLink.Port().IsOpen());
}

// A noisy line: every fifth block the radio sends back has one bit inverted (a different bit
// each time). The data read, logged and converted must be the radio's own, byte for byte.
class NoisyReadJob : public FullJob {
 protected:
  void StartNoisySim() {
    sim::ExchangeFaultPlan plan{"read block", "", 1, sim::ReplyFault::kBitFlip, -1};
    plan.every = 5;
    faults.SetPlan(plan);
    sim = std::make_unique<sim::RadioSim>(config);
    setup.SeedRadio(*sim);
    sim->Pty().SetFaultHook(faults.Hook());
    ASSERT_TRUE(test::PutRadioOnPort(*sim, state, kPort));
  }
  int BlockReads() {
    return sim->WithLink([](FramedLinkResponder& r) { return r.CountOf(LinkCmd::kReadBlock); });
  }

  sim::ExchangeFaults faults;
};

TEST_F(NoisyReadJob, CorruptedRepliesAreReadAgainAndTheDataIsTheRadios) {
  StartNoisySim();
  RunJob(false);
  ASSERT_EQ(view.Rows().back(), (Row{kMarkDone, "All upgrade completed successfully!"}));
  EXPECT_EQ(ReadFile(LogEndingWith("ReadLog.dat")), oldData);
  // 650 blocks; requests 1, 6, 11, ... (repeats counted too) were answered with a flipped
  // bit and asked again: n flips in 650 + n requests, every fifth: n = 163.
  EXPECT_EQ(faults.Injected(), 163);
  EXPECT_EQ(BlockReads(), 650 + 163);
  const std::vector<uint8_t> expected = setup.ExpectedData();
  const std::vector<uint8_t> data =
      sim->WithLink([](FramedLinkResponder& r) { return r.MemoryImage(Memory::kData); });
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.begin()));
}

TEST_F(NoisyReadJob, WithTheCheckSwitchedOffTheFlippedBitsReachTheData) {
  state.radioLink.Port().SetCheckReplySums(false);  // "CheckReplySums=0"
  StartNoisySim();
  RunJob(false);
  const std::vector<uint8_t> logged = ReadFile(LogEndingWith("ReadLog.dat"));
  ASSERT_EQ(logged.size(), oldData.size());
  size_t differing = 0;
  for (size_t i = 0; i < logged.size(); ++i) {
    differing += logged[i] != oldData[i] ? 1 : 0;
  }
  EXPECT_GT(differing, 0u);
  EXPECT_LE(differing, 130u);  // at most one byte in each fifth block
  EXPECT_LT(BlockReads(), 650 + 130);
}

TEST_F(FullJob, WithoutChipTheWriteEndsTheJob) {
  LoadingInstallation(state).readWriteLog = 0;
  RunJob(false);
  std::vector<Row> rows = kDoneUpToWrite;
  rows.push_back({kMarkDone, "All upgrade completed successfully!"});
  EXPECT_EQ(view.Rows(), rows);
  EXPECT_EQ(state.resultOk.load(), 1);
  ExpectControls(true);
  EXPECT_TRUE(LogFiles().empty());
  sim->WithChip([](sim::ChipLoaderResponder& chip) { EXPECT_EQ(chip.GetLog().enterRequests, 0); });
}

TEST_F(FullJob, AReadLogThatCannotBeWrittenIsSaidBeforeTheRadioIsWritten) {
  // The disk is full: the read log breaks off, the other two logs still fit.
  DataLogWriteFunction old =
      SetDataLogWriteFunction([](const std::string& path, std::span<const uint8_t> bytes) {
        if (path.find("ReadLog") != std::string::npos) {
          std::ofstream(path, std::ios::binary)
              .write(reinterpret_cast<const char*>(bytes.data()), 1024);
          return false;
        }
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out);
      });
  RunJob(false);
  SetDataLogWriteFunction(old);

  const std::vector<Row> rows = view.Rows();
  ASSERT_GE(rows.size(), 4u);
  EXPECT_EQ(rows[2].mark, kMarkFailed);
  EXPECT_EQ(rows[2].text.rfind("The read log (the only copy of the data read from the radio) "
                               "was not written: ",
                               0),
            0u)
      << rows[2].text;
  EXPECT_EQ(rows[3], (Row{kMarkDone, "Read the radio completed!"}));
  // Said before the write began.
  const auto log = view.Log();
  auto at = [&](const std::string& prefix) {
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i].find(prefix) != std::string::npos) {
        return i;
      }
    }
    return log.size();
  };
  EXPECT_LT(at("| The read log"), at("| Writing the radio, please wait..."));
  // No cut read log is left; the two others are whole.
  const auto files = LogFiles();
  EXPECT_EQ(files.size(), 2u);
  for (const std::string& f : files) {
    EXPECT_EQ(f.find("ReadLog"), std::string::npos) << f;
  }
  EXPECT_EQ(ReadFile(LogEndingWith("WriteLog.dat")), templateData);
}

TEST_F(FullJob, RefusedRadioEndsWithTheReadRow) {
  config.linkIdentifier = "KZ99000000N02000";  // not in the model table
  RunJob(true);
  EXPECT_EQ(view.Rows().back(), (Row{kMarkFailed, "Read the radio failed!"}));
  EXPECT_EQ(view.Rows().size(), 3u);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "Model Error!");
  EXPECT_EQ(state.resultOk.load(), 0);
  ExpectControls(true);
  EXPECT_TRUE(LogFiles().empty());
}

TEST_F(FullJob, MissingTemplateEndsWithItsRow) {
  std::filesystem::remove_all(dir.Path() + "rcdb");
  RunJob(true);
  EXPECT_EQ(view.Rows().back(), (Row{kMarkFailed, "Open the new RCDB file failed!"}));
  EXPECT_EQ(view.Rows().size(), 3u);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "Open the new RCDB file failed!");
  EXPECT_NE(view.Boxes()[0].detail.find(modelId), std::string::npos) << view.Boxes()[0].detail;
  ExpectControls(true);
  EXPECT_EQ(LogFiles().size(), 1u);  // the data as read
}

// A template whose data is not as long as the data the transfer chose for the radio's
// processor is refused before anything is written, naming both sizes; the chip is not
// touched (its hex file would have followed the template's length).
TEST_F(FullJob, TemplateOfAnotherLengthIsRefusedBeforeTheWrite) {
  ASSERT_TRUE(WriteTemplateFile(dir.Path() + "rcdb/" + modelId + ".rcd",
                                std::vector<uint8_t>(10, 0x5A), {}));
  RunJob(true);
  EXPECT_EQ(view.Rows().back(), (Row{kMarkFailed, "Open the new RCDB file failed!"}));
  EXPECT_EQ(view.Rows().size(), 3u);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "Open the new RCDB file failed!");
  const std::string detail = view.Boxes()[0].detail;
  EXPECT_NE(detail.find(" 10 bytes"), std::string::npos) << detail;
  EXPECT_NE(detail.find(" 129976 bytes"), std::string::npos) << detail;
  EXPECT_EQ(state.radioDataSize.load(), kDataSize);
  EXPECT_EQ(state.resultOk.load(), 0);
  ExpectControls(true);
  EXPECT_EQ(sim->WithLink([](FramedLinkResponder& r) { return r.CountOf(LinkCmd::kWriteBlock); }),
            0);
  sim->WithChip([](sim::ChipLoaderResponder& chip) { EXPECT_EQ(chip.GetLog().enterRequests, 0); });
  EXPECT_EQ(state.hexFilePath, dir.Path() + "Chip.hex");
}

// The model text names the template file: one that would lead out of the template folder
// is refused as a model error, even when a template lies where it points.
TEST_F(FullJob, ModelTextThatIsNotAnIdentifierIsRefused) {
  config.linkModelText = "../evilmodelx";
  // rcdb/ + "../evilmodelx00000" + .rcd: a file beside the template folder.
  ASSERT_EQ(FixUpModelText("../evilmodelx"), "../evilmodelx00000");
  ASSERT_TRUE(WriteTemplateFile(dir.Path() + "evilmodelx00000.rcd", templateData, {}));
  RunJob(true);
  EXPECT_EQ(view.Rows().back(), (Row{kMarkFailed, "Read the radio failed!"}));
  EXPECT_EQ(view.Rows().size(), 3u);
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "Model Error!");
  EXPECT_NE(view.Boxes()[0].detail.find("\"../evilmodelx00000\""), std::string::npos)
      << view.Boxes()[0].detail;
  EXPECT_EQ(state.resultOk.load(), 0);
  ExpectControls(true);
  EXPECT_TRUE(LogFiles().empty());  // not even read
  EXPECT_EQ(sim->WithLink([](FramedLinkResponder& r) { return r.CountOf(LinkCmd::kWriteBlock); }),
            0);
}

TEST_F(FullJob, MissingConverterNamesTheLibrary) {
  std::filesystem::remove(dir.Path() + SharedLibrary::FileName("mutaris"));
  RunJob(true);
  EXPECT_EQ(view.Rows().back(), (Row{kMarkFailed, "Convert RCDB failed!"}));
  ASSERT_EQ(view.Boxes().size(), 1u);
  EXPECT_EQ(view.Boxes()[0].text, "Convert RCDB failed!");
  EXPECT_NE(view.Boxes()[0].detail.find(SharedLibrary::FileName("mutaris")), std::string::npos)
      << view.Boxes()[0].detail;
  EXPECT_EQ(state.resultOk.load(), 0);
  ExpectControls(true);
  EXPECT_EQ(LogFiles().size(), 2u);  // read and template, no converted data
  EXPECT_EQ(sim->WithLink([](FramedLinkResponder& r) { return r.CountOf(LinkCmd::kWriteBlock); }),
            0);
}

TEST_F(FullJob, RefusedBlockEndsWithTheWriteRow) {
  StartSim();
  sim->WithLink([](FramedLinkResponder& r) {
    r.InjectFault(LinkCmd::kWriteBlock, LinkFault::kWrongLength, 100);
  });
  RunJob(true);
  std::vector<Row> rows(kDoneUpToWrite.begin(), kDoneUpToWrite.end() - 1);
  rows.push_back({kMarkFailed, "Write the radio failed!"});
  EXPECT_EQ(view.Rows(), rows);
  const auto errors = view.CommErrors();
  EXPECT_TRUE(std::find(errors.begin(), errors.end(), CommError::WriteBlock) != errors.end());
  EXPECT_EQ(state.resultOk.load(), 0);
  ExpectControls(true);
  sim->WithChip([](sim::ChipLoaderResponder& chip) { EXPECT_EQ(chip.GetLog().enterRequests, 0); });
}

TEST_F(FullJob, ChipFailureIsNotRetriedInTheFullJob) {
  StartSim();
  sim->WithChip([](sim::ChipLoaderResponder& chip) {
    chip.SetFault(3, {sim::ChipLoaderResponder::FaultKind::kWrongByte, 0, -1});  // the erase
  });
  RunJob(true);
  std::vector<Row> rows = kDoneUpToWrite;
  rows.push_back({kMarkFailed, "Update the firmware chip failed!"});
  EXPECT_EQ(view.Rows(), rows);
  sim->WithChip([](sim::ChipLoaderResponder& chip) {
    EXPECT_EQ(chip.GetLog().enterRequests, 1);
    EXPECT_FALSE(chip.Completed());
  });
  EXPECT_EQ(state.resultOk.load(), 0);
  ExpectControls(true);
}

}  // namespace
}  // namespace fw
