#include "protocol/LinkFrame.h"

#include <gtest/gtest.h>

#include <vector>

namespace fw {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes DataFrameFor(uint16_t code, const Bytes& params) {
  uint8_t packet[kFrameBufferSize];
  uint8_t frame[kFrameBufferSize];
  size_t p = BuildCommandPacket(code, params.data(), params.size(), packet, sizeof packet);
  size_t f = BuildDataFrame(packet, p, FrameSequence().Next(true), frame, sizeof frame);
  return Bytes(frame, frame + f);
}

TEST(LinkFrame, WorkedExamplesByteForByte) {
  uint8_t connect[kConnectFrameSize];
  ASSERT_EQ(BuildConnectFrame(connect, sizeof connect), 12u);
  EXPECT_EQ(Bytes(connect, connect + 12),
            (Bytes{0x7E, 0x00, 0x00, 0xFE, 0x20, 0x10, 0x00, 0x00, 0x00, 0x0C, 0x60, 0xE5}));

  EXPECT_EQ(DataFrameFor(kCmdEndAccess, {0x00}),
            (Bytes{0x7E, 0x01, 0x00, 0x00, 0x20, 0x10, 0x00, 0x01, 0x00, 0x14,
                   0xF4, 0x0E, 0x02, 0xC6, 0x01, 0x01, 0x00, 0x00, 0x6A, 0x03}));

  uint8_t address[kBlockAddressSize];
  BuildBlockAddress(kMemorySelector, 0, 0, kBlockSize, address);
  EXPECT_EQ(DataFrameFor(kCmdReadBlock, Bytes(address, address + 12)),
            (Bytes{0x7E, 0x01, 0x00, 0x00, 0x20, 0x10, 0x00, 0x01, 0x00, 0x1F, 0x58,
                   0x9E, 0x02, 0xC7, 0x01, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
                   0x00, 0x00, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x95, 0x03}));
}

TEST(LinkFrame, ChecksumOfOddLengthPadsWithZeroForTheSumOnly) {
  // 7E 01 00 00 20 10 00 01 00 0D [00 00] AB as little-endian words:
  // 017E + 0000 + 1020 + 0100 + 0D00 + 0000 + 00AB = 2049, complement DFB6.
  uint8_t frame[13] = {0x7E, 0x01, 0x00, 0x00, 0x20, 0x10, 0x00, 0x01, 0x00, 0x0D, 0, 0, 0xAB};
  EXPECT_EQ(FrameChecksum(frame, 13), 0xDFB6);
  SealFrame(frame, 13);
  EXPECT_EQ(frame[10], 0xB6);
  EXPECT_EQ(frame[11], 0xDF);
  EXPECT_EQ(frame[12], 0xAB);  // nothing written past the frame
  EXPECT_TRUE(FrameChecksumValid(frame, 13));
  frame[12] ^= 0x01;
  EXPECT_FALSE(FrameChecksumValid(frame, 13));
}

TEST(LinkFrame, ChecksumFoldsCarriesTwice) {
  // FFFF + FFFF + 0001 = 1FFFF; folded once 10000, folded again 0001; complement FFFE.
  const uint8_t bytes[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0x01};
  EXPECT_EQ(FrameChecksum(bytes, 5), 0xFFFE);
}

TEST(LinkFrame, PacketChecksumIs0x32MinusTheSum) {
  const uint8_t endAccess[5] = {0xC6, 0x01, 0x01, 0x00, 0x00};  // sum C8
  EXPECT_EQ(PacketChecksum(endAccess, 5), 0x6A);
  const uint8_t wraps[3] = {0xFF, 0xFF, 0x10};  // sum 0x0E (mod 256): 0x32 - 0x0E = 0x24
  EXPECT_EQ(PacketChecksum(wraps, 3), 0x24);
}

TEST(LinkFrame, SequenceRestartsAtOneAndOtherwiseCounts) {
  FrameSequence sequence;
  EXPECT_EQ(sequence.Next(true), 1);
  EXPECT_EQ(sequence.Next(false), 2);
  EXPECT_EQ(sequence.Next(false), 3);
  EXPECT_EQ(sequence.Next(true), 1);
  // Each link counts on its own.
  FrameSequence other;
  EXPECT_EQ(other.Next(false), 1);
  EXPECT_EQ(sequence.Next(false), 2);
  for (int i = 0; i < 9; ++i) {
    DataFrameFor(kCmdEndAccess, {0x00});
  }
  Bytes tenth = DataFrameFor(kCmdEndAccess, {0x00});
  EXPECT_EQ(tenth[6], 0x00);
  EXPECT_EQ(tenth[7], 0x01);
}

TEST(LinkFrame, BuildersRefuseBuffersTooSmall) {
  uint8_t small[30];
  const Bytes params(24, 0xAA);  // packet of 31 bytes
  EXPECT_EQ(BuildCommandPacket(kCmdWriteBlock, params.data(), params.size(), small, sizeof small),
            0u);
  uint8_t big[kFrameBufferSize];
  const Bytes tooMany(kMaxParameterLength + 1, 0);
  uint8_t packet[kFrameBufferSize];
  size_t p =
      BuildCommandPacket(kCmdWriteBlock, tooMany.data(), tooMany.size(), packet, sizeof packet);
  EXPECT_EQ(BuildDataFrame(packet, p, 1, big, sizeof big), 0u);  // 1025 bytes do not fit
  const Bytes most(kMaxParameterLength, 0);
  p = BuildCommandPacket(kCmdWriteBlock, most.data(), most.size(), packet, sizeof packet);
  ASSERT_EQ(p, kFrameBufferSize - kLinkHeaderSize);
  EXPECT_EQ(BuildDataFrame(packet, p, 1, big, sizeof big), kFrameBufferSize);
  EXPECT_EQ(BuildDataFrame(packet, p, 1, big, sizeof big - 1), 0u);
}

TEST(LinkFrame, BlockAddressIsLittleEndian) {
  uint8_t a[kBlockAddressSize];
  BuildBlockAddress(kMemorySelector, 170, 0x00012345, 37, a);
  EXPECT_EQ(Bytes(a, a + 12),
            (Bytes{0x00, 0x00, 0x00, 0x01, 0xAA, 0x00, 0x45, 0x23, 0x01, 0x00, 0x25, 0x00}));
}

}  // namespace
}  // namespace fw
