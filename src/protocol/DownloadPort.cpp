#include "protocol/DownloadPort.h"

namespace fw {

int DownloadPort::DownloadExchange(const DownloadModeRequest& r, uint8_t* reply, int retries) {
  const uint8_t* request = r.bytes;
  const uint32_t requestLength = r.length;
  const uint32_t replyLength = r.reply.length;
  Purge();
  Write(request, requestLength);
  Time().Sleep(20);
  uint32_t n = Read(reply, replyLength);
  if (n == 0) {
    if (r.reply.silenceFailsAtOnce) {
      return 0;  // no radio in download mode: the caller moves on at once
    }
    for (int i = 0; i < 3 && n == 0; ++i) {
      Time().Sleep(500);
      n = Read(reply, replyLength);
    }
  }
  if (r.reply.Accepts(reply, n)) {
    if (r.reply.dropsTrailingByte) {
      // After the end of transmission the radio may send one more byte: take it off the line.
      Time().Sleep(100);
      Read(reply, replyLength);
    }
    return 1;
  }
  Time().Sleep(200);
  for (int i = 0; i < retries; ++i) {
    if (DownloadAgain(r, reply)) {
      return 1;
    }
  }
  return 0;
}

int DownloadPort::DownloadAgain(const DownloadModeRequest& r, uint8_t* reply) {
  const uint8_t* request = r.bytes;
  const uint32_t requestLength = r.length;
  const uint32_t replyLength = r.reply.length;
  Purge();
  Write(request, requestLength);
  Time().Sleep(50);
  uint32_t n = Read(reply, replyLength);
  for (int i = 0; i < 3 && n == 0; ++i) {
    n = Read(reply, replyLength);
  }
  return r.reply.Accepts(reply, n) ? 1 : 0;
}

}  // namespace fw
