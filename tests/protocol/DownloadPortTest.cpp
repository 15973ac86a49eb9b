#include "protocol/DownloadPort.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/FakeClockScope.h"
#include "support/PtyPeer.h"

namespace fw {
namespace {

using test::Bytes;
using test::PtyPeer;
using Answer = PtyPeer::Answer;
using Sleeps = std::vector<uint32_t>;

const Bytes kAutoIap = {'A', 'U', 'T', 'O', ' ', 'I', 'A', 'P'};
const Bytes kIdentify = {'R'};
const Bytes kEot = {0x04};
const Bytes kAck = {0x06};
const Bytes kNak = {0x15};

class DownloadPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetJobClock(clock.Job());
    ASSERT_EQ(port.Open(peer.SlavePath()), 1);
    ASSERT_EQ(port.Configure(115200, 8, kParityNone, kOneStopBit), 1);
    port.SetReadTimeout(150);  // real time; every fixed wait is on the fake clock
  }
  Sleeps Slept() { return clock.clock().Sleeps(); }

  test::FakeClockScope clock;
  PtyPeer peer;
  DownloadPort port;
  uint8_t reply[128] = {};
};

TEST_F(DownloadPortTest, NoAnswerToAutoIapReturnsAtOnceWithoutRetry) {
  peer.Respond(kAutoIap.size(), test::Always({}));
  EXPECT_EQ(port.DownloadExchange(kReplyWithData, kAutoIap.data(), 8, reply, 58, 3), 0);
  EXPECT_EQ(peer.RequestCount(50), 1);
  EXPECT_EQ(Slept(), Sleeps{20});
}

TEST_F(DownloadPortTest, ThirtyOneBytesAnswerAutoIap) {
  peer.Respond(8, test::Always(Bytes(31, 'x')));
  EXPECT_EQ(port.DownloadExchange(kReplyWithData, kAutoIap.data(), 8, reply, 58, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 1);
}

TEST_F(DownloadPortTest, ThirtyBytesDoNot) {
  peer.Respond(8, test::Always(Bytes(30, 'x')));
  EXPECT_EQ(port.DownloadExchange(kReplyWithData, kAutoIap.data(), 8, reply, 58, 3), 0);
  EXPECT_EQ(peer.RequestCount(50), 4);
  EXPECT_EQ(Slept(), (Sleeps{20, 200, 50, 50, 50}));
}

TEST_F(DownloadPortTest, IdentifyNeedsFiftyTwoBytes) {
  peer.Respond(1, test::Always(Bytes(52, 'K')));
  EXPECT_EQ(port.DownloadExchange(kReplyWithData, kIdentify.data(), 1, reply, 64, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 1);
  peer.StopResponding();

  PtyPeer other;
  DownloadPort p;
  ASSERT_EQ(p.Open(other.SlavePath()), 1);
  p.SetReadTimeout(100);
  other.Respond(1, test::Always(Bytes(51, 'K')));
  EXPECT_EQ(p.DownloadExchange(kReplyWithData, kIdentify.data(), 1, reply, 64, 1), 0);
  EXPECT_EQ(other.RequestCount(50), 2);
}

TEST_F(DownloadPortTest, OtherDataRequestsNeedTheFullLength) {
  const Bytes receive = {'1'};
  peer.Respond(1, test::InTurn({Answer{Bytes(9, 'C')}, Answer{Bytes(10, 'C')}}));
  EXPECT_EQ(port.DownloadExchange(kReplyWithData, receive.data(), 1, reply, 10, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 2);
  EXPECT_EQ(Slept(), (Sleeps{20, 200, 50}));
}

TEST_F(DownloadPortTest, AcknowledgementAccepted) {
  const Bytes block = {0x02, 0x01, 0xFE};
  peer.Respond(3, test::Always(kAck));
  EXPECT_EQ(port.DownloadExchange(kReplyAck, block.data(), 3, reply, 1, 3), 1);
  EXPECT_EQ(reply[0], 0x06);
  EXPECT_EQ(Slept(), Sleeps{20});
  EXPECT_EQ(peer.RequestCount(50), 1);
}

TEST_F(DownloadPortTest, NegativeAcknowledgementIsRetriedThreeTimes) {
  const Bytes block = {0x02, 0x01, 0xFE};
  peer.Respond(3, test::Always(kNak));
  EXPECT_EQ(port.DownloadExchange(kReplyAck, block.data(), 3, reply, 1, 3), 0);
  EXPECT_EQ(peer.RequestCount(50), 4);
  EXPECT_EQ(Slept(), (Sleeps{20, 200, 50, 50, 50}));
}

TEST_F(DownloadPortTest, AcknowledgedEndOfTransmissionReadsOnceMore) {
  // The radio acknowledges and then asks for the closing block with "C".
  peer.Respond(1, [](int, const Bytes&) { return Answer{kAck, 0, {'C'}, 30}; });
  EXPECT_EQ(port.DownloadExchange(kReplyAck, kEot.data(), 1, reply, 1, 3), 1);
  EXPECT_EQ(Slept(), (Sleeps{20, 100}));
  EXPECT_EQ(reply[0], 'C');  // the extra read took the byte off the line
}

TEST_F(DownloadPortTest, RepeatedEndOfTransmissionHasNoExtraRead) {
  peer.Respond(1, test::InTurn({Answer{kNak}, Answer{kAck, 0, {'C'}, 30}}));
  EXPECT_EQ(port.DownloadExchange(kReplyAck, kEot.data(), 1, reply, 1, 3), 1);
  EXPECT_EQ(Slept(), (Sleeps{20, 200, 50}));
  EXPECT_EQ(reply[0], 0x06);
  // The "C" is still waiting on the line.
  port.SetReadTimeout(1000);
  uint8_t c = 0;
  EXPECT_EQ(port.Read(&c, 1), 1u);
  EXPECT_EQ(c, 'C');
}

TEST_F(DownloadPortTest, SilenceIsReadThreeMoreTimesBeforeRetrying) {
  port.SetReadTimeout(50);
  const Bytes block = {0x02, 0x01, 0xFE};
  peer.Respond(3, test::Always({}));
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.DownloadExchange(kReplyAck, block.data(), 3, reply, 1, 1), 0);
  auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(Slept(), (Sleeps{20, 500, 500, 500, 200, 50}));
  EXPECT_EQ(peer.RequestCount(50), 2);
  // Four reads in the first attempt and four in the repeat, each waiting out its deadline.
  EXPECT_GE(took, std::chrono::milliseconds(8 * 50 - 20));
}

TEST_F(DownloadPortTest, LateAcknowledgementIsCaughtByTheNextRead) {
  port.SetReadTimeout(200);
  const Bytes block = {0x02, 0x01, 0xFE};
  peer.Respond(3, [](int, const Bytes&) { return Answer{kAck, 300}; });
  EXPECT_EQ(port.DownloadExchange(kReplyAck, block.data(), 3, reply, 1, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 1);
  Sleeps slept = Slept();
  ASSERT_GE(slept.size(), 2u);
  EXPECT_EQ(slept[0], 20u);
  EXPECT_EQ(slept[1], 500u);
}

TEST_F(DownloadPortTest, AckOfTheWrongLengthIsRefused) {
  // Two bytes wanted, one acknowledgement received: not accepted.
  const Bytes block = {0x02, 0x01, 0xFE};
  peer.Respond(3, test::Always(kAck));
  port.SetReadTimeout(50);
  EXPECT_EQ(port.DownloadExchange(kReplyAck, block.data(), 3, reply, 2, 1), 0);
  EXPECT_EQ(peer.RequestCount(50), 2);
}

}  // namespace
}  // namespace fw
