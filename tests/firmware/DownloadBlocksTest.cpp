// The download-mode blocks, byte for byte. Expected CRCs are constants computed outside
// this code base (CRC-16/CCITT-FALSE of the stated payloads).

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "firmware/Crc16.h"
#include "firmware/DownloadBlocks.h"

namespace fw {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

// Pattern image used by the data-block tests: byte i is (7 i + 3) mod 256.
std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) {
    v[i] = static_cast<uint8_t>(i * 7 + 3);
  }
  return v;
}

TEST(Crc16, PublishedCheckValues) {
  auto digits = Bytes("123456789");
  EXPECT_EQ(Crc16(digits.data(), digits.size()), 0x29B1);
  auto abc = Bytes("abc");
  EXPECT_EQ(Crc16(abc.data(), abc.size()), 0x514A);
  EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);  // nothing taken in: the initial value
}

TEST(HeaderBlock, AbBin2500ByteForByte) {
  uint8_t block[kHeaderBlockSize];
  ASSERT_TRUE(BuildHeaderBlock("AB.bin", 2500, block));
  std::vector<uint8_t> expected(kHeaderBlockSize, 0);
  const uint8_t start[] = {0x01, 0x00, 0xFF, 'A', 'B', '.', 'b',
                           'i',  'n',  0x00, '2', '5', '0', '0'};
  std::memcpy(expected.data(), start, sizeof start);
  expected[131] = 0xD3;
  expected[132] = 0xFC;
  EXPECT_EQ(std::vector<uint8_t>(block, block + kHeaderBlockSize), expected);
}

TEST(HeaderBlock, SizeDigitsHaveNoLeadingZerosAndZeroHasNone) {
  uint8_t block[kHeaderBlockSize];
  ASSERT_TRUE(BuildHeaderBlock("x", 1048576, block));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block + 5), 7), "1048576");
  EXPECT_EQ(block[12], 0);
  ASSERT_TRUE(BuildHeaderBlock("x", 0, block));
  EXPECT_EQ(block[4], 0);
  EXPECT_EQ(block[5], 0);
  char digits[10];
  EXPECT_EQ(DecimalDigits(4294967295u, digits), 10u);
  EXPECT_EQ(std::string(digits, 10), "4294967295");
}

TEST(HeaderBlock, NameTooLongIsRefusedWithoutTouchingTheBlock) {
  uint8_t block[kHeaderBlockSize + 8];
  std::memset(block, 0xEE, sizeof block);
  // 128 payload bytes: name + zero + 4 digits + zero must fit; 122 is the longest name.
  EXPECT_TRUE(BuildHeaderBlock(std::string(122, 'n'), 2500, block));
  EXPECT_EQ(block[3 + 122], 0);
  std::memset(block, 0xEE, sizeof block);
  EXPECT_FALSE(BuildHeaderBlock(std::string(123, 'n'), 2500, block));
  EXPECT_FALSE(BuildHeaderBlock(std::string(300, 'n'), 2500, block));
  for (uint8_t b : block) {
    ASSERT_EQ(b, 0xEE);
  }
}

TEST(ClosingBlock, ZeroPayloadWithItsCrc) {
  uint8_t block[kHeaderBlockSize];
  BuildClosingBlock(block);
  EXPECT_EQ(block[0], 0x01);
  EXPECT_EQ(block[1], 0x00);
  EXPECT_EQ(block[2], 0xFF);
  for (size_t i = 3; i < 131; ++i) {
    ASSERT_EQ(block[i], 0) << i;
  }
  EXPECT_EQ(block[131], 0xF0);
  EXPECT_EQ(block[132], 0x0A);
}

TEST(DataBlock, FullBlockCarriesTheImageBytes) {
  auto image = Pattern(2048);
  uint8_t block[kDataBlockSize];
  BuildDataBlock(2, image.data() + 1024, 1024, block);
  EXPECT_EQ(block[0], 0x02);
  EXPECT_EQ(block[1], 0x02);
  EXPECT_EQ(block[2], 0xFD);
  EXPECT_EQ(0, std::memcmp(block + 3, image.data() + 1024, 1024));
  uint16_t crc = Crc16(image.data() + 1024, 1024);
  EXPECT_EQ(block[1027], crc >> 8);
  EXPECT_EQ(block[1028], crc & 0xFF);
}

TEST(DataBlock, LastBlockOf2500IsPaddedWith1A) {
  auto image = Pattern(2500);
  uint8_t block[kDataBlockSize];
  BuildDataBlock(3, image.data() + 2048, 452, block);
  EXPECT_EQ(block[1], 3);
  EXPECT_EQ(block[2], 0xFC);
  EXPECT_EQ(0, std::memcmp(block + 3, image.data() + 2048, 452));
  for (size_t i = 3 + 452; i < 1027; ++i) {
    ASSERT_EQ(block[i], 0x1A) << i;
  }
  EXPECT_EQ(block[1027], 0x98);
  EXPECT_EQ(block[1028], 0x89);
}

TEST(DataBlock, ShortImageIsOnePaddedBlock) {
  const uint8_t tiny[3] = {1, 2, 3};
  uint8_t block[kDataBlockSize];
  BuildDataBlock(1, tiny, 3, block);
  EXPECT_EQ(block[3], 1);
  EXPECT_EQ(block[5], 3);
  EXPECT_EQ(block[6], 0x1A);
  EXPECT_EQ(block[1026], 0x1A);
}

TEST(DataBlock, BlockNumberWrapsPast255) {
  auto image = Pattern(1024);
  uint8_t block[kDataBlockSize];
  BuildDataBlock(255, image.data(), 1024, block);
  EXPECT_EQ(block[1], 0xFF);
  EXPECT_EQ(block[2], 0x00);
  BuildDataBlock(256, image.data(), 1024, block);
  EXPECT_EQ(block[1], 0x00);
  EXPECT_EQ(block[2], 0xFF);
  BuildDataBlock(257, image.data(), 1024, block);
  EXPECT_EQ(block[1], 0x01);
  EXPECT_EQ(block[2], 0xFE);
}

}  // namespace
}  // namespace fw
