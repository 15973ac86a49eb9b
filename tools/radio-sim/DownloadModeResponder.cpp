#include "DownloadModeResponder.h"

#include <algorithm>
#include <cstring>

namespace fw::sim {
namespace {

constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kCrcRequest = 'C';
constexpr size_t kHeaderSize = 133;
constexpr size_t kDataSize = 1029;
const uint8_t kAutoRequest[10] = {0x5A, 0xA5, 'A', 'U', 'T', 'O', ' ', 'I', 'A', 'P'};

// The radio's own CRC-16 (polynomial 0x1021, start 0xFFFF, MSB first), bit by bit.
uint16_t RadioCrc(const uint8_t* data, size_t length) {
  uint32_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    crc ^= static_cast<uint32_t>(data[i]) << 8;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1);
    }
  }
  return static_cast<uint16_t>(crc & 0xFFFF);
}

bool CrcOk(const uint8_t* payload, size_t length) {
  uint16_t crc = RadioCrc(payload, length);
  return payload[length] == (crc >> 8) && payload[length + 1] == (crc & 0xFF);
}

void PutText(std::vector<uint8_t>& reply, size_t offset, const std::string& text, size_t max) {
  for (size_t i = 0; i < text.size() && i < max && offset + i < reply.size(); ++i) {
    reply[offset + i] = static_cast<uint8_t>(text[i]);
  }
}

std::vector<uint8_t> Padded(const char* text, size_t length) {
  std::vector<uint8_t> r(length, 0);
  std::memcpy(r.data(), text, std::min(length, std::strlen(text)));
  return r;
}

}  // namespace

std::vector<uint8_t> DownloadRecord::Image() const {
  if (declaredSize < 0) {
    return received;
  }
  size_t n = std::min(received.size(), static_cast<size_t>(declaredSize));
  return std::vector<uint8_t>(received.begin(), received.begin() + static_cast<long>(n));
}

DownloadModeResponder::DownloadModeResponder(RadioMode& mode, const DownloadModeConfig& config)
    : mode_(mode), config_(config) {}

void DownloadModeResponder::ResetRecord() {
  const uint32_t completedTransfers = record_.completedTransfers;
  record_ = DownloadRecord();
  record_.completedTransfers = completedTransfers;
  expectedBlock_ = 1;
}

std::vector<uint8_t> DownloadModeResponder::AutoDownloadReply() {
  std::vector<uint8_t> r = Padded(
      "\x5A\xA5"
      "AUTO IAP ENTER OK",
      20);
  return r;
}

std::vector<uint8_t> DownloadModeResponder::IdentifyReply() const {
  std::vector<uint8_t> r(config_.identifyReplyLength, 0);
  if (r.size() >= 2) {
    r[0] = 'R';
    r[1] = ':';
  }
  PutText(r, 2, config_.info, 10);
  PutText(r, 12, config_.variant, 12);
  PutText(r, 24, config_.model, 28);
  return r;
}

std::vector<uint8_t> DownloadModeResponder::WaitingReply() {
  return Padded("Waiting...  send the image with CRC-16 in 1024-byte blocks", 58);
}

bool DownloadModeResponder::Accepts(uint8_t first) const {
  if (mode_.Current() == RadioMode::kNormal && first == 0x5A) {
    return true;  // a running radio is asked to enter download mode
  }
  if (mode_.Current() == RadioMode::kNormal && first == 0x52 && NextRadioWaiting()) {
    return true;  // the next radio on the bench, in download mode
  }
  if (mode_.Current() != RadioMode::kDownload) {
    return false;
  }
  return first == 0x5A || first == 0x52 || first == 0x31 || first == 0x01 || first == 0x02 ||
         first == 0x04;
}

bool DownloadModeResponder::NextRadioWaiting() const {
  return config_.nextRadioAfterUpgrade && record_.completed;
}

bool DownloadModeResponder::Faulted(DownloadStep step, uint32_t block,
                                    const std::vector<uint8_t>& normal, std::vector<Action>& out) {
  const DownloadFault& f = config_.fault;
  if (f.kind == FaultKind::kNone || f.step != step) {
    return false;
  }
  if (step == DownloadStep::kData && block != f.dataBlock) {
    return false;
  }
  if (f.attempts > 0 && faultsDone_ >= f.attempts) {
    return false;
  }
  ++faultsDone_;
  Action a;
  switch (f.kind) {
    case FaultKind::kSilence:
      return true;
    case FaultKind::kShortReply:
      a.bytes.assign(normal.begin(), normal.begin() + static_cast<long>(normal.size() / 3));
      break;
    case FaultKind::kWrongByte:
      a.bytes = normal;
      if (!a.bytes.empty()) {
        a.bytes[0] = a.bytes[0] == kAck ? kNak : static_cast<uint8_t>(a.bytes[0] ^ 0xFF);
      }
      break;
    case FaultKind::kHangUp:
      a.hangUp = true;
      break;
    case FaultKind::kGarbled:
      a.bytes = normal;
      for (size_t i = 2; i < a.bytes.size(); ++i) {
        a.bytes[i] = static_cast<uint8_t>(~a.bytes[i]);
      }
      break;
    case FaultKind::kNotInDownload: {
      a.bytes = normal;
      PutText(a.bytes, 2, std::string("====\0\0\0\0\0\0", 10), 10);
      break;
    }
    case FaultKind::kNone:
      return false;
  }
  out.push_back(a);
  return true;
}

size_t DownloadModeResponder::Consume(const uint8_t* in, size_t n, std::vector<Action>& out) {
  SetExchange(nullptr);
  switch (in[0]) {
    case 0x5A: {
      if (n < sizeof kAutoRequest) {
        return 0;
      }
      if (std::memcmp(in, kAutoRequest, sizeof kAutoRequest) != 0) {
        return 1;  // not the request: drop the byte
      }
      // A running radio asked to enter download mode takes a new transfer.
      const bool fromNormal = mode_.Current() == RadioMode::kNormal;
      if (fromNormal) {
        ResetRecord();
      }
      SetExchange("auto download");
      ++record_.requests[static_cast<int>(DownloadStep::kAutoDownload)];
      std::vector<uint8_t> reply = AutoDownloadReply();
      if (!Faulted(DownloadStep::kAutoDownload, 0, reply, out)) {
        out.push_back(Action{reply});
        if (fromNormal) {
          mode_.Set(RadioMode::kDownload);
        }
      }
      return sizeof kAutoRequest;
    }
    case 0x52: {
      if (mode_.Current() == RadioMode::kNormal) {
        // An upgraded radio was taken off the bench; this one waits in download mode.
        ResetRecord();
        mode_.Set(RadioMode::kDownload);
      }
      SetExchange("identify");
      ++record_.requests[static_cast<int>(DownloadStep::kIdentify)];
      std::vector<uint8_t> reply = IdentifyReply();
      if (!Faulted(DownloadStep::kIdentify, 0, reply, out)) {
        out.push_back(Action{reply});
      }
      return 1;
    }
    case 0x31: {
      SetExchange("download request");
      ++record_.requests[static_cast<int>(DownloadStep::kDownloadRequest)];
      std::vector<uint8_t> reply = WaitingReply();
      if (!Faulted(DownloadStep::kDownloadRequest, 0, reply, out)) {
        if (config_.loseWaitingFirstByte) {
          reply.erase(reply.begin());
        }
        out.push_back(Action{reply});
        ResetRecord();  // a new batch follows
        record_.requests[static_cast<int>(DownloadStep::kDownloadRequest)] = 1;
      }
      return 1;
    }
    case 0x01:
      return ConsumeHeader(in, n, out);
    case 0x02:
      return ConsumeData(in, n, out);
    case 0x04: {
      SetExchange("end of transmission");
      ++record_.requests[static_cast<int>(DownloadStep::kEnd)];
      std::vector<uint8_t> reply = {kAck, kCrcRequest};
      if (!Faulted(DownloadStep::kEnd, 0, reply, out)) {
        record_.endReceived = true;
        out.push_back(Action{reply});
      }
      return 1;
    }
    default:
      return 1;
  }
}

size_t DownloadModeResponder::ConsumeHeader(const uint8_t* in, size_t n, std::vector<Action>& out) {
  if (n < kHeaderSize) {
    return 0;
  }
  const uint8_t* payload = in + 3;
  const bool closing = record_.endReceived;
  const DownloadStep step = closing ? DownloadStep::kClosing : DownloadStep::kHeader;
  SetExchange(closing ? "closing block" : "header block");
  ++record_.requests[static_cast<int>(step)];
  if (in[1] != 0x00 || in[2] != 0xFF || !CrcOk(payload, 128)) {
    ++record_.badBlocks;
    out.push_back(Action{{kNak}});
    return kHeaderSize;
  }
  if (closing) {
    std::vector<uint8_t> reply = Padded("Upgrade finished, restarting", 80);
    if (!Faulted(step, 0, reply, out)) {
      record_.completed = true;
      ++record_.completedTransfers;
      out.push_back(Action{reply});
      mode_.Restart(config_.restartMs);
    }
    return kHeaderSize;
  }
  std::vector<uint8_t> reply = {kAck, kCrcRequest};
  if (Faulted(step, 0, reply, out)) {
    return kHeaderSize;
  }
  size_t nameLength = 0;
  while (nameLength < 128 && payload[nameLength] != 0) {
    ++nameLength;
  }
  record_.fileName.assign(reinterpret_cast<const char*>(payload), nameLength);
  int64_t size = 0;
  for (size_t i = nameLength + 1; i < 128 && payload[i] >= '0' && payload[i] <= '9'; ++i) {
    size = size * 10 + (payload[i] - '0');
  }
  record_.declaredSize = size;
  record_.received.clear();
  expectedBlock_ = 1;
  out.push_back(Action{reply});
  return kHeaderSize;
}

size_t DownloadModeResponder::ConsumeData(const uint8_t* in, size_t n, std::vector<Action>& out) {
  if (n < kDataSize) {
    return 0;
  }
  SetExchange("data block");
  ++record_.requests[static_cast<int>(DownloadStep::kData)];
  const uint8_t number = in[1];
  std::vector<uint8_t> ack = {kAck};
  if (Faulted(DownloadStep::kData, expectedBlock_, ack, out)) {
    return kDataSize;
  }
  if (static_cast<uint8_t>(~in[2]) != number || !CrcOk(in + 3, 1024)) {
    ++record_.badBlocks;
    out.push_back(Action{{kNak}});
    return kDataSize;
  }
  if (number == static_cast<uint8_t>(expectedBlock_ - 1) && expectedBlock_ > 1) {
    ++record_.duplicateBlocks;  // our ACK was lost; the tool sent it again
    out.push_back(Action{ack});
    return kDataSize;
  }
  if (number != static_cast<uint8_t>(expectedBlock_)) {
    ++record_.badBlocks;
    out.push_back(Action{{kNak}});
    return kDataSize;
  }
  record_.received.insert(record_.received.end(), in + 3, in + 3 + 1024);
  ++record_.blocksAccepted;
  ++expectedBlock_;
  out.push_back(Action{ack});
  return kDataSize;
}

}  // namespace fw::sim
