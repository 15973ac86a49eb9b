// The radio's replies in download mode, of any length and content, taken by
// DownloadPort::DownloadExchange (and its repeats, DownloadAgain) as the main firmware
// transfer runs it: a request of one of the transfer's kinds ("AUTO IAP", the
// identification "R", "1", a header or data block, end of transmission 0x04, or any one
// byte), a reply kind (1 judged by its length, 2 the acknowledgement 0x06), a reply length
// and a number of repeats. Every request the program writes is answered with the next
// reply of the input, which may come in parts: the first part at once, each further part
// while the program waits for more (one part per wait), so a reply may be split, short,
// late (after empty parts) or followed by stray bytes. A model of the exchange written
// here (the acceptance rules: kind 1 takes at least 52 bytes after "R", more than 30 for
// the 58-byte "AUTO IAP" reply, the exact length otherwise; kind 2 the exact length with
// 0x06 first; a first silent "AUTO IAP" is not repeated; silence is read three more times;
// one extra read after an acknowledged 0x04) says how many requests must go out, the
// result, and what the reply buffer holds afterwards; nothing may be written past the
// reply length.
//
// The radio is played in process, on the port's byte channel (ScriptedRadio.h): a request is
// seen while the program writes it, and the first part of its reply lies in the port's
// input queue before Write returns; each further part is queued when a read waits for more
// input. The clock skips
// fixed waits and moves on 1 s at every reading against the 1 s read deadline the transfer
// uses, so every read waits exactly once before its deadline passes. The same input always
// runs the same way.
//
// Input: byte 0 bit 0 the reply kind (0: kind 1, 1: kind 2), bits 1-3 the request, bits
// 4-5 the repeats (0 to 3); byte 1 the reply length (0-7 pick 58, 100, 1, 2, 80, 0, 64, 10;
// otherwise the byte itself); byte 2 the request byte of request 7; then the replies in
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
constexpr uint32_t kReplyLengths[8] = {58, 100, 1, 2, 80, 0, 64, 10};

// The exchange as the rules have it, on a model of the port's input queue.
class ModelExchange : public fw::fuzz::ModelPort {
 public:
  ModelExchange(Script script, int kind, const Bytes& request, uint32_t replyLength)
      : ModelPort(std::move(script), replyLength, kGuard, kUntouched),
        kind_(kind),
        request_(request) {}

  // The result of the first attempt and up to `repeats` more.
  int Run(int repeats) {
    Send();
    uint32_t n = Read();
    if (n == 0 && kind_ == fw::kReplyWithData && replyLength_ == 58) {
      return 0;  // nobody in download mode answers "AUTO IAP": no repeat
    }
    n = ReadWhileSilent(n);
    if (Accepted(n)) {
      if (kind_ == fw::kReplyAck && !request_.empty() && request_[0] == 0x04) {
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
    if (kind_ == fw::kReplyWithData) {
      const bool identify = !request_.empty() && request_[0] == 'R';
      return (identify && n >= 52) || (replyLength_ == 58 && n > 30) || n == replyLength_;
    }
    return kind_ == fw::kReplyAck && n == replyLength_ && n > 0 && buffer[0] == 0x06;
  }

  int kind_;
  Bytes request_;
};

Bytes Request(int choice, uint8_t anyByte) {
  switch (choice) {
    case 0:
      return {0x5A, 0xA5, 'A', 'U', 'T', 'O', ' ', 'I', 'A', 'P'};
    case 1:
      return {'R'};
    case 2:
      return {'1'};
    case 3:
      return {0x04};
    case 4:
    case 5: {  // a header block (133 bytes) or a data block (1029 bytes)
      Bytes block(choice == 4 ? 133 : 1029);
      block[0] = choice == 4 ? 0x01 : 0x02;
      for (size_t i = 1; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>(i * 7 + anyByte);
      }
      return block;
    }
    case 6:
      return {'R', 0x04, 0x06};  // "R" first, but more than the identification
    default:
      return {anyByte};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScriptedRadio* radio = &fw::fuzz::ServedRadio();
  static fw::DownloadPort& port = fw::fuzz::ServedDownloadPort(fw::kOneStopBit);

  if (size < 3) {
    return 0;
  }
  const int kind = (data[0] & 1) != 0 ? fw::kReplyAck : fw::kReplyWithData;
  const Bytes request = Request((data[0] >> 1) & 7, data[2]);
  const int repeats = (data[0] >> 4) & 3;
  const uint32_t replyLength = data[1] < 8 ? kReplyLengths[data[1]] : data[1];

  Script script(data + 3, size - 3);
  ModelExchange model(script, kind, request, replyLength);
  const int expected = model.Run(repeats);

  Bytes reply(replyLength + kGuard, kUntouched);
  radio->Begin([&script](const Bytes&) { return script.Next(); });
  const int result =
      port.DownloadExchange(kind, request.data(), static_cast<uint32_t>(request.size()),
                            reply.data(), replyLength, repeats);
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
