#include "firmware/ChipFrames.h"

#include <algorithm>
#include <cstring>

namespace fw {

uint8_t ChipXor(const uint8_t* bytes, size_t count) {
  uint8_t x = 0;
  for (size_t i = 0; i < count; ++i) {
    x ^= bytes[i];
  }
  return x;
}

uint32_t BuildChipDataFrame(uint8_t page, uint8_t addressHigh, uint8_t addressLow,
                            const uint8_t* data, uint8_t n, uint8_t* frame) {
  if (n == 0) {
    return 0;
  }
  const uint32_t length = static_cast<uint32_t>(n) + 7;  // from offset 5 through the end mark
  frame[0] = kChipFrameHeader[0];
  frame[1] = kChipFrameHeader[1];
  frame[2] = kChipFrameHeader[2];
  frame[3] = static_cast<uint8_t>(length >> 8);
  frame[4] = static_cast<uint8_t>(length & 0xFF);
  frame[5] = 0x03;
  frame[6] = 0x94;
  frame[7] = page;
  frame[8] = addressHigh;
  frame[9] = addressLow;
  frame[10] = n;
  std::memcpy(frame + 11, data, n);
  frame[11 + n] = kChipEndMark;
  frame[12 + n] = ChipXor(frame + 3, 9 + static_cast<size_t>(n));  // offsets 3..11+n
  frame[13 + n] = 0x00;
  return static_cast<uint32_t>(n) + kChipDataFrameOverhead;
}

const uint8_t* ChipExpectedReply(int step, size_t* length) {
  const uint8_t* reply = nullptr;
  size_t n = 10;
  switch (step) {
    case kChipHandshake:
      reply = kChipHandshakeReply;
      n = sizeof kChipHandshakeReply;
      break;
    case kChipErase:
      reply = kChipEraseReply;
      break;
    case kChipData:
      reply = kChipDataReply;
      break;
    case kChipFinish:
      reply = kChipFinishReply;
      break;
    case kChipConfirm:
      reply = kChipConfirmReply;
      break;
    case kChipLeave:
      reply = kChipLeaveReply;
      break;
    default:
      n = 0;
      break;
  }
  if (length != nullptr) {
    *length = n;
  }
  return reply;
}

namespace {

// The reply begins with `pattern`, compared over at most the bytes asked for; every byte
// compared must have been received in this reply.
bool BeginsWith(const uint8_t* reply, uint32_t count, uint32_t replyLength, const uint8_t* pattern,
                size_t patternLength) {
  const size_t compared = std::min<size_t>(patternLength, replyLength);
  if (compared == 0 || count < compared) {
    return false;
  }
  return std::memcmp(reply, pattern, compared) == 0;
}

}  // namespace

bool ChipReplyMatches(int step, const uint8_t* reply, uint32_t count, uint32_t replyLength) {
  if (replyLength == kChipEnterReplyLength && count == kChipEnterReplyLength) {
    return true;
  }
  size_t expectedLength = 0;
  const uint8_t* expected = ChipExpectedReply(step, &expectedLength);
  if (expected != nullptr && BeginsWith(reply, count, replyLength, expected, expectedLength)) {
    return true;
  }
  return BeginsWith(reply, count, replyLength, kChipDataReply, sizeof kChipDataReply);
}

std::string ChipEnterText(const uint8_t* reply, uint32_t count) {
  const size_t limit = std::min<size_t>(count, kChipEnterTextMax);
  size_t n = 0;
  while (n < limit && reply[n] != 0) {
    ++n;
  }
  return std::string(reinterpret_cast<const char*>(reply), n);
}

ChipVocoder ChipVocoderFromText(const std::string& text) {
  if (text.find("A-enter") != std::string::npos) {
    return ChipVocoder::kAmbe;
  }
  if (text.find("S-enter") != std::string::npos) {
    return ChipVocoder::kSelp;
  }
  return ChipVocoder::kUnknown;
}

}  // namespace fw
