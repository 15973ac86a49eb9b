#include "protocol/LinkPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "protocol/LinkFrame.h"
#include "support/FakeClockScope.h"
#include "support/PtyPeer.h"

namespace fw {
namespace {

using test::Bytes;
using test::PtyPeer;
using Answer = PtyPeer::Answer;
using Sleeps = std::vector<uint32_t>;

// `size` bytes starting 0x7E with `lengthByte` at offset 9 and valid checksums: a frame of
// 19 bytes or more carries a command packet whose parameters fill it; the rest is a pattern.
// (The checksums themselves are checked against hand-computed frames below.)
Bytes Frame(size_t size, uint8_t lengthByte) {
  Bytes f(size);
  for (size_t i = 0; i < size; ++i) {
    f[i] = static_cast<uint8_t>(0xA0 + i);
  }
  f[0] = 0x7E;
  if (size > 9) {
    f[9] = lengthByte;
  }
  if (size >= 19) {
    const size_t p = size - 19;
    f[12] = 0x02;
    f[15] = static_cast<uint8_t>(p);
    f[16] = static_cast<uint8_t>(p >> 8);
    f[size - 2] = PacketChecksum(f.data() + 13, p + 4);
    f[size - 1] = 0x03;
  }
  if (size >= 12) {
    SealFrame(f.data(), size);
  }
  return f;
}

// The connect frame 7E 00 00 00 00 00 00 00 00 0C with its checksum: the words 0x007E and
// 0x0C00 sum to 0x0C7E, whose complement 0xF381 is stored low byte first.
const Bytes kConnect = {0x7E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x81, 0xF3};

// An end-of-access reply worked out by hand. Packet 02 C6 81 01 00 00 EA 03: the code,
// length and status bytes sum to 0x148, and 0x32 - 0x48 = 0xEA (mod 256). Frame: the
// words 017E 1020 0100 1400 C602 0181 03EA sum to 0xF20B; its complement 0x0DF4 is stored
// as F4 0D.
const Bytes kEndAccessReply = {0x7E, 0x01, 0x00, 0x00, 0x20, 0x10, 0x00, 0x01, 0x00, 0x14,
                               0xF4, 0x0D, 0x02, 0xC6, 0x81, 0x01, 0x00, 0x00, 0xEA, 0x03};
// The same reply with a packet checksum one too high (EB) and a frame checksum that matches
// it (the sum one higher, 0xF20C, gives F3 0D): only the packet checksum is wrong.
const Bytes kWrongPacketSum = {0x7E, 0x01, 0x00, 0x00, 0x20, 0x10, 0x00, 0x01, 0x00, 0x14,
                               0xF3, 0x0D, 0x02, 0xC6, 0x81, 0x01, 0x00, 0x00, 0xEB, 0x03};

class LinkPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port.SetJobClock(clock.Job());
    ASSERT_EQ(port.Open(peer.SlavePath()), 1);
    ASSERT_EQ(port.Configure(115200, 8, kParityNone, kTwoStopBits), 1);
    port.SetReadTimeout(150);  // real time; every wait of the exchange is on the fake clock
  }
  Sleeps Slept() { return clock.clock().Sleeps(); }

  test::FakeClockScope clock;
  PtyPeer peer;
  LinkPort port;
  uint8_t reply[256] = {};
};

TEST_F(LinkPortTest, FrameWithItsLengthAtByteNineIsAcceptedAtOnce) {
  peer.Respond(kConnect.size(), test::Always(Frame(20, 20)));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 20, 3), 1);
  EXPECT_EQ(Bytes(reply, reply + 20), Frame(20, 20));
  EXPECT_EQ(peer.RequestCount(50), 1);
  EXPECT_EQ(peer.Requests()[0], kConnect);
  EXPECT_EQ(Slept(), Sleeps{});
}

TEST_F(LinkPortTest, WrongLengthByteIsRetriedAfterSeventyMs) {
  peer.Respond(12, test::InTurn({Answer{Frame(20, 21)}, Answer{Frame(20, 20)}}));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 20, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 2);
  EXPECT_EQ(Slept(), (Sleeps{70, 50}));
}

TEST_F(LinkPortTest, ReplyWithoutTheStartByteIsRefused) {
  Bytes noStart = Frame(20, 20);
  noStart[0] = 0x7D;
  peer.Respond(12, test::Always(noStart));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 20, 3), 0);
  // One request and three repeats, 70 ms after the first and 50 ms before each repeat.
  EXPECT_EQ(peer.RequestCount(50), 4);
  EXPECT_EQ(Slept(), (Sleeps{70, 50, 50, 50}));
}

TEST_F(LinkPortTest, RetryCountLimitsTheRequests) {
  peer.Respond(12, test::Always({}));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 20, 1), 0);
  EXPECT_EQ(peer.RequestCount(50), 2);
  EXPECT_EQ(Slept(), (Sleeps{70, 50}));
}

TEST_F(LinkPortTest, ShorterFrameIsTakenWhenTheDeadlinePasses) {
  // A block read waits for 232 bytes; a well-formed 40-byte frame is still the answer.
  peer.Respond(12, test::Always(Frame(40, 40)));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 232, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 1);
}

TEST_F(LinkPortTest, VersionQueryNeedsExactlyTheExpectedCount) {
  const Bytes query(kVersionQueryRequest, kVersionQueryRequest + 4);
  EXPECT_EQ(query, (Bytes{0x02, 0x50, 0x00, 0x03}));
  Bytes raw(128, 0x31);  // not a frame at all
  peer.Respond(4, test::Always(raw));
  EXPECT_EQ(port.Exchange(query.data(), 4, reply, 128, 3), 1);
  EXPECT_EQ(Bytes(reply, reply + 128), raw);
  EXPECT_EQ(Slept(), Sleeps{500});
  EXPECT_EQ(peer.RequestCount(50), 1);
}

TEST_F(LinkPortTest, VersionQueryWithOneByteMissingFailsEveryAttempt) {
  const Bytes query(kVersionQueryRequest, kVersionQueryRequest + 4);
  peer.Respond(4, test::Always(Bytes(127, 0x31)));
  EXPECT_EQ(port.Exchange(query.data(), 4, reply, 128, 3), 0);
  EXPECT_EQ(peer.RequestCount(50), 4);
  EXPECT_EQ(Slept(), (Sleeps{500, 70, 500, 50, 500, 50, 500, 50}));
}

TEST_F(LinkPortTest, OnlyTheExactVersionQueryGetsTheRawRule) {
  const Bytes other = {0x02, 0x50, 0x00, 0x04};
  peer.Respond(4, test::Always(Bytes(128, 0x31)));
  EXPECT_EQ(port.Exchange(other.data(), 4, reply, 128, 0), 0);
  EXPECT_EQ(Slept(), Sleeps{70});  // no 500 ms pause either
}

TEST_F(LinkPortTest, EchoIsAcceptedOnTheFirstAttemptWhenItPassesTheFrameRule) {
  peer.Respond(12, [](int, const Bytes& request) { return Answer{request}; });
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 12, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 1);
}

TEST_F(LinkPortTest, EchoIsRefusedOnEveryRepeat) {
  // Silence first, then the request comes back unchanged each time.
  peer.Respond(
      12, [](int index, const Bytes& request) { return index == 0 ? Answer{} : Answer{request}; });
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 12, 3), 0);
  EXPECT_EQ(peer.RequestCount(50), 4);
}

TEST_F(LinkPortTest, RealAnswerAfterEchoesIsAccepted) {
  Bytes answer = Frame(12, 12);
  peer.Respond(12, [answer](int index, const Bytes& request) {
    return index == 0 ? Answer{} : index == 1 ? Answer{request} : Answer{answer};
  });
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 12, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 3);
  EXPECT_EQ(Bytes(reply, reply + 12), answer);
}

TEST_F(LinkPortTest, EchoOfALongerFrameIsNotTakenForTheReply) {
  // A 31-byte block-read request echoed while 232 reply bytes are expected: it passes the
  // frame rule (0x7E, byte 9 = 31) but is the request itself.
  Bytes request = Frame(31, 31);
  peer.Respond(31, [](int index, const Bytes& r) { return index == 0 ? Answer{} : Answer{r}; });
  EXPECT_EQ(port.Exchange(request.data(), 31, reply, 232, 3), 0);
  EXPECT_EQ(peer.RequestCount(50), 4);
}

TEST_F(LinkPortTest, StaleBytesInTheReplyBufferAreNeverAnAnswer) {
  // Left from an earlier reply: 0x7E at 0 and a length byte of 0 at 9. Nothing arrives.
  reply[0] = 0x7E;
  reply[9] = 0;
  peer.Respond(12, test::Always({}));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 20, 1), 0);

  // Five bytes arrive and the stale length byte says 5: byte 9 itself was not received.
  peer.StopResponding();
  reply[9] = 5;
  peer.Respond(12, test::Always({0x7E, 1, 2, 3, 4}));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 20, 1), 0);
}

TEST_F(LinkPortTest, ExchangeAgainIsOneAttemptWithAFiftyMsPause) {
  peer.Respond(12, test::Always(Frame(20, 20)));
  EXPECT_EQ(port.ExchangeAgain(kConnect.data(), 12, reply, 20), 1);
  EXPECT_EQ(Slept(), Sleeps{50});
  EXPECT_EQ(peer.RequestCount(50), 1);
}

TEST_F(LinkPortTest, PendingInputIsPurgedBeforeTheRequest) {
  peer.Send(Frame(20, 20));  // a late answer to something earlier
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  peer.Respond(12, test::Always({}));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 20, 0), 0);
}

TEST(ReplySums, HandComputedReplyIsValid) {
  EXPECT_TRUE(ReplySumsValid(kEndAccessReply.data(), 20));
  EXPECT_TRUE(ReplySumsValid(kConnect.data(), 12));  // a frame without a packet
  EXPECT_FALSE(ReplySumsValid(kWrongPacketSum.data(), 20));
}

TEST(ReplySums, EverySingleBitFlipIsCaught) {
  for (size_t bit = 0; bit < kEndAccessReply.size() * 8; ++bit) {
    Bytes flipped = kEndAccessReply;
    flipped[bit / 8] = static_cast<uint8_t>(flipped[bit / 8] ^ (1u << (bit % 8)));
    EXPECT_FALSE(ReplySumsValid(flipped.data(), 20)) << "bit " << bit;
  }
}

TEST(ReplySums, PacketMustFillTheFrameBetweenItsMarks) {
  // Valid sums throughout, but the parameter length says 2 where the frame holds 1.
  Bytes f = Frame(20, 20);
  f[15] = 2;
  SealFrame(f.data(), 20);
  EXPECT_FALSE(ReplySumsValid(f.data(), 20));
  // A frame of 13 to 18 bytes cannot hold a packet.
  EXPECT_FALSE(ReplySumsValid(Frame(18, 18).data(), 18));
  EXPECT_FALSE(ReplySumsValid(Frame(20, 20).data(), 11));
}

TEST_F(LinkPortTest, ReplyWithABadChecksumIsRepeatedLikeAMissingOne) {
  Bytes flipped = kEndAccessReply;
  flipped[20 - 5] ^= 0x10;  // one bit of the packet's length field
  peer.Respond(12,
               test::InTurn({Answer{flipped}, Answer{kWrongPacketSum}, Answer{kEndAccessReply}}));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 20, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 3);
  EXPECT_EQ(Bytes(reply, reply + 20), kEndAccessReply);
  // The requests went out unchanged, each time.
  for (const Bytes& r : peer.Requests()) {
    EXPECT_EQ(r, kConnect);
  }
}

TEST_F(LinkPortTest, ReplyThatNeverPassesItsChecksumFailsAfterTheRetries) {
  peer.Respond(12, test::Always(kWrongPacketSum));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 20, 3), 0);
  EXPECT_EQ(peer.RequestCount(50), 4);
}

TEST_F(LinkPortTest, ChecksumsAreNotLookedAtWhenSwitchedOff) {
  EXPECT_TRUE(port.CheckReplySums());  // on unless switched off
  port.SetCheckReplySums(false);
  peer.Respond(12, test::Always(kWrongPacketSum));
  EXPECT_EQ(port.Exchange(kConnect.data(), 12, reply, 20, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 1);
  EXPECT_EQ(Bytes(reply, reply + 20), kWrongPacketSum);
}

TEST_F(LinkPortTest, VersionQueryReplyIsRawEvenWhenItLooksLikeAFrame) {
  const Bytes query(kVersionQueryRequest, kVersionQueryRequest + 4);
  Bytes raw(128, 0x31);
  raw[0] = 0x7E;
  raw[9] = 128;  // the frame rule holds, the checksums do not
  peer.Respond(4, test::Always(raw));
  EXPECT_EQ(port.Exchange(query.data(), 4, reply, 128, 3), 1);
  EXPECT_EQ(peer.RequestCount(50), 1);
}

TEST(SameBytes, ComparesCountsFirst) {
  const uint8_t a[] = {1, 2, 3, 4};
  const uint8_t b[] = {1, 2, 3, 5};
  EXPECT_EQ(SameBytes(a, a, 4, 4), 1);
  EXPECT_EQ(SameBytes(a, b, 3, 3), 1);
  EXPECT_EQ(SameBytes(a, b, 4, 4), 0);
  EXPECT_EQ(SameBytes(a, a, 4, 3), 0);
  // Different counts: no byte is looked at (null buffers would otherwise crash).
  EXPECT_EQ(SameBytes(nullptr, nullptr, 4, 5), 0);
  EXPECT_EQ(SameBytes(nullptr, nullptr, 0, 0), 1);
}

}  // namespace
}  // namespace fw
