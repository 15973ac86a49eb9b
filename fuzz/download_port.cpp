// The radio's replies in download mode, of any length and content, taken by
// DownloadPort::DownloadExchange (and its repeats, DownloadAgain) as the main firmware
// transfer runs it: one of the transfer's requests ("AUTO IAP", the identification "R",
// "1", a header, data or closing block, end of transmission 0x04) and a number of repeats.
// Every request the program writes is answered with the next reply of the input, which may
// come in parts: the first part at once, each further part while the program waits for
// more (one part per wait), so a reply may be split, short, late (after empty parts) or
// followed by stray bytes. A model of the exchange written here (the acceptance rules:
// exactly 20 bytes after "AUTO IAP", at least 52 of 100 after "R", more than 30 of 58 after
// "1", exactly 2 after a header block and 80 after the closing block, the one byte 0x06
// after a data block or 0x04; a first silent "1" is not repeated; silence is read three
// more times; one extra read after an acknowledged 0x04) says how many requests must go
// out, the result, and what the reply buffer holds afterwards; nothing may be written past
// the reply length.
//
// The radio is played in process, on the port's byte channel (ScriptedRadio.h): a request is
// seen while the program writes it, and the first part of its reply lies in the port's
// input queue before Write returns; each further part is queued when a read waits for more
// input. The clock skips
// fixed waits and moves on 1 s at every reading against the 1 s read deadline the transfer
// uses, so every read waits exactly once before its deadline passes. The same input always
// runs the same way.
//
// Input: byte 0 bits 0-2 the request (0 "AUTO IAP", 1 "R", 2 "1", 3 end of transmission,
// 4 header block, 5 and 7 data block, 6 closing block), bits 4-5 the repeats (0 to 3);
// byte 1 the bytes of a block after its first; then the replies in
// the order the requests go out, each one or more parts: a 2-byte little-endian head
// (bits 0-9 the length, bit 14 "one byte repeated": a single byte follows, bit 15 "the
// reply's last part") and its bytes. After the input's end the radio is silent.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "ScriptedRadio.h"
#include "platform/Clock.h"
#include "protocol/DownloadPort.h"

namespace {

using fw::fuzz::Bytes;
using fw::fuzz::Reply;
using fw::fuzz::ScriptedRadio;
using Script = fw::fuzz::ReplyScript;

constexpr size_t kGuard = 32;  // bytes past the reply length that stay untouched
constexpr uint8_t kUntouched = 0xA5;

enum Choice { kAutoIap, kIdentify, kDownload, kEot, kHeader, kData, kClosing };

// The bytes the reply to each request is read into.
uint32_t ReplyLength(int choice) {
  constexpr uint32_t kLengths[7] = {20, 100, 58, 1, 2, 1, 80};
  return kLengths[choice];
}

// The exchange as the rules have it, on a model of the port's input queue.
class ModelExchange : public fw::fuzz::ModelPort {
 public:
  ModelExchange(Script script, int choice)
      : ModelPort(std::move(script), ReplyLength(choice), kGuard, kUntouched), choice_(choice) {}

  // The result of the first attempt and up to `repeats` more.
  int Run(int repeats) {
    Send();
    uint32_t n = Read();
    if (n == 0 && choice_ == kDownload) {
      return 0;  // a radio outside download mode does not answer "1": no repeat
    }
    n = ReadWhileSilent(n);
    if (Accepted(n)) {
      if (choice_ == kEot) {
        Read();  // the byte the radio may send after the end of transmission
      }
      return 1;
    }
    for (int i = 0; i < repeats; ++i) {
      Send();
      if (Accepted(ReadWhileSilent(Read()))) {
        return 1;
      }
    }
    return 0;
  }

 private:
  uint32_t ReadWhileSilent(uint32_t n) {
    for (int i = 0; i < 3 && n == 0; ++i) {
      n = Read();
    }
    return n;
  }
  bool Accepted(uint32_t n) const {
    switch (choice_) {
      case kAutoIap:
        return n == 20;
      case kIdentify:
        return n >= 52;
      case kDownload:
        return n > 30;
      case kHeader:
        return n == 2;
      case kClosing:
        return n == 80;
      default:  // a data block or the end of transmission: the acknowledgement
        return n == 1 && buffer[0] == 0x06;
    }
  }

  int choice_;
};

// The request's bytes on the wire, written out here.
Bytes RequestBytes(int choice, uint8_t anyByte) {
  switch (choice) {
    case kAutoIap:
      return {0x5A, 0xA5, 'A', 'U', 'T', 'O', ' ', 'I', 'A', 'P'};
    case kIdentify:
      return {'R'};
    case kDownload:
      return {'1'};
    case kEot:
      return {0x04};
    default: {  // a header or closing block (133 bytes) or a data block (1029 bytes)
      Bytes block(choice == kData ? 1029 : 133);
      block[0] = choice == kData ? 0x02 : 0x01;
      for (size_t i = 1; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 7 + anyByte);
      }
      return block;
    }
  }
}

fw::DownloadModeRequest Request(int choice, const Bytes& block) {
  switch (choice) {
    case kAutoIap:
      return fw::kAutoDownloadRequest;
    case kIdentify:
      return fw::kIdentifyRequest;
    case kDownload:
      return fw::kDownloadRequest;
    case kEot:
      return fw::kEndOfTransmissionRequest;
    case kHeader:
      return fw::HeaderBlockRequest(block.data());
    case kData:
      return fw::DataBlockRequest(block.data());
    default:
      return fw::ClosingBlockRequest(block.data());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScriptedRadio* radio = &fw::fuzz::ServedRadio();
  static fw::DownloadPort& port = fw::fuzz::ServedDownloadPort(fw::kOneStopBit);

  if (size < 2) {
    return 0;
  }
  const int choice = (data[0] & 7) == 7 ? kData : data[0] & 7;
  const Bytes request = RequestBytes(choice, data[1]);
  const int repeats = (data[0] >> 4) & 3;
  const uint32_t replyLength = ReplyLength(choice);

  Script script(data + 2, size - 2);
  ModelExchange model(script, choice);
  const int expected = model.Run(repeats);

  Bytes reply(replyLength + kGuard, kUntouched);
  radio->Begin([&script](const Bytes&) { return script.Next(); });
  const int result = port.DownloadExchange(Request(choice, request), reply.data(), repeats);
  radio->End();

  FUZZ_CHECK(result == expected);
  FUZZ_CHECK(radio->Turns().size() == model.requests);
  for (const fw::fuzz::Turn& t : radio->Turns()) {
    FUZZ_CHECK(t.request == request);
  }
  // The reply buffer holds what the reads took, and nothing past the reply length changed.
  FUZZ_CHECK(reply == model.buffer);
  FUZZ_CHECK(std::all_of(reply.begin() + replyLength, reply.end(),
                         [](uint8_t b) { return b == kUntouched; }));
  return 0;
}
