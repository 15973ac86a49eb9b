// Replies of the firmware chip's loader, of any length and content, judged for each step,
// and the enter reply read as text. The reply lies in a buffer of exactly the bytes
// received, so a look past them is caught. Also a data frame built from the record bytes
// the hex file gives, checked against its layout.
//
// Input: 1 byte step, 1 byte length asked for, then the reply bytes received.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "firmware/ChipFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) {
    return 0;
  }
  const int step = data[0] % 9;  // 0 and 8 are no steps
  const uint32_t replyLength = data[1] % 40;
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(size - 2, replyLength));
  const std::vector<uint8_t> reply(data + 2, data + 2 + count);

  const bool matches = fw::ChipReplyMatches(step, reply.data(), count, replyLength);
  if (matches && !(replyLength == fw::kChipEnterReplyLength && count == replyLength)) {
    // Some reply pattern was received whole (as far as asked for).
    size_t expectedLength = 0;
    const uint8_t* expected = fw::ChipExpectedReply(step, &expectedLength);
    auto begins = [&](const uint8_t* pattern, size_t n) {
      n = std::min<size_t>(n, replyLength);
      return n > 0 && count >= n && std::memcmp(reply.data(), pattern, n) == 0;
    };
    FUZZ_CHECK((expected != nullptr && begins(expected, expectedLength)) ||
               begins(fw::kChipDataReply, sizeof fw::kChipDataReply));
  }

  const std::string text = fw::ChipEnterText(reply.data(), count);
  FUZZ_CHECK(text.size() <= std::min<size_t>(count, fw::kChipEnterTextMax));
  FUZZ_CHECK(text.find('\0') == std::string::npos);
  fw::ChipVocoderFromText(text);

  // A data frame for a record of the received bytes (at most 255).
  const uint8_t n = static_cast<uint8_t>(std::min<size_t>(count, 255));
  std::vector<uint8_t> frame(static_cast<size_t>(n) + fw::kChipDataFrameOverhead);
  const uint32_t length =
      fw::BuildChipDataFrame(data[0], data[1], step, reply.data(), n, frame.data());
  if (n == 0) {
    FUZZ_CHECK(length == 0);
  } else {
    FUZZ_CHECK(length == frame.size());
    FUZZ_CHECK(frame[0] == 0x84 && frame[1] == 0xA9 && frame[2] == 0x61);
    FUZZ_CHECK((frame[3] << 8 | frame[4]) == n + 7);
    FUZZ_CHECK(frame[10] == n && std::memcmp(frame.data() + 11, reply.data(), n) == 0);
    FUZZ_CHECK(frame[11 + n] == fw::kChipEndMark && frame[13 + n] == 0);
    uint8_t x = 0;
    for (size_t i = 3; i <= static_cast<size_t>(11 + n); ++i) {
      x ^= frame[i];
    }
    FUZZ_CHECK(frame[12 + n] == x);
  }
  return 0;
}
