#pragma once
// Frames and command packets of the radio link.
//
// Every request to the radio is a command packet (0x02, command code, parameter length,
// parameters, packet checksum, 0x03) wrapped in a 12-byte link header that starts with
// 0x7E and carries an RFC 1071 checksum. The builders write into caller buffers and
// never allocate; they return the number of bytes written, or 0 when the buffer is too
// small.

#include <cstddef>
#include <cstdint>

namespace fw {

inline constexpr uint8_t kFrameStart = 0x7E;
inline constexpr size_t kLinkHeaderSize = 12;
inline constexpr size_t kConnectFrameSize = 12;
inline constexpr size_t kPacketOverhead = 7;  // 0x02, code, length, checksum, 0x03
inline constexpr size_t kBlockAddressSize = 12;
inline constexpr size_t kFrameBufferSize = 1024;
// The largest parameter length whose packet still fits a 1024-byte frame buffer.
inline constexpr size_t kMaxParameterLength =
    kFrameBufferSize - kLinkHeaderSize - kPacketOverhead;  // 1005

// Command codes.
inline constexpr uint16_t kCmdReadInfo = 0x01C5;
inline constexpr uint16_t kCmdEndAccess = 0x01C6;
inline constexpr uint16_t kCmdReadBlock = 0x01C7;
inline constexpr uint16_t kCmdWriteBlock = 0x01C8;

// The memory selector sent in every block address (bytes 00 00 00 01 on the wire).
inline constexpr uint32_t kMemorySelector = 0x01000000;
// Data bytes a ReadBlock request always asks for.
inline constexpr uint16_t kBlockSize = 200;

// The Internet checksum (RFC 1071) of `n` bytes summed as little-endian 16-bit words, an
// odd last byte padded with zero for the sum only. The result goes into bytes 10-11 of a
// frame low byte first.
uint16_t FrameChecksum(const uint8_t* bytes, size_t n);

// Writes FrameChecksum into bytes 10-11 of a frame of `n` bytes (n >= 12), computing it
// with those two bytes taken as zero.
void SealFrame(uint8_t* frame, size_t n);

// True when bytes 10-11 of the frame hold its checksum.
bool FrameChecksumValid(const uint8_t* frame, size_t n);

// (0x32 - the 8-bit sum of `n` bytes) mod 256: the checksum of a command packet over its
// bytes 1 .. 4 + p.
uint8_t PacketChecksum(const uint8_t* bytes, size_t n);

// A link's frame sequence counter (starts at 1). Restarting sets it to 1; the value
// returned is written into the frame, then the counter advances. Each RadioLink has its own.
class FrameSequence {
 public:
  uint16_t Next(bool restart);

 private:
  uint16_t next_ = 1;
};

// The 12-byte connect frame: 7E 00 00 FE 20 10 00 00 00 0C and its checksum.
size_t BuildConnectFrame(uint8_t* out, size_t capacity);

// A command packet of 7 + paramLength bytes.
size_t BuildCommandPacket(uint16_t code, const uint8_t* params, size_t paramLength, uint8_t* out,
                          size_t capacity);

// Wraps a packet in a data frame (12 + packetLength bytes) with the given sequence number.
size_t BuildDataFrame(const uint8_t* packet, size_t packetLength, uint16_t sequence, uint8_t* out,
                      size_t capacity);

// The 12-byte block address of ReadBlock and WriteBlock, all fields little-endian.
void BuildBlockAddress(uint32_t selector, uint16_t areaField, uint32_t offset, uint16_t length,
                       uint8_t out[kBlockAddressSize]);

// Total frame length from bytes 8-9 (big-endian).
inline uint16_t FrameLength(const uint8_t* frame) {
  return static_cast<uint16_t>((frame[8] << 8) | frame[9]);
}

}  // namespace fw
