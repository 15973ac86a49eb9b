#include "FramedLinkResponder.h"

#include <algorithm>
#include <cstring>

#include "protocol/LinkFrame.h"

namespace fw::sim {
namespace {

constexpr uint8_t kVersionQuery[4] = {0x02, 0x50, 0x00, 0x03};
constexpr uint16_t kVoiceHeaderArea = 170;

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool IsInfoArea(uint8_t area) {
  return area == 0 || area == 2 || area == 4 || area == 5 || area == 7 || area == 8;
}

FramedLinkResponder::Memory MemoryOfArea(uint8_t area) {
  if (area == 5) {
    return FramedLinkResponder::Memory::kFont;
  }
  if (area == 4) {
    return FramedLinkResponder::Memory::kVoice;
  }
  return FramedLinkResponder::Memory::kData;
}

}  // namespace

FramedLinkResponder::FramedLinkResponder(const RadioMode* mode)
    : mode_(mode), data_(131072, 0), font_(153650, 0), voice_(10240, 0) {
  SetInfoBlock(MakeInfoBlock("KW66000000N02000", "KW66000000N00000", '1'));
  const uint32_t voiceKb = static_cast<uint32_t>(voice_.size() / 1024);
  std::memcpy(voiceHeader_.data() + 6, &voiceKb, 4);
}

FramedLinkResponder::InfoBlock FramedLinkResponder::MakeInfoBlock(const std::string& identifier,
                                                                  const std::string& modelText,
                                                                  char areaDigit) {
  InfoBlock b{};
  for (size_t i = 0; i < 16 && i < identifier.size(); ++i) {
    b[1 + 2 * i] = static_cast<uint8_t>(identifier[i]);  // UTF-16LE of an ASCII text
  }
  std::memcpy(b.data() + 49, modelText.data(), std::min<size_t>(modelText.size(), 32));
  b[149] = static_cast<uint8_t>(areaDigit);
  return b;
}

void FramedLinkResponder::SetInfoBlock(const InfoBlock& block) {
  for (uint8_t area : {0, 2, 4, 5, 7, 8}) {
    info_[area] = block;
  }
}

void FramedLinkResponder::SetInfoBlock(uint8_t area, const InfoBlock& block) {
  info_[area] = block;
}

std::vector<uint8_t>& FramedLinkResponder::MemoryImage(Memory m) {
  switch (m) {
    case Memory::kFont:
      return font_;
    case Memory::kVoice:
      return voice_;
    case Memory::kData:
      break;
  }
  return data_;
}

void FramedLinkResponder::InjectFault(Command command, Fault fault, int skip, int times) {
  faults_[command] = FaultPlan{fault, seenCount_[command] + skip, times};
}

int FramedLinkResponder::CountOf(Command command) const {
  return static_cast<int>(
      std::count_if(requests_.begin(), requests_.end(),
                    [&](const SeenRequest& r) { return r.command == command; }));
}

void FramedLinkResponder::ClearRecord() {
  requests_.clear();
  badChecksums_ = 0;
  droppedWrites_ = 0;
}

FramedLinkResponder::Fault FramedLinkResponder::NextFault(Command command) {
  const int index = seenCount_[command]++;
  auto it = faults_.find(command);
  if (it == faults_.end()) {
    return Fault::kNone;
  }
  const FaultPlan& plan = it->second;
  if (index < plan.skip || (plan.times >= 0 && index >= plan.skip + plan.times)) {
    return Fault::kNone;
  }
  return plan.fault;
}

bool FramedLinkResponder::Accepts(uint8_t first) const {
  if (mode_ != nullptr && mode_->Current() != RadioMode::kNormal) {
    return false;
  }
  return first == kFrameStart || first == kVersionQuery[0];
}

size_t FramedLinkResponder::Consume(const uint8_t* in, size_t n, std::vector<Action>& out) {
  SetExchange(nullptr);
  if (in[0] == kFrameStart) {
    return ConsumeFrame(in, n, out);
  }
  if (n < sizeof kVersionQuery) {
    return 0;
  }
  if (std::memcmp(in, kVersionQuery, sizeof kVersionQuery) != 0) {
    return 1;  // not a request of this link
  }
  SetExchange("version query");
  requests_.push_back(SeenRequest{Command::kVersionQuery});
  const Fault fault = NextFault(Command::kVersionQuery);
  if (versionText_.empty() || fault == Fault::kSilence) {
    return sizeof kVersionQuery;
  }
  Action a;
  a.bytes.assign(kVersionReplySize, 0);
  std::memcpy(a.bytes.data(), versionText_.data(),
              std::min(versionText_.size(), kVersionReplySize));
  if (fault == Fault::kWrongLength) {
    a.bytes.pop_back();
  }
  if (fault == Fault::kHangUp) {
    a.bytes.clear();
    a.hangUp = true;
  }
  out.push_back(std::move(a));
  return sizeof kVersionQuery;
}

size_t FramedLinkResponder::ConsumeFrame(const uint8_t* in, size_t n, std::vector<Action>& out) {
  if (n < 10) {
    return 0;
  }
  const size_t length = FrameLength(in);
  if (length < kLinkHeaderSize || length > kFrameBufferSize) {
    ++badChecksums_;  // not a frame: drop the start byte and look again
    return 1;
  }
  if (n < length) {
    return 0;
  }
  if (!FrameChecksumValid(in, length)) {
    ++badChecksums_;
    return length;
  }
  if (length == kConnectFrameSize && in[1] == 0x00 && in[3] == 0xFE) {
    SetExchange("connect");
    requests_.push_back(SeenRequest{Command::kConnect});
    const Fault fault = NextFault(Command::kConnect);
    if (unreachableConnects_ > 0) {
      --unreachableConnects_;
      return length;
    }
    // The radio answers with source and destination swapped.
    uint8_t reply[kConnectFrameSize] = {0x7E, 0x00, 0x00, 0xFE, 0x10, 0x20, 0, 0, 0x00, 0x0C};
    if (fault == Fault::kWrongLength) {
      reply[9] = 0x0D;
    }
    SealFrame(reply, sizeof reply);
    Action a;
    if (fault == Fault::kHangUp) {
      a.hangUp = true;
    } else if (fault != Fault::kSilence) {
      a.bytes.assign(reply, reply + sizeof reply);
    }
    if (!a.bytes.empty() || a.hangUp) {
      out.push_back(std::move(a));
    }
    return length;
  }
  const uint8_t* packet = in + kLinkHeaderSize;
  const size_t packetLength = length - kLinkHeaderSize;
  if (packetLength < kPacketOverhead || packet[0] != 0x02 ||
      Le16(packet + 3) + kPacketOverhead != packetLength || packet[packetLength - 1] != 0x03 ||
      PacketChecksum(packet + 1, packetLength - 3) != packet[packetLength - 2]) {
    ++badChecksums_;
    return length;
  }
  const uint16_t sequence = static_cast<uint16_t>((in[6] << 8) | in[7]);
  ServeCommand(Le16(packet + 1), sequence, packet + 5, Le16(packet + 3), out);
  return length;
}

void FramedLinkResponder::ServeCommand(uint16_t code, uint16_t sequence, const uint8_t* params,
                                       size_t p, std::vector<Action>& out) {
  SeenRequest seen{};
  seen.sequence = sequence;
  seen.memory = selected_;
  std::vector<uint8_t> reply;
  Fault fault = Fault::kNone;
  switch (code) {
    case kCmdReadInfo: {
      if (p < 1) {
        return;
      }
      seen.command = Command::kReadInfo;
      SetExchange("information");
      seen.infoArea = params[0];
      fault = NextFault(seen.command);
      auto it = info_.find(params[0]);
      if (!IsInfoArea(params[0]) || it == info_.end()) {
        requests_.push_back(seen);
        return;  // an area this radio does not have: no answer
      }
      // Area 5 asked for while the voice memory is selected opens that memory for writing
      // (the voice prompt write asks for area 4, then 5); otherwise it selects the font.
      if (params[0] != 5 || selected_ != Memory::kVoice) {
        selected_ = MemoryOfArea(params[0]);
      }
      seen.memory = selected_;
      uint8_t area = params[0];
      if (fault == Fault::kWrongArea) {
        area = static_cast<uint8_t>(area == 5 ? 8 : 5);
      }
      reply = {infoStatus_, area, static_cast<uint8_t>(kInfoSize), 0};
      reply.insert(reply.end(), it->second.begin(), it->second.end());
      break;
    }
    case kCmdEndAccess:
      if (p < 1) {
        return;
      }
      seen.command = Command::kEndAccess;
      SetExchange("end access");
      seen.infoArea = params[0];
      fault = NextFault(seen.command);
      reply = {0};
      break;
    case kCmdReadBlock:
    case kCmdWriteBlock: {
      if (p < kBlockAddressSize) {
        return;
      }
      const bool write = code == kCmdWriteBlock;
      seen.command = write ? Command::kWriteBlock : Command::kReadBlock;
      SetExchange(write ? "write block" : "read block");
      seen.areaField = Le16(params + 4);
      seen.offset = Le32(params + 6);
      seen.length = Le16(params + 10);
      fault = NextFault(seen.command);
      reply.push_back(0);
      reply.insert(reply.end(), params, params + kBlockAddressSize);
      if (write) {
        std::vector<uint8_t>& mem = MemoryImage(selected_);
        const size_t count = std::min<size_t>(seen.length, p - kBlockAddressSize);
        for (size_t i = 0; i < count; ++i) {
          if (seen.offset + i < mem.size()) {
            mem[seen.offset + i] = params[kBlockAddressSize + i];
          } else {
            ++droppedWrites_;
          }
        }
      } else if (seen.areaField == kVoiceHeaderArea) {
        reply.insert(reply.end(), voiceHeader_.begin(), voiceHeader_.end());
        reply.resize(reply.size() + kBlockSize - voiceHeader_.size(), 0);
      } else {
        const std::vector<uint8_t>& mem = MemoryImage(selected_);
        for (size_t i = 0; i < kBlockSize; ++i) {
          reply.push_back(seen.offset + i < mem.size() ? mem[seen.offset + i] : 0);
        }
      }
      break;
    }
    default:
      return;  // unknown command: no answer
  }
  requests_.push_back(seen);
  Answer(seen.command, fault, static_cast<uint16_t>(code | 0x8000), reply, out);
}

void FramedLinkResponder::Answer(Command /*command*/, Fault fault, uint16_t replyCode,
                                 const std::vector<uint8_t>& params, std::vector<Action>& out) {
  Action a;
  if (fault == Fault::kSilence) {
    return;
  }
  if (fault == Fault::kHangUp) {
    a.hangUp = true;
    out.push_back(std::move(a));
    return;
  }
  std::vector<uint8_t> p = params;
  if (fault == Fault::kStatus1 && !p.empty()) {
    p[0] = 1;
  }
  if (fault == Fault::kShortReply && p.size() > 1) {
    p.resize(1);
  }
  uint8_t packet[kFrameBufferSize];
  uint8_t frame[kFrameBufferSize];
  const size_t packetLength =
      BuildCommandPacket(replyCode, p.data(), p.size(), packet, sizeof packet);
  const size_t frameLength = BuildDataFrame(packet, packetLength, 1, frame, sizeof frame);
  if (fault == Fault::kWrongLength) {
    frame[9] = static_cast<uint8_t>(frame[9] + 1);
    SealFrame(frame, frameLength);
  }
  a.bytes.assign(frame, frame + frameLength);
  out.push_back(std::move(a));
}

}  // namespace fw::sim
