#include "protocol/DownloadPort.h"

namespace fw {
namespace {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kEndOfTransmission = 0x04;
constexpr uint8_t kIdentify = 0x52;  // "R"
// The reply to "AUTO IAP": 58 bytes expected, anything over 30 is a radio in download mode.
constexpr uint32_t kIapReplyLength = 58;

uint8_t FirstByte(const uint8_t* request, uint32_t length) {
  return length > 0 && request != nullptr ? request[0] : 0;
}

// Kind 1: a reply with data, judged by its length.
bool DataReplyAccepted(const uint8_t* request, uint32_t requestLength, uint32_t replyLength,
                       uint32_t n) {
  if (FirstByte(request, requestLength) == kIdentify && n >= 52) {
    return true;
  }
  if (replyLength == kIapReplyLength && n > 30) {
    return true;
  }
  return n == replyLength;
}

// Kind 2: exactly the acknowledgement.
bool AckAccepted(const uint8_t* reply, uint32_t replyLength, uint32_t n) {
  return n > 0 && n == replyLength && reply[0] == kAck;
}

}  // namespace

int DownloadPort::DownloadExchange(int kind, const uint8_t* request, uint32_t requestLength,
                                   uint8_t* reply, uint32_t replyLength, int retries) {
  Purge();
  Write(request, requestLength);
  Time().Sleep(20);
  uint32_t n = Read(reply, replyLength);
  if (n == 0) {
    if (kind == kReplyWithData && replyLength == kIapReplyLength) {
      return 0;  // no radio in download mode: the caller moves on at once
    }
    for (int i = 0; i < 3 && n == 0; ++i) {
      Time().Sleep(500);
      n = Read(reply, replyLength);
    }
  }
  if (kind == kReplyWithData && DataReplyAccepted(request, requestLength, replyLength, n)) {
    return 1;
  }
  if (kind == kReplyAck && AckAccepted(reply, replyLength, n)) {
    if (FirstByte(request, requestLength) == kEndOfTransmission) {
      // After the end of transmission the radio may send one more byte: take it off the line.
      Time().Sleep(100);
      Read(reply, replyLength);
    }
    return 1;
  }
  Time().Sleep(200);
  for (int i = 0; i < retries; ++i) {
    if (DownloadAgain(kind, request, requestLength, reply, replyLength)) {
      return 1;
    }
  }
  return 0;
}

int DownloadPort::DownloadAgain(int kind, const uint8_t* request, uint32_t requestLength,
                                uint8_t* reply, uint32_t replyLength) {
  Purge();
  Write(request, requestLength);
  Time().Sleep(50);
  uint32_t n = Read(reply, replyLength);
  for (int i = 0; i < 3 && n == 0; ++i) {
    n = Read(reply, replyLength);
  }
  if (kind == kReplyWithData) {
    return DataReplyAccepted(request, requestLength, replyLength, n) ? 1 : 0;
  }
  return kind == kReplyAck && AckAccepted(reply, replyLength, n) ? 1 : 0;
}

}  // namespace fw
