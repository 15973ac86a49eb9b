#include "firmware/ChipExchange.h"

#include "firmware/ChipFrames.h"

namespace fw {
namespace {

bool Attempt(DownloadPort& port, int step, const uint8_t* request, uint32_t requestLength,
             uint8_t* reply, uint32_t replyLength, uint32_t waitMs, uint32_t* received) {
  port.Purge();
  port.Write(request, requestLength);
  port.Time().Sleep(waitMs);
  const uint32_t count = port.Read(reply, replyLength);
  if (received != nullptr) {
    *received = count;
  }
  return ChipReplyMatches(step, reply, count, replyLength);
}

}  // namespace

int ChipExchange(DownloadPort& port, int step, const uint8_t* request, uint32_t requestLength,
                 uint8_t* reply, uint32_t replyLength, uint32_t waitMs, int retries,
                 uint32_t* received) {
  port.Time().Sleep(50);
  if (Attempt(port, step, request, requestLength, reply, replyLength, waitMs, received)) {
    return 1;
  }
  for (int i = 0; i < retries; ++i) {
    if (Attempt(port, step, request, requestLength, reply, replyLength, waitMs, received)) {
      return 1;
    }
  }
  return 0;
}

}  // namespace fw
