#pragma once
// The port used in download mode (main firmware transfer, firmware-chip update), with the
// download-mode request/reply exchange.

#include <cstdint>

#include "protocol/ChannelPort.h"

namespace fw {

enum DownloadReplyKind : int {
  kReplyWithData = 1,  // judged by its length
  kReplyAck = 2,       // one byte 0x06
};

class DownloadPort : public ChannelPort {
 public:
  int DownloadExchange(int kind, const uint8_t* request, uint32_t requestLength, uint8_t* reply,
                       uint32_t replyLength, int retries);
  int DownloadAgain(int kind, const uint8_t* request, uint32_t requestLength, uint8_t* reply,
                    uint32_t replyLength);
};

}  // namespace fw
