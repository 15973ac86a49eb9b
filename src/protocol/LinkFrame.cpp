#include "protocol/LinkFrame.h"

#include <cstring>

namespace fw {
namespace {

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

void WriteHeader(uint8_t* out, uint8_t b1, uint8_t b3, uint16_t sequence, uint16_t length) {
  out[0] = kFrameStart;
  out[1] = b1;
  out[2] = 0x00;
  out[3] = b3;
  out[4] = 0x20;
  out[5] = 0x10;
  out[6] = static_cast<uint8_t>(sequence >> 8);
  out[7] = static_cast<uint8_t>(sequence);
  out[8] = static_cast<uint8_t>(length >> 8);
  out[9] = static_cast<uint8_t>(length);
  out[10] = 0;
  out[11] = 0;
}

}  // namespace

uint16_t FrameChecksum(const uint8_t* bytes, size_t n) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 1 < n; i += 2) {
    sum += static_cast<uint32_t>(bytes[i]) | (static_cast<uint32_t>(bytes[i + 1]) << 8);
  }
  if (i < n) {
    sum += bytes[i];  // the padding byte is zero
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

void SealFrame(uint8_t* frame, size_t n) {
  frame[10] = 0;
  frame[11] = 0;
  PutLe16(frame + 10, FrameChecksum(frame, n));
}

bool FrameChecksumValid(const uint8_t* frame, size_t n) {
  if (n < kLinkHeaderSize) {
    return false;
  }
  // Summing a frame with its checksum in place gives all ones, whose complement is 0.
  return FrameChecksum(frame, n) == 0;
}

uint8_t PacketChecksum(const uint8_t* bytes, size_t n) {
  uint8_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    sum = static_cast<uint8_t>(sum + bytes[i]);
  }
  return static_cast<uint8_t>(0x32 - sum);
}

uint16_t FrameSequence::Next(bool restart) {
  if (restart) {
    next_ = 1;
  }
  return next_++;
}

size_t BuildConnectFrame(uint8_t* out, size_t capacity) {
  if (capacity < kConnectFrameSize) {
    return 0;
  }
  WriteHeader(out, 0x00, 0xFE, 0, kConnectFrameSize);
  SealFrame(out, kConnectFrameSize);
  return kConnectFrameSize;
}

size_t BuildCommandPacket(uint16_t code, const uint8_t* params, size_t paramLength, uint8_t* out,
                          size_t capacity) {
  if (paramLength > 0xFFFF || paramLength + kPacketOverhead > capacity) {
    return 0;
  }
  out[0] = 0x02;
  PutLe16(out + 1, code);
  PutLe16(out + 3, static_cast<uint16_t>(paramLength));
  if (paramLength > 0) {
    std::memcpy(out + 5, params, paramLength);
  }
  out[5 + paramLength] = PacketChecksum(out + 1, 4 + paramLength);
  out[6 + paramLength] = 0x03;
  return paramLength + kPacketOverhead;
}

size_t BuildDataFrame(const uint8_t* packet, size_t packetLength, uint16_t sequence, uint8_t* out,
                      size_t capacity) {
  const size_t total = kLinkHeaderSize + packetLength;
  if (total > capacity || total > 0xFFFF) {
    return 0;
  }
  WriteHeader(out, 0x01, 0x00, sequence, static_cast<uint16_t>(total));
  std::memcpy(out + kLinkHeaderSize, packet, packetLength);
  SealFrame(out, total);
  return total;
}

void BuildBlockAddress(uint32_t selector, uint16_t areaField, uint32_t offset, uint16_t length,
                       uint8_t out[kBlockAddressSize]) {
  PutLe32(out, selector);
  PutLe16(out + 4, areaField);
  PutLe32(out + 6, offset);
  PutLe16(out + 10, length);
}

}  // namespace fw
