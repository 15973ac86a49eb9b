#include "protocol/LinkPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/FakeClockScope.h"
#include "support/PtyPeer.h"

namespace fw {
namespace {

using test::Bytes;
using test::PtyPeer;
using Answer = PtyPeer::Answer;
using Sleeps = std::vector<uint32_t>;

// `size` bytes starting 0x7E with `lengthByte` at offset 9; the rest is a pattern.
Bytes Frame(size_t size, uint8_t lengthByte) {
  Bytes f(size);
  for (size_t i = 0; i < size; ++i) {
    f[i] = static_cast<uint8_t>(0xA0 + i);
  }
  f[0] = 0x7E;
  if (size > 9) {
    f[9] = lengthByte;
  }
  return f;
}

// The connect frame of the radio link: 12 bytes, 0x7E first, length 12 at offset 9.
const Bytes kConnect = {0x7E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00};

class LinkPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
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
