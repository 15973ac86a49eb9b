#include "protocol/LinkPort.h"

#include <cstring>

#include "protocol/LinkFrame.h"

namespace fw {
namespace {

bool IsVersionQuery(const uint8_t* request, uint32_t length) {
  return length >= sizeof kVersionQueryRequest &&
         std::memcmp(request, kVersionQueryRequest, sizeof kVersionQueryRequest) == 0;
}

// A frame of the right size: it starts with 0x7E and the count received equals its length
// byte (offset 9). The length byte must itself have been received: a short read never
// passes on bytes left in the buffer from an earlier reply.
bool IsWholeFrame(const uint8_t* reply, uint32_t received) {
  return received > 9 && reply[0] == 0x7E && received == reply[9];
}

}  // namespace

bool ReplySumsValid(const uint8_t* reply, uint32_t n) {
  if (n < kLinkHeaderSize || !FrameChecksumValid(reply, n)) {
    return false;
  }
  if (n == kLinkHeaderSize) {
    return true;
  }
  const uint8_t* packet = reply + kLinkHeaderSize;
  const uint32_t length = n - static_cast<uint32_t>(kLinkHeaderSize);
  if (length < kPacketOverhead) {
    return false;
  }
  const uint32_t parameters = static_cast<uint32_t>(packet[3] | (packet[4] << 8));
  return packet[0] == 0x02 && parameters + kPacketOverhead == length &&
         packet[length - 1] == 0x03 && PacketChecksum(packet + 1, length - 3) == packet[length - 2];
}

bool LinkPort::Acceptable(const uint8_t* request, uint32_t requestLength, const uint8_t* reply,
                          uint32_t replyLength, uint32_t received) const {
  // The version query's reply is raw bytes, taken by their count whatever they are.
  if (received == replyLength && IsVersionQuery(request, requestLength)) {
    return true;
  }
  return IsWholeFrame(reply, received) && (!checkReplySums_ || ReplySumsValid(reply, received));
}

int SameBytes(const uint8_t* a, const uint8_t* b, uint32_t count, uint32_t secondCount) {
  if (count != secondCount) {
    return 0;
  }
  if (count == 0) {
    return 1;
  }
  if (a == nullptr || b == nullptr) {
    return 0;
  }
  return std::memcmp(a, b, count) == 0 ? 1 : 0;
}

int LinkPort::Exchange(const uint8_t* request, uint32_t requestLength, uint8_t* reply,
                       uint32_t replyLength, int retries) {
  Purge();
  Write(request, requestLength);
  if (IsVersionQuery(request, requestLength)) {
    Time().Sleep(500);
  }
  uint32_t n = Read(reply, replyLength);
  // The first attempt takes any acceptable reply, even one that repeats the request.
  if (Acceptable(request, requestLength, reply, replyLength, n)) {
    return 1;
  }
  Time().Sleep(70);
  for (int i = 0; i < retries; ++i) {
    if (ExchangeAgain(request, requestLength, reply, replyLength)) {
      return 1;
    }
  }
  return 0;
}

int LinkPort::ExchangeAgain(const uint8_t* request, uint32_t requestLength, uint8_t* reply,
                            uint32_t replyLength) {
  Purge();
  Write(request, requestLength);
  if (IsVersionQuery(request, requestLength)) {
    Time().Sleep(500);
  }
  Time().Sleep(50);
  uint32_t n = Read(reply, replyLength);
  if (!Acceptable(request, requestLength, reply, replyLength, n)) {
    return 0;
  }
  // The request came back unchanged (a looped-back line or an echoing adapter): not an
  // answer. Judged on the bytes received, so an echo is refused whatever length was
  // expected.
  if (SameBytes(request, reply, requestLength, n)) {
    return 0;
  }
  return 1;
}

}  // namespace fw
