#pragma once
// The port of the framed radio link, with the framed request/reply exchange.

#include <cstdint>

#include "serial/SerialPort.h"

namespace fw {

// The raw firmware version query; its reply is 128 raw bytes, not a frame.
inline constexpr uint8_t kVersionQueryRequest[4] = {0x02, 0x50, 0x00, 0x03};

class LinkPort : public SerialPort {
 public:
  // 1 if an acceptable reply was received (first attempt, then up to `retries` repeats).
  int Exchange(const uint8_t* request, uint32_t requestLength, uint8_t* reply, uint32_t replyLength,
               int retries);
  // One repeated attempt: 1 if the reply is acceptable and not an echo of the request.
  int ExchangeAgain(const uint8_t* request, uint32_t requestLength, uint8_t* reply,
                    uint32_t replyLength);
};

// 1 if the counts are equal and the first `count` bytes of a and b are equal.
int SameBytes(const uint8_t* a, const uint8_t* b, uint32_t count, uint32_t secondCount);

}  // namespace fw
