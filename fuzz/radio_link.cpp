// The radio's replies on the framed link, of any length and content, taken by the link code
// as the program runs it: the handshake of RadioLink::Connect, then one command (ReadInfo,
// ReadBlock, WriteBlock, EndAccess) or the firmware version query (QueryFirmwareVersion).
// Every request the program writes is answered with the next reply of the input. A model
// of the exchange written here (the acceptance rule: first byte 0x7E, byte 9 equal to the
// count received and, unless the check is switched off, valid frame and packet checksums;
// or exactly 128 bytes for the version query; no echo on a repeat)
// says how many requests must go out and whether the command got its reply; the data a
// command hands out must lie within the bytes received. Also, on the raw input: the frame
// and packet checksums against a reference, and the version reply's number.
//
// The radio is played in process, on the link port's byte channel (ScriptedRadio.h): a
// request is seen while the program writes it, and its reply lies in the port's input
// queue before Write returns, before the program reads. The clock skips
// fixed waits and moves on 1 s at every reading, so a read deadline passes as soon as the
// queued bytes have been taken. The same input always runs the same way.
//
// Input: byte 0 the operation (bits 0-6: 0 ReadInfo, 1 ReadBlock, 2 WriteBlock, 3 EndAccess,
// 4 version query; modulo 5; bit 7 set: reply checksums not checked), bytes 1 and 2 its
// parameters; then the replies in the order the requests go out (the handshake first), each
// a 2-byte little-endian head (bits 0-9 length, bit 13 "packet as it comes", bit 14 "the
// request itself", bit 15 "framed": byte 0 becomes 0x7E, byte 9 the length's low byte, a
// reply of 19 bytes or more gets a well-formed packet unless bit 13 is set (0x02, the
// parameter length, the packet checksum, 0x03), bytes 10-11 the frame checksum) and its
// bytes. After the input's end the radio is silent.

#include <errno.h>
#include <fcntl.h>
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
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "ScriptedRadio.h"
#include "core/UpgradeView.h"
#include "firmware/QueryFirmwareVersion.h"
#include "platform/Clock.h"
#include "protocol/LinkFrame.h"
#include "protocol/LinkPort.h"
#include "protocol/RadioLink.h"

namespace {

using fw::fuzz::Bytes;
using fw::fuzz::HarnessFailure;
using fw::fuzz::ScriptedRadio;
using fw::fuzz::Turn;

constexpr int kPortNumber = 1;
constexpr int kCommandAttempts = 4;  // the first and three repeats
constexpr int kConnectAttempts = 3;  // the first and two repeats
constexpr uint32_t kConnectReplyLength = 12;
constexpr uint32_t kVersionReplyLength = 128;
constexpr uint8_t kUntouched = 0xA5;

// Internet checksum over 16-bit little-endian words, computed with 64-bit sums and folded
// at the end: the complement of the folded sum.
uint16_t ReferenceFrameChecksum(const uint8_t* p, size_t n) {
  uint64_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    sum += (i % 2 == 0) ? p[i] : static_cast<uint64_t>(p[i]) << 8;
  }
  while (sum > 0xFFFF) {
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  return static_cast<uint16_t>(~sum);
}

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// A reply's checksums as the link checks them: the frame checksum over all its bytes, and a
// 12-byte frame carries no packet; a longer one a packet 0x02, code, parameter length p,
// p bytes, checksum, 0x03 that fills it, whose bytes from the code to the checksum sum to
// 0x32 (mod 256).
bool ReferenceSumsValid(const Bytes& got) {
  const size_t n = got.size();
  if (n < 12 || ReferenceFrameChecksum(got.data(), n) != 0) {
    return false;
  }
  if (n == 12) {
    return true;
  }
  if (n < 19 || got[12] != 0x02 || got[n - 1] != 0x03 || Le16(got.data() + 15) + 19u != n) {
    return false;
  }
  unsigned sum = 0;
  for (size_t i = 13; i <= n - 2; ++i) {
    sum += got[i];
  }
  return (sum & 0xFF) == 0x32;
}

// Whether the link checks reply checksums in this run.
bool g_checkSums = true;

// The version number as the first at most 8 bytes up to a zero byte read as text: blanks
// and tabs, an optional '+', decimal digits; 65535 at most.
uint16_t ReferenceVersion(const uint8_t* p, size_t n) {
  std::string text(reinterpret_cast<const char*>(p), std::min<size_t>(n, 8));
  text = text.substr(0, text.find('\0'));
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos) {
    return 0;
  }
  if (text[i] == '+') {
    ++i;
  }
  unsigned long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<unsigned long>(value * 10 + static_cast<unsigned long>(text[i] - '0'), 65535);
  }
  return static_cast<uint16_t>(value);
}

// The replies of the input, handed out one per request.
class Script {
 public:
  Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  Bytes Next(const Bytes& request) {
    if (size_ - pos_ < 2) {
      return {};
    }
    const uint16_t head = Le16(data_ + pos_);
    pos_ += 2;
    if ((head & 0x4000) != 0) {
      return request;
    }
    const size_t n = std::min<size_t>(head & 0x3FF, size_ - pos_);
    Bytes reply(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    if ((head & 0x8000) != 0 && n > 0) {
      reply[0] = fw::kFrameStart;
      if (n > 9) {
        reply[9] = static_cast<uint8_t>(n);
      }
      if (n >= 19 && (head & 0x2000) == 0) {
        const size_t p = n - 19;
        reply[12] = 0x02;
        reply[15] = static_cast<uint8_t>(p);
        reply[16] = static_cast<uint8_t>(p >> 8);
        unsigned sum = 0;
        for (size_t i = 13; i < n - 2; ++i) {
          sum += reply[i];
        }
        reply[n - 2] = static_cast<uint8_t>(0x32 - sum);
        reply[n - 1] = 0x03;
      }
      if (n >= 12) {
        reply[10] = reply[11] = 0;
        const uint16_t sum = ReferenceFrameChecksum(reply.data(), n);
        reply[10] = static_cast<uint8_t>(sum);
        reply[11] = static_cast<uint8_t>(sum >> 8);
      }
    }
    return reply;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class QuietView final : public fw::UpgradeView {
 public:
  void InsertRow(int, const std::string&, const std::string&) override {}
  void SetRowText(int, fw::Column, const std::string&) override {}
  void DeleteAllRows() override {}
  void SetStatusText(const std::string&) override {}
  void EnableControl(fw::Control, bool) override {}
  void SetProgressRange(fw::ProgressBar, int, int) override {}
  void SetProgressPos(fw::ProgressBar, int) override {}
  fw::MessageResult MessageBox(const std::string&, fw::MessageIcon, fw::MessageButtons,
                               const std::string&) override {
    ++boxes;
    return fw::MessageResult::Ok;
  }
  void SetWaitCursor(bool) override {}
  void Post(const fw::JobEvent&) override {}
  void SetTimer(fw::Timer, uint32_t) override {}
  void KillTimer(fw::Timer) override {}

  int boxes = 0;
};

// The outcome of an exchange as the acceptance rule has it.
struct ModelExchange {
  bool accepted = false;
  size_t attempts = 0;
  Bytes buffer;  // the reply buffer afterwards: every attempt's bytes over the earlier ones
  Bytes got;     // the bytes received by the last attempt
};

bool WholeFrame(const Bytes& got) {
  return got.size() > 9 && got[0] == fw::kFrameStart && got[9] == got.size();
}

// A framed reply the link takes: whole, and with valid checksums when they are checked.
bool AcceptedFrame(const Bytes& got) {
  return WholeFrame(got) && (!g_checkSums || ReferenceSumsValid(got));
}

// `first` judges the first attempt; every attempt takes at most `count` bytes.
template <class FirstRule, class RepeatRule>
ModelExchange Model(const std::vector<Turn>& turns, size_t maxAttempts, uint32_t count,
                    FirstRule first, RepeatRule repeat) {
  ModelExchange m;
  m.buffer.assign(count, 0);
  for (size_t k = 0; k < maxAttempts && k < turns.size(); ++k) {
    const Bytes& reply = turns[k].reply;
    m.got.assign(reply.begin(), reply.begin() + std::min<size_t>(reply.size(), count));
    std::copy(m.got.begin(), m.got.end(), m.buffer.begin());
    m.attempts = k + 1;
    if (k == 0 ? first(m.got, turns[k].request) : repeat(m.got, turns[k].request)) {
      m.accepted = true;
      return m;
    }
  }
  // Without acceptance every attempt must have gone out.
  FUZZ_CHECK(turns.size() >= maxAttempts);
  m.attempts = maxAttempts;
  return m;
}

ModelExchange ModelCommand(const std::vector<Turn>& turns, uint32_t count, bool versionQuery) {
  auto acceptable = [&](const Bytes& got) {
    return (versionQuery && got.size() == count) || AcceptedFrame(got);
  };
  return Model(
      turns, kCommandAttempts, count,
      [&](const Bytes& got, const Bytes&) { return acceptable(got); },
      [&](const Bytes& got, const Bytes& request) { return acceptable(got) && got != request; });
}

// Every request of one command is the same data frame, well formed, with this code and
// these parameters.
void CheckCommandFrames(const std::vector<Turn>& turns, uint16_t code, const Bytes& params) {
  FUZZ_CHECK(!turns.empty());
  const Bytes& frame = turns[0].request;
  const size_t p = params.size();
  FUZZ_CHECK(frame.size() == fw::kLinkHeaderSize + p + fw::kPacketOverhead);
  FUZZ_CHECK(frame[0] == fw::kFrameStart && frame[1] == 0x01 && frame[6] == 0 && frame[7] == 1);
  FUZZ_CHECK(((frame[8] << 8) | frame[9]) == static_cast<int>(frame.size()));
  FUZZ_CHECK(ReferenceFrameChecksum(frame.data(), frame.size()) == 0);
  FUZZ_CHECK(fw::FrameChecksumValid(frame.data(), frame.size()));
  const uint8_t* packet = frame.data() + fw::kLinkHeaderSize;
  FUZZ_CHECK(packet[0] == 0x02 && Le16(packet + 1) == code && Le16(packet + 3) == p);
  FUZZ_CHECK(std::equal(params.begin(), params.end(), packet + 5));
  uint8_t sum = 0;
  for (size_t i = 1; i < 5 + p; ++i) {
    sum = static_cast<uint8_t>(sum + packet[i]);
  }
  FUZZ_CHECK(static_cast<uint8_t>(sum + packet[5 + p]) == 0x32 && packet[6 + p] == 0x03);
  for (const Turn& t : turns) {
    FUZZ_CHECK(t.request == frame);
  }
}

Bytes BlockAddress(uint16_t areaField, uint32_t offset, uint16_t length) {
  Bytes a = {0x00, 0x00, 0x00, 0x01};
  a.push_back(static_cast<uint8_t>(areaField));
  a.push_back(static_cast<uint8_t>(areaField >> 8));
  for (int i = 0; i < 4; ++i) {
    a.push_back(static_cast<uint8_t>(offset >> (8 * i)));
  }
  a.push_back(static_cast<uint8_t>(length));
  a.push_back(static_cast<uint8_t>(length >> 8));
  return a;
}

bool Untouched(const Bytes& dest) {
  return std::all_of(dest.begin(), dest.end(), [](uint8_t b) { return b == kUntouched; });
}

// The checks on the raw input that need no port.
void CheckRawDecoding(const uint8_t* data, size_t size) {
  const uint16_t sum = fw::FrameChecksum(data, size);
  FUZZ_CHECK(sum == ReferenceFrameChecksum(data, size));
  if (size >= fw::kLinkHeaderSize) {
    Bytes frame(data, data + size);
    FUZZ_CHECK(fw::FrameChecksumValid(frame.data(), size) ==
               (ReferenceFrameChecksum(frame.data(), size) == 0));
    fw::SealFrame(frame.data(), size);
    FUZZ_CHECK(fw::FrameChecksumValid(frame.data(), size));
    FUZZ_CHECK(std::equal(frame.begin() + 12, frame.end(), data + 12));
    FUZZ_CHECK(fw::FrameLength(frame.data()) == ((data[8] << 8) | data[9]));
  }
  uint8_t packetSum = 0;
  for (size_t i = 0; i < size; ++i) {
    packetSum = static_cast<uint8_t>(packetSum + data[i]);
  }
  FUZZ_CHECK(static_cast<uint8_t>(fw::PacketChecksum(data, size) + packetSum) == 0x32);
  FUZZ_CHECK(fw::ReplySumsValid(data, static_cast<uint32_t>(size)) ==
             ReferenceSumsValid(Bytes(data, data + size)));

  const uint16_t version = fw::ParseVersionReply(data, static_cast<uint32_t>(size));
  FUZZ_CHECK(version == ReferenceVersion(data, size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScriptedRadio* radio = &fw::fuzz::ServedRadio();
  static fw::RadioLink& link = []() -> fw::RadioLink& {
    auto* l = new fw::RadioLink();
    l->Port().SetJobClock(fw::fuzz::ServedClock());
    l->Port().UseChannel(fw::fuzz::ServedRadio().NewChannel());
    return *l;
  }();

  CheckRawDecoding(data, size);
  if (size < 3) {
    return 0;
  }
  const int op = (data[0] & 0x7F) % 5;
  g_checkSums = (data[0] & 0x80) == 0;
  link.Port().SetCheckReplySums(g_checkSums);
  const uint8_t p1 = data[1];
  const uint8_t p2 = data[2];
  Script script(data + 3, size - 3);
  radio->Begin([&script](const Bytes& request) {
    fw::fuzz::Reply reply;
    reply.push_back(script.Next(request));
    return reply;
  });

  // The handshake: any answer but the connect frame itself at first, then a whole frame
  // that is no echo.
  const int connected = link.Connect(kPortNumber, radio->Path()) ? 1 : 0;
  const std::vector<Turn> handshake = radio->TakeTurns();
  const ModelExchange hello = Model(
      handshake, kConnectAttempts, kConnectReplyLength,
      [](const Bytes& got, const Bytes& request) { return !got.empty() && got != request; },
      [](const Bytes& got, const Bytes& request) { return AcceptedFrame(got) && got != request; });
  FUZZ_CHECK(handshake.size() == hello.attempts);
  FUZZ_CHECK(connected == (hello.accepted ? 1 : 0));
  FUZZ_CHECK(link.Port().IsOpen() == hello.accepted);
  Bytes connectFrame(fw::kConnectFrameSize);
  fw::BuildConnectFrame(connectFrame.data(), connectFrame.size());
  for (const Turn& t : handshake) {
    FUZZ_CHECK(t.request == connectFrame);
  }
  if (connected != 1) {
    radio->End();
    return 0;
  }

  switch (op) {
    case 0: {  // ReadInfo of n bytes of area p1
      const uint16_t n = p2;
      const uint8_t zeros[16] = {};
      Bytes dest(256, kUntouched);
      // A refusal and a failure both give no status: count them as status 1, as the radio says.
      const int status = link.ReadInfo(zeros, sizeof zeros, p1, dest.data(), n).value_or(1);
      const std::vector<Turn> turns = radio->TakeTurns();
      if (n > fw::RadioLink::kMaxInfoLength) {
        FUZZ_CHECK(status == 1 && turns.empty() && Untouched(dest));
        break;
      }
      Bytes params(17, 0);
      params[0] = p1;
      CheckCommandFrames(turns, fw::kCmdReadInfo, params);
      const uint32_t count = n + fw::RadioLink::kInfoReplyOverhead;
      const ModelExchange m = ModelCommand(turns, count, false);
      FUZZ_CHECK(turns.size() == m.attempts);
      FUZZ_CHECK(link.Port().IsOpen() == m.accepted);
      const Bytes& got = m.got;
      if (status != 1) {
        // Information is handed out only when all of it arrived, for this area and length.
        FUZZ_CHECK(m.accepted && got.size() == count && got[17] == status);
        FUZZ_CHECK(got[18] == p1 && Le16(got.data() + 19) == n);
        FUZZ_CHECK(std::equal(dest.begin(), dest.begin() + n, got.begin() + 21));
        FUZZ_CHECK(
            std::all_of(dest.begin() + n, dest.end(), [](uint8_t b) { return b == kUntouched; }));
      } else {
        FUZZ_CHECK(Untouched(dest));
      }
      // A whole reply whose length field says so, for this area and length, is taken.
      if (m.accepted && fw::FrameLength(got.data()) == count && got[18] == p1 &&
          Le16(got.data() + 19) == n) {
        FUZZ_CHECK(status == got[17]);
      }
      break;
    }
    case 1: {                       // ReadBlock of n bytes at an offset
      const uint16_t n = p2 % 202;  // 0 and 201 are refused
      const uint32_t offset = p1 * 200u;
      Bytes dest(256, kUntouched);
      const int ok =
          link.ReadBlock(fw::kMemorySelector, p1 & 1 ? 170 : 0, offset, n, dest.data()) ? 1 : 0;
      const std::vector<Turn> turns = radio->TakeTurns();
      if (n == 0 || n > fw::kBlockSize) {
        FUZZ_CHECK(ok == 0 && turns.empty() && Untouched(dest));
        break;
      }
      CheckCommandFrames(turns, fw::kCmdReadBlock,
                         BlockAddress(p1 & 1 ? 170 : 0, offset, fw::kBlockSize));
      const uint32_t count = fw::kBlockSize + fw::RadioLink::kBlockReplyOverhead;
      const ModelExchange m = ModelCommand(turns, count, false);
      FUZZ_CHECK(turns.size() == m.attempts);
      FUZZ_CHECK(link.Port().IsOpen() == m.accepted);
      // A block is handed out only when its n bytes arrived; it is when the frame's length
      // field says what arrived.
      const size_t needed = fw::RadioLink::kBlockDataOffset + n;
      if (ok == 1) {
        FUZZ_CHECK(m.accepted && m.got.size() >= needed);
        FUZZ_CHECK(std::equal(dest.begin(), dest.begin() + n, m.got.begin() + 30));
        FUZZ_CHECK(
            std::all_of(dest.begin() + n, dest.end(), [](uint8_t b) { return b == kUntouched; }));
      } else {
        FUZZ_CHECK(ok == 0 && Untouched(dest));
      }
      if (m.accepted && m.got.size() >= needed && fw::FrameLength(m.got.data()) == m.got.size()) {
        FUZZ_CHECK(ok == 1);
      }
      break;
    }
    case 2: {                                                          // WriteBlock of n bytes
      const uint16_t n = static_cast<uint16_t>(p2 | ((p1 & 3) << 8));  // above 993 refused
      const uint32_t offset = static_cast<uint32_t>(p1) << 10;
      Bytes source(n);
      for (size_t i = 0; i < n; ++i) {
        source[i] = static_cast<uint8_t>(i * 31 + p1);
      }
      const int ok = link.WriteBlock(fw::kMemorySelector, 0, offset, n, source.data()) ? 1 : 0;
      const std::vector<Turn> turns = radio->TakeTurns();
      if (n > fw::RadioLink::kMaxWriteLength) {
        FUZZ_CHECK(ok == 0 && turns.empty());
        break;
      }
      Bytes params = BlockAddress(0, offset, n);
      params.insert(params.end(), source.begin(), source.end());
      CheckCommandFrames(turns, fw::kCmdWriteBlock, params);
      const ModelExchange m = ModelCommand(turns, fw::RadioLink::kWriteReplyLength, false);
      FUZZ_CHECK(turns.size() == m.attempts);
      FUZZ_CHECK(link.Port().IsOpen() == m.accepted);
      FUZZ_CHECK(ok == (m.accepted ? 1 : 0));
      break;
    }
    case 3: {  // EndAccess
      const int result = link.EndAccess(p1) ? 0 : 1;
      const std::vector<Turn> turns = radio->TakeTurns();
      CheckCommandFrames(turns, fw::kCmdEndAccess, Bytes{p1});
      const ModelExchange m = ModelCommand(turns, fw::RadioLink::kEndAccessReplyLength, false);
      FUZZ_CHECK(turns.size() == m.attempts);
      FUZZ_CHECK(link.Port().IsOpen() == m.accepted);
      FUZZ_CHECK(result ==
                 (m.accepted && m.got.size() == fw::RadioLink::kEndAccessReplyLength ? 0 : 1));
      break;
    }
    default: {  // the firmware version query
      QuietView view;
      const int mayRead = fw::QueryFirmwareVersion(link, view) ? 1 : 0;
      const std::vector<Turn> turns = radio->TakeTurns();
      FUZZ_CHECK(!turns.empty());
      for (const Turn& t : turns) {
        FUZZ_CHECK(t.request ==
                   Bytes(std::begin(fw::kVersionQueryRequest), std::end(fw::kVersionQueryRequest)));
      }
      const ModelExchange m = ModelCommand(turns, kVersionReplyLength, true);
      FUZZ_CHECK(turns.size() == m.attempts);
      const bool newFamily =
          m.accepted && ReferenceVersion(m.buffer.data(), m.buffer.size()) >= fw::kNewFamilyVersion;
      FUZZ_CHECK(mayRead == (newFamily ? 0 : 1));
      FUZZ_CHECK(view.boxes == (newFamily ? 1 : 0));
      FUZZ_CHECK(link.Port().IsOpen() == !newFamily);
      break;
    }
  }
  link.Disconnect();
  radio->End();
  return 0;
}
