// Interim implementation of the download-mode exchange, so that the firmware transfer can
// run end to end before the serial-link branch lands; that branch's file replaces this one.
//
// Kind 1 judges a reply by its length, kind 2 expects the acknowledgement 0x06. Every
// attempt purges first; the first attempt waits 20 ms after writing, the repeats 50 ms.

#include "protocol/DownloadPort.h"

#include "platform/Clock.h"

namespace fw {
namespace {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kEot = 0x04;

bool DataReplyAccepted(const uint8_t* request, uint32_t replyLength, uint32_t n) {
  if (request[0] == 0x52 && n >= 52) {
    return true;
  }
  if (replyLength == 58 && n > 30) {
    return true;
  }
  return n == replyLength;
}

}  // namespace

int DownloadPort::DownloadExchange(int kind, const uint8_t* request, uint32_t requestLength,
                                   uint8_t* reply, uint32_t replyLength, int retries) {
  Purge();
  Write(request, requestLength);
  Sleep(20);
  uint32_t n = Read(reply, replyLength);
  if (n == 0) {
    if (kind == kReplyWithData && replyLength == 58) {
      return 0;
    }
    for (int i = 0; i < 3 && n == 0; ++i) {
      Sleep(500);
      n = Read(reply, replyLength);
    }
  }
  if (kind == kReplyWithData && DataReplyAccepted(request, replyLength, n)) {
    return 1;
  }
  if (n > 0 && kind == kReplyAck && n == replyLength && reply[0] == kAck) {
    if (request[0] == kEot) {
      Sleep(100);
      Read(reply, replyLength);
    }
    return 1;
  }
  Sleep(200);
  for (int i = 0; i < retries; ++i) {
    if (DownloadAgain(kind, request, requestLength, reply, replyLength) == 1) {
      return 1;
    }
  }
  return 0;
}

int DownloadPort::DownloadAgain(int kind, const uint8_t* request, uint32_t requestLength,
                                uint8_t* reply, uint32_t replyLength) {
  Purge();
  Write(request, requestLength);
  Sleep(50);
  uint32_t n = Read(reply, replyLength);
  for (int i = 0; i < 3 && n == 0; ++i) {
    n = Read(reply, replyLength);
  }
  if (kind == kReplyWithData && DataReplyAccepted(request, replyLength, n)) {
    return 1;
  }
  return (n > 0 && kind == kReplyAck && n == replyLength && reply[0] == kAck) ? 1 : 0;
}

}  // namespace fw
