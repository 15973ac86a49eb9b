// The firmware chip loader's replies, of any length and content, taken by ChipExchange as
// the chip update runs it: the request of one of the update's steps (enter, handshake,
// erase, a data frame, finish, confirm, leave, or no step at all), a reply length and a
// number of retries. Every request the program writes is answered with the next reply of
// the input, which may come in parts: the first part at once, each further part while the
// program waits for more (one part per wait), so a reply may be split, short, wrong, late
// (after an empty part) or followed by stray bytes. A model of the exchange written here
// (the acceptance rules: exactly 30 bytes when 30 are asked for; or the step's expected
// reply, or the data acknowledgement, received in full at the start, compared over at most
// the bytes asked for; one attempt and then up to the retries, each purging, writing,
// waiting and reading once) says how many requests must go out, the result, the count the
// last attempt read and what the reply buffer holds afterwards; nothing may be written
// past the reply length.
//
// The radio is played in process on the port's byte channel, as in fuzz_download_port: the
// first part of a reply lies in the port's input queue before the request's Write returns,
// each further part is queued when a read waits for more input. The clock skips fixed waits (the
// exchange's pause and its wait after the request) and moves on 1 s at every reading
// against the 1 s read deadline of the download port, so every read waits exactly once
// before its deadline passes. The same input always runs the same way.
//
// Input: byte 0 bits 0-2 the step (0 no step, 1-7 enter to leave), bits 3-4 the retries (0
// to 3), bit 5 whether the count received is asked for; byte 1 the reply length (0 the
// step's own: 30 for enter, 8 for the handshake, 10 otherwise; any other value is itself);
// byte 2 the data byte count of a data frame; then the replies in the order the requests
// go out, each one or more parts: a 2-byte little-endian head (bits 0-9 the length, bit 14
// "one byte repeated": a single byte follows, bit 15 "the reply's last part") and its
// bytes. After the input's end the radio is silent.

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
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "ScriptedRadio.h"
#include "firmware/ChipExchange.h"
#include "firmware/ChipFrames.h"
#include "platform/Clock.h"
#include "protocol/DownloadPort.h"

namespace {

using fw::fuzz::Bytes;
using fw::fuzz::Reply;
using fw::fuzz::ScriptedRadio;
using Script = fw::fuzz::ReplyScript;

constexpr size_t kGuard = 32;  // bytes past the reply length that stay untouched
constexpr uint8_t kUntouched = 0xA5;

// The exchange as the rules have it, on a model of the port's input queue.
class ModelExchange : public fw::fuzz::ModelPort {
 public:
  ModelExchange(Script script, int step, uint32_t replyLength)
      : ModelPort(std::move(script), replyLength, kGuard, kUntouched), step_(step) {}

  // The result of the first attempt and up to `retries` more.
  int Run(int retries) {
    for (int i = 0; i <= retries; ++i) {
      Send();
      received = Read();
      if (Accepted(received)) {
        return 1;
      }
    }
    return 0;
  }

  uint32_t received = 0;  // the count the last attempt read

 private:
  // The pattern's first min(its length, the length asked for) bytes, all received in this
  // attempt, open the buffer.
  bool Opens(const Bytes& pattern, uint32_t n) const {
    const size_t compared = std::min<size_t>(pattern.size(), replyLength_);
    if (compared == 0 || n < compared) {
      return false;
    }
    return std::equal(pattern.begin(), pattern.begin() + compared, buffer.begin());
  }
  bool Accepted(uint32_t n) const {
    if (replyLength_ == 30 && n == 30) {
      return true;  // the enter reply: its length is all that is judged
    }
    // The loader's acknowledgements: "84 A9 61", the length, the answer, 2F and the XOR.
    static const Bytes kHandshake = {0x84, 0xA9, 0x61, 0x00, 0x02, 0x00, 0x16, 0x00};
    static const Bytes kEraseConfirm = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x93, 0x00, 0x2F, 0xB8};
    static const Bytes kData = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x03, 0x94, 0x00, 0x2F, 0xBC};
    static const Bytes kFinishLeave = {0x84, 0xA9, 0x61, 0x00, 0x04, 0x00, 0x16, 0x00, 0x2F, 0x3D};
    const Bytes* expected = nullptr;
    switch (step_) {
      case fw::kChipHandshake:
        expected = &kHandshake;
        break;
      case fw::kChipErase:
      case fw::kChipConfirm:
        expected = &kEraseConfirm;
        break;
      case fw::kChipFinish:
      case fw::kChipLeave:
        expected = &kFinishLeave;
        break;
      default:
        break;
    }
    return (expected != nullptr && Opens(*expected, n)) || Opens(kData, n);
  }

  int step_;
};

// The request of `step`; a data frame carries `count` bytes (at least 1) of one record.
Bytes Request(int step, uint8_t count) {
  switch (step) {
    case fw::kChipEnter:
      return Bytes(std::begin(fw::kChipEnterRequest), std::end(fw::kChipEnterRequest));
    case fw::kChipHandshake:
      return Bytes(std::begin(fw::kChipHandshakeRequest), std::end(fw::kChipHandshakeRequest));
    case fw::kChipErase:
      return Bytes(std::begin(fw::kChipEraseRequest), std::end(fw::kChipEraseRequest));
    case fw::kChipData: {
      const uint8_t n = count == 0 ? 1 : count;
      Bytes record(n);
      for (size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<uint8_t>(i * 13 + count);
      }
      Bytes frame(fw::kChipMaxDataFrame);
      frame.resize(fw::BuildChipDataFrame(2, 0x40, count, record.data(), n, frame.data()));
      return frame;
    }
    case fw::kChipFinish:
      return Bytes(std::begin(fw::kChipFinishRequest), std::end(fw::kChipFinishRequest));
    case fw::kChipConfirm:
      return Bytes(std::begin(fw::kChipConfirmRequest), std::end(fw::kChipConfirmRequest));
    case fw::kChipLeave:
      return Bytes(std::begin(fw::kChipLeaveRequest), std::end(fw::kChipLeaveRequest));
    default:
      return {0x84, 0xA9, 0x61, 0x00, 0x02, 0x00, 0x00, 0x2F};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScriptedRadio* radio = &fw::fuzz::ServedRadio();
  static fw::DownloadPort& port = fw::fuzz::ServedDownloadPort(fw::kTwoStopBits);

  if (size < 3) {
    return 0;
  }
  const int step = data[0] & 7;
  const int retries = (data[0] >> 3) & 3;
  const bool askReceived = (data[0] & 0x20) != 0;
  const uint32_t ownLength = step == fw::kChipEnter ? 30 : step == fw::kChipHandshake ? 8 : 10;
  const uint32_t replyLength = data[1] == 0 ? ownLength : data[1];
  const Bytes request = Request(step, data[2]);

  Script script(data + 3, size - 3);
  ModelExchange model(script, step, replyLength);
  const int expected = model.Run(retries);

  Bytes reply(replyLength + kGuard, kUntouched);
  constexpr uint32_t kNotSet = 0xDEADBEEF;
  uint32_t received = kNotSet;
  radio->Begin([&script](const Bytes&) { return script.Next(); });
  const int result =
      fw::ChipExchange(port, step, request.data(), static_cast<uint32_t>(request.size()),
                       reply.data(), replyLength, 1000, retries, askReceived ? &received : nullptr);
  radio->End();

  FUZZ_CHECK(result == expected);
  FUZZ_CHECK(radio->Turns().size() == model.requests);
  for (const fw::fuzz::Turn& t : radio->Turns()) {
    FUZZ_CHECK(t.request == request);
  }
  FUZZ_CHECK(received == (askReceived ? model.received : kNotSet));
  // The reply buffer holds what the reads took, and nothing past the reply length changed.
  FUZZ_CHECK(reply == model.buffer);
  FUZZ_CHECK(std::all_of(reply.begin() + replyLength, reply.end(),
                         [](uint8_t b) { return b == kUntouched; }));
  return 0;
}
