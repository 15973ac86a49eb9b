// The composite simulated radio: which protocol answers in which mode, the version query
// reaching the data link past the chip loader, and a running radio taken back into
// download mode by the automatic-download request.

#include "RadioSim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SimOptions.h"
#include "serial/SerialPort.h"

namespace fw::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// Written out by hand.
const Bytes kAutoIap = {0x5A, 0xA5, 'A', 'U', 'T', 'O', ' ', 'I', 'A', 'P'};
const Bytes kConnect = {0x7E, 0x00, 0x00, 0xFE, 0x20, 0x10, 0x00, 0x00, 0x00, 0x0C, 0x60, 0xE5};
const Bytes kVersionQuery = {0x02, 0x50, 0x00, 0x03};
const Bytes kChipEnter = {0x02, 0x50, 0x88, 0x03};
const Bytes kIdentify = {'R'};

class Composite : public ::testing::Test {
 protected:
  void Start(RadioMode::Mode mode) {
    config.startMode = mode;
    config.firmwareVersionText = "0412";
    config.chipEnterText = "S-enter";
    radio = std::make_unique<RadioSim>(config);
    ASSERT_TRUE(radio->Start()) << radio->Error();
    ASSERT_EQ(port.Open(radio->DevicePath()), 1);
    port.Configure(115200, 8, kParityNone, kTwoStopBits);
    port.SetReadTimeout(300);
  }
  Bytes Ask(const Bytes& request, uint32_t replyLength) {
    port.Purge();
    port.Write(request.data(), static_cast<uint32_t>(request.size()));
    Bytes reply(replyLength);
    reply.resize(port.Read(reply.data(), replyLength));
    return reply;
  }

  RadioSimConfig config;
  std::unique_ptr<RadioSim> radio;
  SerialPort port;
};

TEST_F(Composite, RunningRadioServesLinkVersionAndChipLoader) {
  Start(RadioMode::kNormal);
  EXPECT_EQ(Ask(kConnect, 12).size(), 12u);
  // The version query starts like the chip's enter request; both get their own answer.
  const Bytes version = Ask(kVersionQuery, 128);
  ASSERT_EQ(version.size(), 128u);
  EXPECT_EQ(std::string(version.begin(), version.begin() + 4), "0412");
  const Bytes enter = Ask(kChipEnter, 30);
  ASSERT_EQ(enter.size(), 30u);
  EXPECT_EQ(std::string(enter.begin(), enter.begin() + 7), "S-enter");
  // Not in download mode: no identification.
  EXPECT_TRUE(Ask(kIdentify, 100).empty());
}

TEST_F(Composite, DownloadModeServesNeitherLinkNorChip) {
  Start(RadioMode::kDownload);
  EXPECT_TRUE(Ask(kConnect, 12).empty());
  EXPECT_TRUE(Ask(kChipEnter, 30).empty());
  EXPECT_EQ(Ask(kIdentify, 100).size(), 100u);
}

TEST_F(Composite, AutomaticDownloadRequestTakesARunningRadioBackToDownloadMode) {
  Start(RadioMode::kNormal);
  const Bytes reply = Ask(kAutoIap, 20);
  ASSERT_EQ(reply.size(), 20u);
  EXPECT_EQ(reply[0], 0x5A);
  EXPECT_EQ(radio->CurrentMode(), RadioMode::kDownload);
  EXPECT_EQ(Ask(kIdentify, 100).size(), 100u);
  EXPECT_TRUE(Ask(kConnect, 12).empty());
}

}  // namespace
}  // namespace fw::sim

// --- The program's command line: several radios, each its own identity and faults ---

namespace fw::sim {
namespace {

SimOptions Parse(const std::vector<std::string>& args) {
  SimOptions options;
  std::string error;
  EXPECT_TRUE(ParseSimOptions(args, options, error)) << error;
  return options;
}

std::string ParseError(const std::vector<std::string>& args) {
  SimOptions options;
  std::string error;
  EXPECT_FALSE(ParseSimOptions(args, options, error));
  return error;
}

// Radios started as the program starts them, each with its port open at the link's speed.
struct Bench {
  explicit Bench(const SimOptions& options) {
    for (const SimRadioSetup& setup : options.radios) {
      radios.push_back(std::make_unique<RadioSim>(setup.config));
      EXPECT_TRUE(radios.back()->Start()) << radios.back()->Error();
      ports.push_back(std::make_unique<SerialPort>());
      EXPECT_EQ(ports.back()->Open(radios.back()->DevicePath()), 1);
      ports.back()->Configure(115200, 8, kParityNone, kOneStopBit);
      ports.back()->SetReadTimeout(300);
    }
  }
  // The identification reply of radio k (0-based): 100 bytes, or what arrived.
  std::vector<uint8_t> Identify(size_t k) {
    ports[k]->Purge();
    const uint8_t r = 'R';
    ports[k]->Write(&r, 1);
    std::vector<uint8_t> reply(100);
    reply.resize(ports[k]->Read(reply.data(), 100));
    return reply;
  }
  std::vector<std::unique_ptr<RadioSim>> radios;
  std::vector<std::unique_ptr<SerialPort>> ports;
};

std::string Field(const std::vector<uint8_t>& reply, size_t offset, size_t length) {
  std::string s(reply.begin() + static_cast<long>(offset),
                reply.begin() + static_cast<long>(offset + length));
  return s.substr(0, s.find('\0'));
}

TEST(SimOptions, WithoutRadiosOneDemoRadio) {
  const SimOptions options = Parse({});
  ASSERT_EQ(options.radios.size(), 1u);
  EXPECT_EQ(options.radios[0].config.download.info, "MCU-0401");
  EXPECT_EQ(options.radios[0].config.download.restartMs, 1000u);
  EXPECT_EQ(options.radios[0].config.lineRate, 0u);
  // With one radio the lines are as they always were: the demo and the tests read them.
  EXPECT_EQ(RadioLine(1, 1, "/dev/pts/7"), "/dev/pts/7");
  EXPECT_EQ(RadioLine(1, 1, "line hung up"), "line hung up");
}

TEST(SimOptions, OptionsForAllAndOnlyForOneRadioWhateverTheOrder) {
  // The per-radio option comes first, the option for all last: the one radio keeps its own.
  const SimOptions options = Parse({"--only", "2", "--info", "MCU-0399", "--radios", "3", "--info",
                                    "MCU-0405", "--line-rate", "on", "--only", "3", "--fault",
                                    "silence:data:2:7", "--only", "1", "--running"});
  ASSERT_EQ(options.radios.size(), 3u);
  EXPECT_EQ(options.radios[0].config.download.info, "MCU-0405");
  EXPECT_EQ(options.radios[1].config.download.info, "MCU-0399");
  EXPECT_EQ(options.radios[2].config.download.info, "MCU-0405");
  for (const SimRadioSetup& r : options.radios) {
    EXPECT_EQ(r.config.lineRate, 115200u);
  }
  EXPECT_TRUE(options.radios[0].running);
  EXPECT_FALSE(options.radios[1].running);
  EXPECT_EQ(options.radios[0].config.download.fault.kind, FaultKind::kNone);
  EXPECT_EQ(options.radios[1].config.download.fault.kind, FaultKind::kNone);
  const DownloadFault& f = options.radios[2].config.download.fault;
  EXPECT_EQ(f.kind, FaultKind::kSilence);
  EXPECT_EQ(f.step, DownloadStep::kData);
  EXPECT_EQ(f.attempts, 2);
  EXPECT_EQ(f.dataBlock, 7u);
}

TEST(SimOptions, BadCountsAndRadiosAreRefusedWithAReason) {
  for (const char* n : {"0", "33", "-1", "3x", ""}) {
    EXPECT_NE(ParseError({"--radios", n}).find("1 to 32"), std::string::npos) << n;
  }
  EXPECT_EQ(Parse({"--radios", "32"}).radios.size(), 32u);
  EXPECT_NE(ParseError({"--radios", "2", "--only", "3", "--running"}).find("only 2 radios"),
            std::string::npos);
  EXPECT_NE(ParseError({"--radios", "2", "--only", "1"}).find("followed by"), std::string::npos);
  EXPECT_NE(ParseError({"--only", "1", "--radios", "2"}).find("followed by"), std::string::npos);
  EXPECT_NE(ParseError({"--radios"}).find("needs a value"), std::string::npos);
  EXPECT_NE(ParseError({"--fault", "silence:nowhere"}).find("--fault"), std::string::npos);
  EXPECT_NE(ParseError({"--restart-ms", "fast"}).find("--restart-ms"), std::string::npos);
  EXPECT_NE(ParseError({"--line-rate", "maybe"}).find("on or off"), std::string::npos);
  EXPECT_NE(ParseError({"--adapter-latency", "256"}).find("0 to 255"), std::string::npos);
  EXPECT_EQ(Parse({"--adapter-latency", "16"}).radios[0].config.adapterLatencyMs, 16u);
  EXPECT_EQ(Parse({}).radios[0].config.adapterLatencyMs, 0u);
  EXPECT_NE(ParseError({"--radio", "2"}).find("unknown option"), std::string::npos);
}

TEST(SimOptions, ThreeRadiosThreeLinesEachWithItsOwnIdentityAndFault) {
  const SimOptions options =
      Parse({"--radios", "3", "--only", "2", "--info", "MCU-0399", "--only", "2", "--variant", "S",
             "--only", "3", "--fault", "silence:identify"});
  Bench bench(options);
  ASSERT_EQ(bench.radios.size(), 3u);
  // Three distinct devices.
  EXPECT_NE(bench.radios[0]->DevicePath(), bench.radios[1]->DevicePath());
  EXPECT_NE(bench.radios[1]->DevicePath(), bench.radios[2]->DevicePath());
  EXPECT_NE(bench.radios[0]->DevicePath(), bench.radios[2]->DevicePath());

  const std::vector<uint8_t> first = bench.Identify(0);
  ASSERT_EQ(first.size(), 100u);
  EXPECT_EQ(Field(first, 2, 10), "MCU-0401");
  EXPECT_EQ(Field(first, 12, 12), "A");
  EXPECT_EQ(Field(first, 24, 28), "KV86000000N00000");
  const std::vector<uint8_t> second = bench.Identify(1);
  ASSERT_EQ(second.size(), 100u);
  EXPECT_EQ(Field(second, 2, 10), "MCU-0399");
  EXPECT_EQ(Field(second, 12, 12), "S");
  // The third radio's fault is its own: it stays silent, the others were not.
  EXPECT_TRUE(bench.Identify(2).empty());
  EXPECT_EQ(bench.Identify(0).size(), 100u);
  // Each radio counted only the requests on its own line.
  EXPECT_EQ(bench.radios[0]->DownloadSnapshot().requests[1], 2u);
  EXPECT_EQ(bench.radios[1]->DownloadSnapshot().requests[1], 1u);
  EXPECT_EQ(bench.radios[2]->DownloadSnapshot().requests[1], 1u);

  // The program's first lines name the devices, numbered.
  EXPECT_EQ(RadioLine(2, 3, bench.radios[1]->DevicePath()),
            "radio 2: " + bench.radios[1]->DevicePath());
}

TEST(SimOptions, ReportLinesSayWhichRadioHungUp) {
  const SimOptions options = Parse({"--radios", "2", "--only", "1", "--fault", "hangup:identify"});
  Bench bench(options);
  RadioReporter first(*bench.radios[0], false);
  RadioReporter second(*bench.radios[1], false);
  EXPECT_TRUE(bench.Identify(0).empty());
  EXPECT_EQ(bench.Identify(1).size(), 100u);
  std::vector<std::string> lines;
  for (int i = 0; i < 50 && !first.Ended(); ++i) {
    for (const std::string& l : first.Poll()) {
      lines.push_back(RadioLine(1, 2, l));
    }
    for (const std::string& l : second.Poll()) {
      lines.push_back(RadioLine(2, 2, l));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(lines, std::vector<std::string>{"radio 1: line hung up"});
  EXPECT_TRUE(first.Ended());
  EXPECT_FALSE(second.Ended());
  EXPECT_TRUE(first.Poll().empty());  // said once
  // The second radio's line still works.
  EXPECT_EQ(bench.Identify(1).size(), 100u);
}

TEST(SimOptions, BackToDownloadTakesOnlyItsOwnRunningRadioBack) {
  SimOptions options = Parse({"--radios", "2", "--only", "2", "--back-to-download"});
  Bench bench(options);
  for (auto& radio : bench.radios) {
    radio->SetMode(RadioMode::kNormal);
  }
  RadioReporter stays(*bench.radios[0], options.radios[0].backToDownload);
  RadioReporter goesBack(*bench.radios[1], options.radios[1].backToDownload);
  EXPECT_TRUE(stays.Poll().empty());
  EXPECT_TRUE(goesBack.Poll().empty());
  EXPECT_EQ(bench.radios[0]->CurrentMode(), RadioMode::kNormal);
  EXPECT_EQ(bench.radios[1]->CurrentMode(), RadioMode::kDownload);
}

}  // namespace
}  // namespace fw::sim
