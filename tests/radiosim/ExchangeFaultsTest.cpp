// Faults injected by exchange name: what each fault makes of the radio's answer, byte for
// byte; that a plan hits only its exchange, phase and requests; and a line error reaching
// the tool's port over the pseudo-terminal, which keeps no line-error counters of its own.

#include "ExchangeFaults.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "RadioSim.h"
#include "serial/SerialPort.h"

namespace fw::sim {
namespace {

using Bytes = std::vector<uint8_t>;

// The radio's 12-byte answer to a connect frame (addresses swapped; RFC 1071 checksum by
// hand: 0x007E + 0xFE00 + 0x2010 + 0x0C00 = 0x12A8E, folded 0x2A8F, inverted 0xD570), and
// the connect frame itself.
const Bytes kConnectReply = {0x7E, 0x00, 0x00, 0xFE, 0x10, 0x20, 0, 0, 0x00, 0x0C, 0x70, 0xD5};
const Bytes kConnect = {0x7E, 0x00, 0x00, 0xFE, 0x20, 0x10, 0x00, 0x00, 0x00, 0x0C, 0x60, 0xE5};

std::vector<Action> Answer(const Bytes& bytes, uint32_t delayMs = 0) {
  Action a;
  a.bytes = bytes;
  a.delayMs = delayMs;
  return {a};
}

TEST(ExchangeFaultApply, EachFaultChangesTheAnswerAsDocumented) {
  const Bytes request = {'R'};
  // Corrupt: a frame's length byte (offset 9) one too many; an ACK inverted to 0xF9.
  std::vector<Action> a = Answer(kConnectReply, 7);
  ExchangeFaults::Apply(ReplyFault::kCorrupt, kConnect.data(), kConnect.size(), a);
  ASSERT_EQ(a.size(), 1u);
  Bytes expected = kConnectReply;
  expected[9] = 0x0D;
  EXPECT_EQ(a[0].bytes, expected);
  EXPECT_EQ(a[0].delayMs, 7u);
  a = Answer({0x06});
  ExchangeFaults::Apply(ReplyFault::kCorrupt, request.data(), 1, a);
  EXPECT_EQ(a[0].bytes, Bytes{0xF9});

  // Short: the first half; an ACK alone becomes silence.
  a = Answer(kConnectReply);
  ExchangeFaults::Apply(ReplyFault::kShort, kConnect.data(), kConnect.size(), a);
  EXPECT_EQ(a[0].bytes, Bytes(kConnectReply.begin(), kConnectReply.begin() + 6));
  a = Answer({0x06});
  ExchangeFaults::Apply(ReplyFault::kShort, request.data(), 1, a);
  EXPECT_TRUE(a.empty());

  // Echo: the request instead of the reply.
  a = Answer({0x06, 0x43});
  ExchangeFaults::Apply(ReplyFault::kEcho, kConnect.data(), kConnect.size(), a);
  EXPECT_EQ(a[0].bytes, kConnect);

  // Hang-up: half the reply, then the cut; line error: the whole reply, flagged.
  a = Answer(kConnectReply);
  ExchangeFaults::Apply(ReplyFault::kHangUp, kConnect.data(), kConnect.size(), a);
  EXPECT_EQ(a[0].bytes.size(), 6u);
  EXPECT_TRUE(a[0].hangUp);
  a = Answer(kConnectReply);
  ExchangeFaults::Apply(ReplyFault::kLineError, kConnect.data(), kConnect.size(), a);
  EXPECT_EQ(a[0].bytes, kConnectReply);
  EXPECT_TRUE(a[0].lineError);

  // No reply and not ready: nothing goes back.
  for (ReplyFault f : {ReplyFault::kNoReply, ReplyFault::kNotReady}) {
    a = Answer(kConnectReply);
    ExchangeFaults::Apply(f, kConnect.data(), kConnect.size(), a);
    EXPECT_TRUE(a.empty()) << ReplyFaultName(f);
  }
}

TEST(ExchangeFaultApply, BitFlipInvertsOneBitMovingOnWithEachInjection) {
  // The first flip: bit 0 of the middle byte (offset 6 of 12: 0x00 becomes 0x01).
  std::vector<Action> a = Answer(kConnectReply, 3);
  ExchangeFaults::Apply(ReplyFault::kBitFlip, kConnect.data(), kConnect.size(), a);
  ASSERT_EQ(a.size(), 1u);
  Bytes expected = kConnectReply;
  expected[6] = 0x01;
  EXPECT_EQ(a[0].bytes, expected);
  EXPECT_EQ(a[0].delayMs, 3u);
  EXPECT_FALSE(a[0].lineError);  // nothing tells the tool: only the checksums can
  // The second: 37 bytes further on (6 + 37 = 43, and 43 mod 12 = 7), bit 3: 0x00 -> 0x08.
  a = Answer(kConnectReply);
  ExchangeFaults::Apply(ReplyFault::kBitFlip, kConnect.data(), kConnect.size(), a, 1);
  expected = kConnectReply;
  expected[7] = 0x08;
  EXPECT_EQ(a[0].bytes, expected);
  // An acknowledgement: 0x06 becomes 0x07.
  a = Answer({0x06});
  ExchangeFaults::Apply(ReplyFault::kBitFlip, kConnect.data(), kConnect.size(), a);
  EXPECT_EQ(a[0].bytes, Bytes{0x07});
  // Silence stays silence.
  a.clear();
  ExchangeFaults::Apply(ReplyFault::kBitFlip, kConnect.data(), kConnect.size(), a);
  EXPECT_TRUE(a.empty());
}

TEST(ExchangeFaultPlanTest, EveryNthRequestFromTheFirstOn) {
  ExchangeFaults faults;
  ExchangeFaultPlan plan{"read block", "", 2, ReplyFault::kBitFlip, -1};
  plan.every = 3;
  faults.SetPlan(plan);
  SimPty::FaultHook hook = faults.Hook();
  std::vector<int> flipped;
  for (int i = 1; i <= 10; ++i) {
    std::vector<Action> a = Answer(kConnectReply);
    hook("read block", kConnect.data(), kConnect.size(), a);
    if (a[0].bytes != kConnectReply) {
      flipped.push_back(i);
    }
  }
  EXPECT_EQ(flipped, (std::vector<int>{2, 5, 8}));
  EXPECT_EQ(faults.Injected(), 3);
}

TEST(ExchangeFaultPlanTest, HitsOnlyItsExchangePhaseAndRequests) {
  ExchangeFaults faults;
  faults.SetPlan({"read block", "read", 2, ReplyFault::kNoReply, 2});
  SimPty::FaultHook hook = faults.Hook();
  const Bytes request = {1, 2, 3};
  auto answered = [&](const char* exchange) {
    std::vector<Action> a = Answer({0x7E});
    hook(exchange, request.data(), request.size(), a);
    return !a.empty();
  };
  faults.SetPhase("write");
  EXPECT_TRUE(answered("read block"));  // another phase
  faults.SetPhase("read");
  EXPECT_TRUE(answered("connect"));     // another exchange
  EXPECT_TRUE(answered("read block"));  // the first of the phase
  EXPECT_FALSE(answered("read block"));
  EXPECT_FALSE(answered("read block"));
  EXPECT_TRUE(answered("read block"));  // the radio recovers after two
  EXPECT_TRUE(answered(nullptr));       // unrecognised requests are left alone
  EXPECT_EQ(faults.Injected(), 2);
  EXPECT_EQ(faults.Seen().size(), 6u);
}

TEST(ExchangeFaultLine, InjectedLineErrorFailsTheToolsReadAtOnce) {
  ExchangeFaults faults;
  faults.SetPlan({"connect", "", 2, ReplyFault::kLineError, 1});
  RadioSimConfig config;
  config.startMode = RadioMode::kNormal;
  RadioSim radio(config);
  radio.Pty().SetFaultHook(faults.Hook());
  ASSERT_TRUE(radio.Start()) << radio.Error();
  SerialPort port;
  ASSERT_EQ(port.Open(radio.DevicePath()), 1);
  ASSERT_EQ(port.Configure(115200, 8, kParityNone, kOneStopBit), 1);
  port.SetReadTimeout(3000);
  auto ask = [&](Bytes& reply) {
    port.Purge();
    port.Write(kConnect.data(), static_cast<uint32_t>(kConnect.size()));
    reply.assign(12, 0);
    const auto start = std::chrono::steady_clock::now();
    reply.resize(port.Read(reply.data(), 12));
    return std::chrono::steady_clock::now() - start;
  };
  Bytes reply;
  ask(reply);
  EXPECT_EQ(reply, kConnectReply);
  // With the line error the read gives up at once, although the bytes arrive.
  EXPECT_LT(ask(reply), std::chrono::milliseconds(2900));
  EXPECT_TRUE(reply.empty());
  EXPECT_EQ(radio.Pty().LineErrors(), 1u);
  ask(reply);  // the error was taken by the failed read; the next one is clean again
  EXPECT_EQ(reply, kConnectReply);
}

}  // namespace
}  // namespace fw::sim
