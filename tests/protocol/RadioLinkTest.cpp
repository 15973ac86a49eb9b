#include "protocol/RadioLink.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

#include "support/FakeClockScope.h"
#ifndef _WIN32
#include "support/PtyPeer.h"
#endif
#include "support/SimulatedLink.h"

namespace fw {
namespace {

using sim::FramedLinkResponder;
using Cmd = FramedLinkResponder::Command;
using Fault = FramedLinkResponder::Fault;

class RadioLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.Port().SetJobClock(clock.Job());
    ASSERT_TRUE(sim.Connect(link));
  }
  void TearDown() override { link.Disconnect(); }

  test::FakeClockScope clock;
  test::SimulatedLink sim;
  RadioLink link;
};

TEST_F(RadioLinkTest, ConnectAnswersOnceAndLeavesThePortOpen) {
  EXPECT_TRUE(link.Port().IsOpen());
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kConnect); }), 1);
}

TEST_F(RadioLinkTest, SendCommandWithoutParametersSendsNothing) {
  const uint64_t before = sim.pty.BytesReceived();
  uint8_t reply[32];
  EXPECT_FALSE(link.SendCommand(kCmdEndAccess, nullptr, 0, 0x81C6, reply, sizeof reply));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(sim.pty.BytesReceived(), before);
  EXPECT_TRUE(link.Port().IsOpen());
}

TEST_F(RadioLinkTest, ReadBlockOf37AsksFor200AndCopies37) {
  sim.With([](FramedLinkResponder& r) {
    auto& mem = r.MemoryImage(FramedLinkResponder::Memory::kData);
    for (size_t i = 0; i < mem.size(); ++i) {
      mem[i] = static_cast<uint8_t>(i * 7 + 3);
    }
  });
  std::vector<uint8_t> dest(64, 0xEE);
  ASSERT_TRUE(link.ReadBlock(kMemorySelector, 0, 1000, 37, dest.data()));
  for (size_t i = 0; i < 37; ++i) {
    ASSERT_EQ(dest[i], static_cast<uint8_t>((1000 + i) * 7 + 3)) << i;
  }
  EXPECT_EQ(dest[37], 0xEE);  // only 37 bytes copied
  auto req = sim.With([](auto& r) { return r.Requests().back(); });
  EXPECT_EQ(req.command, Cmd::kReadBlock);
  EXPECT_EQ(req.offset, 1000u);
  EXPECT_EQ(req.length, 200);
}

TEST_F(RadioLinkTest, ShortFramedReplyIsNotCopiedFrom) {
  // A 20-byte frame whose length byte says 20 passes the exchange once the deadline has
  // passed; its data would lie beyond what arrived.
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadBlock, Fault::kShortReply, 0, 1); });
  std::vector<uint8_t> dest(200, 0xEE);
  EXPECT_FALSE(link.ReadBlock(kMemorySelector, 0, 0, 200, dest.data()));
  EXPECT_EQ(dest[0], 0xEE);
  EXPECT_EQ(dest[199], 0xEE);
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadInfo, Fault::kShortReply, 0, 1); });
  EXPECT_FALSE(link.ReadInfo(nullptr, 0, 8, dest.data(), 185).has_value());
  EXPECT_EQ(dest[0], 0xEE);
}

TEST_F(RadioLinkTest, ReadBlockRefusesMoreThanOneBlockWithoutSending) {
  uint8_t dest[256];
  EXPECT_FALSE(link.ReadBlock(kMemorySelector, 0, 0, 201, dest));
  EXPECT_FALSE(link.ReadBlock(kMemorySelector, 0, 0, 0, dest));
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kReadBlock); }), 0);
  EXPECT_TRUE(link.Port().IsOpen());
}

TEST_F(RadioLinkTest, ReadInfoReturnsStatusAndCopiesTheBlock) {
  auto block = FramedLinkResponder::MakeInfoBlock("KZ66000000N02000", "KZ66NB", '3');
  sim.With([&](auto& r) {
    r.SetInfoBlock(8, block);
    r.SetInfoStatus(2);
  });
  std::vector<uint8_t> dest(185, 0);
  EXPECT_EQ(link.ReadInfo(nullptr, 0, 8, dest.data(), 185), std::optional<uint8_t>(2));
  EXPECT_TRUE(std::equal(dest.begin(), dest.end(), block.begin()));
  auto req = sim.With([](auto& r) { return r.Requests().back(); });
  EXPECT_EQ(req.command, Cmd::kReadInfo);
  EXPECT_EQ(req.infoArea, 8);
}

TEST_F(RadioLinkTest, ReadInfoRefusesStatus1AndAWrongArea) {
  std::vector<uint8_t> dest(185, 0xEE);
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadInfo, Fault::kStatus1, 0, 1); });
  EXPECT_FALSE(link.ReadInfo(nullptr, 0, 8, dest.data(), 185).has_value());
  EXPECT_EQ(dest[0], 0xEE);
  sim.With([](auto& r) { r.InjectFault(Cmd::kReadInfo, Fault::kWrongArea, 0, 1); });
  EXPECT_FALSE(
      link.ReadInfo(nullptr, 0, 8, dest.data(), 185).has_value());  // the radio says area 5
  EXPECT_EQ(dest[0], 0xEE);
  // A well-formed reply of the wrong length is refused too.
  EXPECT_FALSE(link.ReadInfo(nullptr, 0, 8, dest.data(), 100).has_value());
  EXPECT_EQ(dest[0], 0xEE);
}

TEST_F(RadioLinkTest, EveryDataFrameCarriesSequenceOne) {
  uint8_t dest[200];
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(link.ReadBlock(kMemorySelector, 0, 200u * i, 200, dest));
  }
  auto requests = sim.With([](auto& r) { return r.Requests(); });
  ASSERT_EQ(requests.size(), 11u);  // connect + 10 blocks
  for (size_t i = 1; i < requests.size(); ++i) {
    EXPECT_EQ(requests[i].sequence, 1) << "frame " << i;
  }
}

TEST_F(RadioLinkTest, WriteBlockLandsInTheSelectedArea) {
  std::vector<uint8_t> data(200);
  std::iota(data.begin(), data.end(), 1);
  uint8_t info[185];
  ASSERT_EQ(link.ReadInfo(nullptr, 0, 5, info, 185),
            std::optional<uint8_t>(0));  // selects the font area
  ASSERT_TRUE(link.WriteBlock(kMemorySelector, 0, 400, 200, data.data()));
  EXPECT_TRUE(link.EndAccess(0));
  sim.With([&](FramedLinkResponder& r) {
    auto& font = r.MemoryImage(FramedLinkResponder::Memory::kFont);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), font.begin() + 400));
    EXPECT_EQ(r.MemoryImage(FramedLinkResponder::Memory::kData)[400], 0);
  });
}

TEST_F(RadioLinkTest, FailedCommandClosesThePortSoLaterCommandsFail) {
  sim.With([](auto& r) { r.InjectFault(Cmd::kEndAccess, Fault::kWrongLength); });
  EXPECT_FALSE(link.EndAccess(0));
  EXPECT_FALSE(link.Port().IsOpen());
  // The wrong length byte was sent on every attempt: one request and three repeats.
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kEndAccess); }), 4);
  uint8_t dest[200];
  EXPECT_FALSE(link.ReadBlock(kMemorySelector, 0, 0, 200, dest));
}

TEST(RadioLinkConnect, UnselectedPortFailsWithoutOpening) {
#ifdef _WIN32
  const std::string device = "\\\\.\\COM9";  // none is opened
#else
  test::PtyPeer peer;
  const std::string device = peer.SlavePath();
#endif
  RadioLink link;
  EXPECT_FALSE(link.Connect(0, device));   // no port chosen
  EXPECT_FALSE(link.Connect(65, device));  // beyond COM64
  EXPECT_FALSE(link.Connect(3, ""));       // a number with no device
  EXPECT_FALSE(link.Port().IsOpen());
}

TEST(RadioLinkConnect, SilentRadioFailsAfterThreeConnectFramesAndClosesThePort) {
  test::FakeClockScope clock;
  test::SimulatedLink sim;
  sim.With([](auto& r) { r.SetUnreachableConnects(3); });
  RadioLink link;
  link.Port().SetJobClock(clock.Job());
  EXPECT_FALSE(sim.Connect(link));
  EXPECT_FALSE(link.Port().IsOpen());
  EXPECT_EQ(sim.With([](auto& r) { return r.CountOf(Cmd::kConnect); }), 3);
  // The fourth connect frame is answered.
  EXPECT_TRUE(sim.Connect(link));
  link.Disconnect();
}

// The exchange takes a framed reply when its byte 9 equals the count received; byte 8,
// the length's high byte, is not compared. A 20-byte block reply whose length field says
// 0x0114 (276) must not pass for one that carries the block.
#ifndef _WIN32  // a hand-written answer on a pseudo-terminal
TEST(RadioLinkReplies, BlockReplyWithALengthBeyondWhatArrivedIsNotCopiedFrom) {
  test::FakeClockScope clock;
  test::PtyPeer peer;
  test::Bytes hello(12, 0x11);
  hello[0] = kFrameStart;
  hello[9] = 12;
  test::Bytes shortBlock(20, 0x55);
  shortBlock[0] = kFrameStart;
  shortBlock[8] = 0x01;
  shortBlock[9] = 20;
  // A well-formed packet of one parameter byte, so that the checksums pass.
  shortBlock[12] = 0x02;
  shortBlock[15] = 1;
  shortBlock[16] = 0;
  shortBlock[18] = PacketChecksum(shortBlock.data() + 13, 5);
  shortBlock[19] = 0x03;
  SealFrame(shortBlock.data(), shortBlock.size());
  // Requests are taken 12 bytes at a time: the block reply follows the first 12 bytes of
  // the 31-byte ReadBlock request, the rest of it gets no answer.
  peer.Respond(12, test::InTurn({test::PtyPeer::Answer{hello}, test::PtyPeer::Answer{shortBlock}}));
  RadioLink link;
  link.Port().SetJobClock(clock.Job());
  ASSERT_TRUE(link.Connect(9, peer.SlavePath()));
  std::vector<uint8_t> dest(200, 0xEE);
  EXPECT_FALSE(link.ReadBlock(kMemorySelector, 0, 0, 1, dest.data()));
  EXPECT_EQ(dest[0], 0xEE);
  link.Disconnect();
  peer.StopResponding();
}
#endif  // _WIN32

}  // namespace
}  // namespace fw
