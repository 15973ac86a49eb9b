// The composite simulated radio: which protocol answers in which mode, the version query
// reaching the data link past the chip loader, and a running radio taken back into
// download mode by the automatic-download request.

#include "RadioSim.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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
