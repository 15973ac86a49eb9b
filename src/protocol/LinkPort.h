#pragma once
// The port of the framed radio link, with the framed request/reply exchange.

#include <cstdint>

#include "protocol/ChannelPort.h"

namespace fw {

// The raw firmware version query; its reply is 128 raw bytes, not a frame.
inline constexpr uint8_t kVersionQueryRequest[4] = {0x02, 0x50, 0x00, 0x03};

// True when a framed reply of `n` bytes carries valid checksums: the frame checksum over
// all n bytes, and, when the frame carries a command packet (n > 12), the packet's: 0x02
// first, a parameter length that fills the frame exactly, the packet checksum over the code,
// length and parameters, and 0x03 last. A 12-byte frame (the answer to a connect frame)
// carries no packet.
bool ReplySumsValid(const uint8_t* reply, uint32_t n);

class LinkPort : public ChannelPort {
 public:
  // Whether a framed reply must carry valid checksums to be accepted (on unless switched
  // off): a reply corrupted on the line is then refused and the request repeated, like a
  // reply that did not arrive. The raw version query's reply carries none.
  void SetCheckReplySums(bool on) { checkReplySums_ = on; }
  bool CheckReplySums() const { return checkReplySums_; }

  // 1 if an acceptable reply was received (first attempt, then up to `retries` repeats).
  int Exchange(const uint8_t* request, uint32_t requestLength, uint8_t* reply, uint32_t replyLength,
               int retries);
  // One repeated attempt: 1 if the reply is acceptable and not an echo of the request.
  int ExchangeAgain(const uint8_t* request, uint32_t requestLength, uint8_t* reply,
                    uint32_t replyLength);

 private:
  bool Acceptable(const uint8_t* request, uint32_t requestLength, const uint8_t* reply,
                  uint32_t replyLength, uint32_t received) const;

  bool checkReplySums_ = true;
};

// 1 if the counts are equal and the first `count` bytes of a and b are equal.
int SameBytes(const uint8_t* a, const uint8_t* b, uint32_t count, uint32_t secondCount);

}  // namespace fw
