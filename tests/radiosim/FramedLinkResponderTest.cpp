#include "FramedLinkResponder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "RadioMode.h"
#include "RadioSim.h"
#include "SimPty.h"
#include "serial/SerialPort.h"

namespace fw::sim {
namespace {

using Bytes = std::vector<uint8_t>;
using Cmd = FramedLinkResponder::Command;
using Fault = FramedLinkResponder::Fault;

// Requests written out by hand (the link's worked examples).
const Bytes kConnect = {0x7E, 0x00, 0x00, 0xFE, 0x20, 0x10, 0x00, 0x00, 0x00, 0x0C, 0x60, 0xE5};
const Bytes kEndAccess0 = {0x7E, 0x01, 0x00, 0x00, 0x20, 0x10, 0x00, 0x01, 0x00, 0x14,
                           0xF4, 0x0E, 0x02, 0xC6, 0x01, 0x01, 0x00, 0x00, 0x6A, 0x03};
const Bytes kReadBlock0 = {0x7E, 0x01, 0x00, 0x00, 0x20, 0x10, 0x00, 0x01, 0x00, 0x1F, 0x58,
                           0x9E, 0x02, 0xC7, 0x01, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
                           0x00, 0x00, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x95, 0x03};

class FramedSim : public ::testing::Test {
 protected:
  void SetUp() override {
    pty.AddResponder(&radio);
    ASSERT_TRUE(pty.Start()) << pty.Error();
    ASSERT_EQ(port.Open(pty.DevicePath()), 1);
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
  template <class F>
  auto With(F f) {
    std::lock_guard<std::mutex> lock(pty.StateMutex());
    return f(radio);
  }

  RadioMode mode;
  FramedLinkResponder radio{&mode};
  SimPty pty;
  SerialPort port;
};

TEST_F(FramedSim, AnswersConnectOnlyInNormalMode) {
  EXPECT_TRUE(Ask(kConnect, 12).empty());  // download mode: not this protocol
  mode.Set(RadioMode::kNormal);
  Bytes reply = Ask(kConnect, 12);
  ASSERT_EQ(reply.size(), 12u);
  EXPECT_EQ(reply[0], 0x7E);
  EXPECT_EQ(reply[9], 12);
  EXPECT_NE(reply, kConnect);  // an answer, not an echo
  // Its checksum: 7E00 + FE00 ... summed little-endian must complement to zero.
  uint32_t sum = 0;
  for (size_t i = 0; i < 12; i += 2) {
    sum += reply[i] | (reply[i + 1] << 8);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  sum = (sum & 0xFFFF) + (sum >> 16);
  EXPECT_EQ(sum, 0xFFFFu);
}

TEST_F(FramedSim, AnswersTheWorkedRequests) {
  mode.Set(RadioMode::kNormal);
  With([](FramedLinkResponder& r) {
    r.MemoryImage(FramedLinkResponder::Memory::kData)[0] = 0x5A;
    r.MemoryImage(FramedLinkResponder::Memory::kData)[199] = 0xA5;
  });
  Bytes block = Ask(kReadBlock0, 232);
  ASSERT_EQ(block.size(), 232u);
  EXPECT_EQ(block[9], 232);
  EXPECT_EQ(block[13], 0xC7);
  EXPECT_EQ(block[14], 0x81);  // reply code 0x81C7
  EXPECT_EQ(block[30], 0x5A);
  EXPECT_EQ(block[229], 0xA5);
  EXPECT_EQ(block[231], 0x03);
  Bytes end = Ask(kEndAccess0, 20);
  ASSERT_EQ(end.size(), 20u);
  EXPECT_EQ(end[9], 20);
  auto requests = With([](auto& r) { return r.Requests(); });
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].command, Cmd::kReadBlock);
  EXPECT_EQ(requests[0].length, 200);
  EXPECT_EQ(requests[1].command, Cmd::kEndAccess);
  EXPECT_EQ(requests[1].infoArea, 0);  // mode 0
}

TEST_F(FramedSim, BadChecksumsAreCountedAndNotAnswered) {
  mode.Set(RadioMode::kNormal);
  Bytes badFrame = kEndAccess0;
  badFrame[11] ^= 0x01;  // frame checksum
  EXPECT_TRUE(Ask(badFrame, 20).empty());
  Bytes badPacket = kEndAccess0;
  badPacket[18] = 0x6B;  // packet checksum; frame checksum fixed to match
  badPacket[10] = 0xF3;  // the word at 18 grew by one: the complement shrinks by one
  badPacket[11] = 0x0E;
  EXPECT_TRUE(Ask(badPacket, 20).empty());
  EXPECT_EQ(With([](auto& r) { return r.BadChecksums(); }), 2);
  EXPECT_EQ(Ask(kEndAccess0, 20).size(), 20u);  // still serving
}

TEST_F(FramedSim, VersionQueryGetsTheRaw128ByteReply) {
  mode.Set(RadioMode::kNormal);
  With([](auto& r) { r.SetVersionText("0412"); });
  Bytes reply = Ask({0x02, 0x50, 0x00, 0x03}, 128);
  ASSERT_EQ(reply.size(), 128u);
  EXPECT_EQ(std::string(reply.begin(), reply.begin() + 4), "0412");
  EXPECT_EQ(reply[4], 0);
}

TEST_F(FramedSim, FaultsApplyPerCommandAfterTheGivenRequests) {
  mode.Set(RadioMode::kNormal);
  With([](auto& r) { r.InjectFault(Cmd::kReadBlock, Fault::kWrongLength, 1, 1); });
  EXPECT_EQ(Ask(kReadBlock0, 232)[9], 232);  // first one normal
  Bytes wrong = Ask(kReadBlock0, 232);
  ASSERT_EQ(wrong.size(), 232u);
  EXPECT_EQ(wrong[9], 233);                     // second one faulty
  EXPECT_EQ(Ask(kReadBlock0, 232)[9], 232);     // then normal again
  EXPECT_EQ(Ask(kEndAccess0, 20).size(), 20u);  // other commands untouched
  With([](auto& r) { r.InjectFault(Cmd::kEndAccess, Fault::kSilence); });
  EXPECT_TRUE(Ask(kEndAccess0, 20).empty());
}

TEST_F(FramedSim, UnreachableForTheFirstConnects) {
  mode.Set(RadioMode::kNormal);
  With([](auto& r) { r.SetUnreachableConnects(2); });
  EXPECT_TRUE(Ask(kConnect, 12).empty());
  EXPECT_TRUE(Ask(kConnect, 12).empty());
  EXPECT_EQ(Ask(kConnect, 12).size(), 12u);
}

TEST_F(FramedSim, HangUpCutsTheLine) {
  mode.Set(RadioMode::kNormal);
  With([](auto& r) { r.InjectFault(Cmd::kReadBlock, Fault::kHangUp); });
  EXPECT_TRUE(Ask(kReadBlock0, 232).empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(pty.HungUp());
}

TEST(FramedLinkInRadioSim, ServedOnlyOnceTheRadioRunsNormally) {
  RadioSim radio;  // starts in download mode
  radio.AddResponder(std::make_unique<FramedLinkResponder>(&radio.Mode()));
  ASSERT_TRUE(radio.Start()) << radio.Error();
  SerialPort port;
  ASSERT_EQ(port.Open(radio.DevicePath()), 1);
  port.Configure(115200, 8, kParityNone, kTwoStopBits);
  port.SetReadTimeout(300);
  uint8_t reply[12];
  port.Write(kConnect.data(), 12);
  EXPECT_EQ(port.Read(reply, 12), 0u);
  radio.SetMode(RadioMode::kNormal);
  port.Purge();
  port.Write(kConnect.data(), 12);
  ASSERT_EQ(port.Read(reply, 12), 12u);
  EXPECT_EQ(reply[9], 12);
}

}  // namespace
}  // namespace fw::sim
