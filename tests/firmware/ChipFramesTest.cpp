#include "firmware/ChipFrames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace fw {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ChipFrames, SixteenByteRecordAt1230IsSentAsThirtyBytes) {
  uint8_t data[16];
  for (int i = 0; i < 16; ++i) {
    data[i] = static_cast<uint8_t>(i);
  }
  // Check byte worked out by hand: 00^17^03^94^00^12^30^10 = B2, the data 00..0F XOR to
  // 00, and B2^2F = 9D.
  const Bytes expected = {0x84, 0xA9, 0x61, 0x00, 0x17, 0x03, 0x94, 0x00, 0x12, 0x30,
                          0x10, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                          0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x2F, 0x9D, 0x00};
  uint8_t frame[kChipMaxDataFrame];
  ASSERT_EQ(BuildChipDataFrame(0x00, 0x12, 0x30, data, 16, frame), 30u);
  EXPECT_EQ(Bytes(frame, frame + 30), expected);
}

TEST(ChipFrames, RecordOnAPageWithMixedDataBytes) {
  const uint8_t data[16] = {0xA5, 0x5A, 0xFF, 0x00, 0x01, 0x80, 0x7E, 0x2F,
                            0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  uint8_t frame[kChipMaxDataFrame];
  ASSERT_EQ(BuildChipDataFrame(0x03, 0x12, 0x30, data, 16, frame), 30u);
  EXPECT_EQ(frame[7], 0x03);
  EXPECT_EQ(0, std::memcmp(frame + 11, data, 16));
  // Worked out separately: with page 0 the XOR would be C5; page 3 flips the two low bits.
  EXPECT_EQ(frame[28], 0xC5 ^ 0x03);
  EXPECT_EQ(frame[29], 0x00);
}

TEST(ChipFrames, LengthBytesOfLongRecords) {
  std::vector<uint8_t> data(255, 0x5A);
  uint8_t frame[kChipMaxDataFrame];
  ASSERT_EQ(BuildChipDataFrame(0, 0, 0, data.data(), 249, frame), 263u);
  EXPECT_EQ(frame[3], 0x01);  // 249 + 7 = 256
  EXPECT_EQ(frame[4], 0x00);
  EXPECT_EQ(frame[10], 249);
  EXPECT_EQ(frame[11 + 249], 0x2F);
  ASSERT_EQ(BuildChipDataFrame(0, 0, 0, data.data(), 248, frame), 262u);
  EXPECT_EQ(frame[3], 0x00);  // 255
  EXPECT_EQ(frame[4], 0xFF);
  ASSERT_EQ(BuildChipDataFrame(0, 0, 0, data.data(), 255, frame), 269u);
  EXPECT_EQ(frame[3], 0x01);  // 262
  EXPECT_EQ(frame[4], 0x06);
  EXPECT_EQ(frame[268], 0x00);
  EXPECT_EQ(BuildChipDataFrame(0, 0, 0, data.data(), 0, frame), 0u);
}

TEST(ChipFrames, FixedFramesCarryTheirOwnCheck) {
  // Every 10-byte fixed frame ends in 2F and the XOR of offsets 3..8.
  const uint8_t* frames[] = {kChipEraseRequest, kChipFinishRequest, kChipConfirmRequest,
                             kChipLeaveRequest, kChipEraseReply,    kChipDataReply,
                             kChipFinishReply,  kChipConfirmReply,  kChipLeaveReply};
  for (const uint8_t* f : frames) {
    uint8_t x = 0;
    for (int i = 3; i <= 8; ++i) {
      x ^= f[i];
    }
    EXPECT_EQ(f[8], 0x2F);
    EXPECT_EQ(f[9], x);
  }
}

TEST(ChipFrames, ReplyChecks) {
  uint8_t reply[100] = {0};
  // The enter reply is judged by its length alone.
  EXPECT_TRUE(ChipReplyMatches(kChipEnter, reply, 30, 30));
  EXPECT_FALSE(ChipReplyMatches(kChipEnter, reply, 29, 30));
  EXPECT_FALSE(ChipReplyMatches(kChipEnter, reply, 0, 30));
  // Each step's own reply.
  std::memcpy(reply, kChipHandshakeReply, 8);
  EXPECT_TRUE(ChipReplyMatches(kChipHandshake, reply, 8, 8));
  std::memcpy(reply, kChipEraseReply, 10);
  EXPECT_TRUE(ChipReplyMatches(kChipErase, reply, 10, 10));
  EXPECT_TRUE(ChipReplyMatches(kChipConfirm, reply, 10, 10));  // the same bytes
  EXPECT_FALSE(ChipReplyMatches(kChipFinish, reply, 10, 10));
  EXPECT_FALSE(ChipReplyMatches(kChipData, reply, 10, 10));
  // A status byte other than 00 is no success.
  reply[7] = 0x01;
  EXPECT_FALSE(ChipReplyMatches(kChipErase, reply, 10, 10));
}

TEST(ChipFrames, DataAcknowledgementAnswersAnyStep) {
  uint8_t reply[100] = {0};
  std::memcpy(reply, kChipDataReply, 10);
  for (int step = kChipEnter; step <= kChipLeave; ++step) {
    EXPECT_TRUE(ChipReplyMatches(step, reply, 10, 10)) << step;
  }
  // The handshake asks for 8 bytes; the acknowledgement's first 8 answer it.
  EXPECT_TRUE(ChipReplyMatches(kChipHandshake, reply, 8, 8));
  EXPECT_FALSE(ChipReplyMatches(kChipHandshake, reply, 7, 8));
}

TEST(ChipFrames, ShortReplyNeverBorrowsStaleBytes) {
  // The buffer still holds the finish reply from the step before; the leave step now gets
  // only the first five bytes of the same reply.
  uint8_t reply[100] = {0};
  std::memcpy(reply, kChipFinishReply, 10);
  EXPECT_FALSE(ChipReplyMatches(kChipLeave, reply, 5, 10));
  EXPECT_FALSE(ChipReplyMatches(kChipLeave, reply, 9, 10));
  EXPECT_TRUE(ChipReplyMatches(kChipLeave, reply, 10, 10));
  std::memcpy(reply, kChipDataReply, 10);
  EXPECT_FALSE(ChipReplyMatches(kChipData, reply, 3, 10));
}

TEST(ChipFrames, EnterText) {
  uint8_t reply[30] = {0};
  std::memcpy(reply, "A-enter", 7);
  EXPECT_EQ(ChipEnterText(reply, 30), "A-enter");
  // No 0 byte: cut at 25 characters.
  std::memset(reply, 'x', 30);
  std::memcpy(reply + 20, "S-enter", 7);
  EXPECT_EQ(ChipEnterText(reply, 30), std::string(20, 'x') + "S-ent");
  // Never past the bytes received.
  EXPECT_EQ(ChipEnterText(reply, 10), std::string(10, 'x'));
  EXPECT_EQ(ChipEnterText(reply, 0), "");
}

TEST(ChipFrames, VocoderFromEnterText) {
  EXPECT_EQ(ChipVocoderFromText("A-enter"), ChipVocoder::kAmbe);
  EXPECT_EQ(ChipVocoderFromText("boot A-enter ok"), ChipVocoder::kAmbe);
  EXPECT_EQ(ChipVocoderFromText("S-enter"), ChipVocoder::kSelp);
  EXPECT_EQ(ChipVocoderFromText("a-enter"), ChipVocoder::kUnknown);
  EXPECT_EQ(ChipVocoderFromText("A-ente"), ChipVocoder::kUnknown);
  EXPECT_EQ(ChipVocoderFromText(""), ChipVocoder::kUnknown);
}

}  // namespace
}  // namespace fw
