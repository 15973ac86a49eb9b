#include "protocol/DownloadPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "support/FakeClockScope.h"
#include "support/PtyPeer.h"

namespace fw {
namespace {

using test::Bytes;
using test::PtyPeer;
using Answer = PtyPeer::Answer;
using Sleeps = std::vector<uint32_t>;

// Requests as they go out on the wire, written out by hand.
const Bytes kAutoIapBytes = {0x5A, 0xA5, 0x41, 0x55, 0x54, 0x4F, 0x20, 0x49, 0x41, 0x50};
const Bytes kIdentifyBytes = {0x52};
const Bytes kDownloadBytes = {0x31};
const Bytes kEotBytes = {0x04};
const Bytes kAckReply = {0x06};
const Bytes kNak = {0x15};

// A data block as the transfer sends it: 02, block number, its complement, 1026 more bytes.
Bytes DataBlock() {
  Bytes block(1029, 0x1A);
  block[0] = 0x02;
  block[1] = 0x01;
  block[2] = 0xFE;
  return block;
}

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

TEST_F(DownloadPortTest, NoAnswerToTheDownloadRequestReturnsAtOnceWithoutRetry) {
  peer.Respond(1, test::Always({}));
  EXPECT_EQ(port.DownloadExchange(kDownloadRequest, reply, 3), 0);
  EXPECT_EQ(peer.Requests(50), std::vector<Bytes>{kDownloadBytes});
  EXPECT_EQ(Slept(), Sleeps{20});
}

TEST_F(DownloadPortTest, ThirtyOneBytesAnswerTheDownloadRequest) {
  peer.Respond(1, test::Always(Bytes(31, 'x')));
  EXPECT_EQ(port.DownloadExchange(kDownloadRequest, reply, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 1);
}

TEST_F(DownloadPortTest, ThirtyBytesDoNot) {
  peer.Respond(1, test::Always(Bytes(30, 'x')));
  EXPECT_EQ(port.DownloadExchange(kDownloadRequest, reply, 3), 0);
  EXPECT_EQ(peer.RequestCount(50), 4);
  EXPECT_EQ(Slept(), (Sleeps{20, 200, 50, 50, 50}));
}

TEST_F(DownloadPortTest, IdentifyNeedsFiftyTwoBytes) {
  peer.Respond(1, test::Always(Bytes(52, 'K')));
  EXPECT_EQ(port.DownloadExchange(kIdentifyRequest, reply, 3), 1);
  EXPECT_EQ(peer.Requests(50), std::vector<Bytes>{kIdentifyBytes});
  peer.StopResponding();

  PtyPeer other;
  DownloadPort p;
  ASSERT_EQ(p.Open(other.SlavePath()), 1);
  p.SetReadTimeout(100);
  other.Respond(1, test::Always(Bytes(51, 'K')));
  EXPECT_EQ(p.DownloadExchange(kIdentifyRequest, reply, 1), 0);
  EXPECT_EQ(other.RequestCount(50), 2);
}

TEST_F(DownloadPortTest, AutoDownloadNeedsTheFullTwentyBytes) {
  peer.Respond(10, test::InTurn({Answer{Bytes(19, 'C')}, Answer{Bytes(20, 'C')}}));
  EXPECT_EQ(port.DownloadExchange(kAutoDownloadRequest, reply, 3), 1);
  EXPECT_EQ(peer.Requests(50), (std::vector<Bytes>{kAutoIapBytes, kAutoIapBytes}));
  EXPECT_EQ(Slept(), (Sleeps{20, 200, 50}));
}

TEST_F(DownloadPortTest, AcknowledgementAccepted) {
  const Bytes block = DataBlock();
  peer.Respond(block.size(), test::Always(kAckReply));
  EXPECT_EQ(port.DownloadExchange(DataBlockRequest(block.data()), reply, 3), 1);
  EXPECT_EQ(reply[0], 0x06);
  EXPECT_EQ(Slept(), Sleeps{20});
  EXPECT_EQ(peer.Requests(50), std::vector<Bytes>{block});
}

TEST_F(DownloadPortTest, NegativeAcknowledgementIsRetriedThreeTimes) {
  const Bytes block = DataBlock();
  peer.Respond(block.size(), test::Always(kNak));
  EXPECT_EQ(port.DownloadExchange(DataBlockRequest(block.data()), reply, 3), 0);
  EXPECT_EQ(peer.RequestCount(50), 4);
  EXPECT_EQ(Slept(), (Sleeps{20, 200, 50, 50, 50}));
}

TEST_F(DownloadPortTest, AcknowledgedEndOfTransmissionReadsOnceMore) {
  // The radio acknowledges and then asks for the closing block with "C".
  peer.Respond(1, [](int, const Bytes&) { return Answer{kAckReply, 0, {'C'}, 30}; });
  EXPECT_EQ(port.DownloadExchange(kEndOfTransmissionRequest, reply, 3), 1);
  EXPECT_EQ(peer.Requests(50), std::vector<Bytes>{kEotBytes});
  EXPECT_EQ(Slept(), (Sleeps{20, 100}));
  EXPECT_EQ(reply[0], 'C');  // the extra read took the byte off the line
}

TEST_F(DownloadPortTest, RepeatedEndOfTransmissionHasNoExtraRead) {
  peer.Respond(1, test::InTurn({Answer{kNak}, Answer{kAckReply, 0, {'C'}, 30}}));
  EXPECT_EQ(port.DownloadExchange(kEndOfTransmissionRequest, reply, 3), 1);
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
  const Bytes block = DataBlock();
  peer.Respond(block.size(), test::Always({}));
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(port.DownloadExchange(DataBlockRequest(block.data()), reply, 1), 0);
  auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(Slept(), (Sleeps{20, 500, 500, 500, 200, 50}));
  EXPECT_EQ(peer.RequestCount(50), 2);
  // Four reads in the first attempt and four in the repeat, each waiting out its deadline.
  EXPECT_GE(took, std::chrono::milliseconds(8 * 50 - 20));
}

TEST_F(DownloadPortTest, LateAcknowledgementIsCaughtByTheNextRead) {
  port.SetReadTimeout(200);
  const Bytes block = DataBlock();
  peer.Respond(block.size(), [](int, const Bytes&) { return Answer{kAckReply, 300}; });
  EXPECT_EQ(port.DownloadExchange(DataBlockRequest(block.data()), reply, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 1);
  Sleeps slept = Slept();
  ASSERT_GE(slept.size(), 2u);
  EXPECT_EQ(slept[0], 20u);
  EXPECT_EQ(slept[1], 500u);
}

TEST_F(DownloadPortTest, HeaderBlockAnsweredByALoneAcknowledgementIsRefused) {
  // Two bytes wanted after the header block, one acknowledgement received: not accepted.
  Bytes header(133, 0x00);
  header[0] = 0x01;
  header[2] = 0xFF;
  peer.Respond(header.size(), test::Always(kAckReply));
  port.SetReadTimeout(50);
  EXPECT_EQ(port.DownloadExchange(HeaderBlockRequest(header.data()), reply, 1), 0);
  EXPECT_EQ(peer.Requests(50), (std::vector<Bytes>{header, header}));
}

// The reply rules, against replies written out by hand.

// `n` bytes of `fill`, as a reply buffer.
Bytes Reply(size_t n, uint8_t fill = 'x') {
  return Bytes(n == 0 ? 1 : n, fill);
}

bool Accepts(const DownloadReplyRule& rule, const Bytes& reply, size_t n) {
  return rule.Accepts(reply.data(), static_cast<uint32_t>(n));
}

TEST(DownloadRequests, ClosingBlockGoesOutWhole) {
  const Bytes block(133, 0x00);
  EXPECT_EQ(ClosingBlockRequest(block.data()).length, 133u);
}

TEST(DownloadRequests, AutoDownloadTakesExactlyTwentyBytes) {
  const auto& rule = kAutoDownloadRequest.reply;
  EXPECT_EQ(rule.length, 20u);
  const std::string text = "AUTO IAP ENTER OK";
  Bytes ok(20, 0x00);
  std::copy(text.begin(), text.end(), ok.begin());
  EXPECT_TRUE(Accepts(rule, ok, 20));
  EXPECT_FALSE(Accepts(rule, Reply(20), 19));
  EXPECT_FALSE(Accepts(rule, kAutoIapBytes, kAutoIapBytes.size()));  // its echo
  EXPECT_FALSE(Accepts(rule, Reply(0), 0));
  EXPECT_FALSE(rule.silenceFailsAtOnce);
}

TEST(DownloadRequests, IdentifyTakesFiftyTwoBytesOrMore) {
  const auto& rule = kIdentifyRequest.reply;
  EXPECT_EQ(rule.length, 100u);
  EXPECT_TRUE(Accepts(rule, Reply(100, 'K'), 52));
  EXPECT_TRUE(Accepts(rule, Reply(100, 'K'), 100));
  EXPECT_FALSE(Accepts(rule, Reply(100, 'K'), 51));
  EXPECT_FALSE(Accepts(rule, kIdentifyBytes, 1));  // its echo
  EXPECT_FALSE(rule.silenceFailsAtOnce);
}

TEST(DownloadRequests, DownloadRequestTakesMoreThanThirtyBytesAndFailsSilenceAtOnce) {
  const auto& rule = kDownloadRequest.reply;
  EXPECT_EQ(rule.length, 58u);
  EXPECT_TRUE(Accepts(rule, Reply(58), 31));
  EXPECT_TRUE(Accepts(rule, Reply(58), 58));
  EXPECT_FALSE(Accepts(rule, Reply(58), 30));
  EXPECT_FALSE(Accepts(rule, kDownloadBytes, 1));  // its echo
  EXPECT_TRUE(rule.silenceFailsAtOnce);
  EXPECT_FALSE(rule.dropsTrailingByte);
}

TEST(DownloadRequests, DownloadReplyMustSayWaiting) {
  Bytes reply(100, 0x00);
  const std::string waiting = "Waiting...";
  std::copy(waiting.begin(), waiting.end(), reply.begin());
  EXPECT_TRUE(DownloadReplySaysWaiting(reply.data()));
  EXPECT_TRUE(DownloadReplySaysWaiting(reply.data() + 1));  // "aiting...": first byte lost
  reply[3] = 'T';                                           // "WaiTing"
  EXPECT_FALSE(DownloadReplySaysWaiting(reply.data()));
  EXPECT_FALSE(DownloadReplySaysWaiting(Bytes(100, 0x00).data()));
}

TEST(DownloadRequests, HeaderBlockTakesTwoBytesOfAnyValue) {
  const DownloadReplyRule& rule = kHeaderBlockReply;
  EXPECT_EQ(rule.length, 2u);
  EXPECT_TRUE(Accepts(rule, {0x06, 0x43}, 2));
  EXPECT_FALSE(Accepts(rule, {0x06, 0x43}, 1));
  // Unchecked by contract: an echo of the header block, cut to the two bytes read, passes.
  EXPECT_TRUE(Accepts(rule, {0x01, 0x00}, 2));
}

TEST(DownloadRequests, DataBlockAndEndOfTransmissionTakeTheAcknowledgement) {
  for (const DownloadReplyRule& rule : {kDataBlockReply, kEndOfTransmissionRequest.reply}) {
    EXPECT_EQ(rule.length, 1u);
    EXPECT_TRUE(Accepts(rule, {0x06}, 1));
    EXPECT_FALSE(Accepts(rule, {0x06}, 0));
    EXPECT_FALSE(Accepts(rule, {0x15}, 1));  // NAK
    EXPECT_FALSE(Accepts(rule, {0x43}, 1));  // "C"
  }
  EXPECT_FALSE(Accepts(kDataBlockReply, {0x02}, 1));                     // a data block's echo
  EXPECT_FALSE(Accepts(kEndOfTransmissionRequest.reply, kEotBytes, 1));  // 04 echoed
  EXPECT_FALSE(kDataBlockReply.dropsTrailingByte);
  EXPECT_TRUE(kEndOfTransmissionRequest.reply.dropsTrailingByte);
}

TEST(DownloadRequests, ClosingBlockTakesEightyBytesOfAnyValue) {
  const DownloadReplyRule& rule = kClosingBlockReply;
  EXPECT_EQ(rule.length, 80u);
  EXPECT_TRUE(Accepts(rule, Reply(80, 0x00), 80));
  EXPECT_FALSE(Accepts(rule, Reply(80, 0x00), 79));
  // Unchecked by contract: an echo of the closing block (01 00 FF 00 ...) cut to 80 bytes.
  Bytes echo(80, 0x00);
  echo[0] = 0x01;
  echo[2] = 0xFF;
  EXPECT_TRUE(Accepts(rule, echo, 80));
}

}  // namespace
}  // namespace fw
