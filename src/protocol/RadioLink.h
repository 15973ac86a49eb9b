#pragma once
// The framed command link to the radio (connect, information areas, 200-byte blocks).
//
// Connected while the port is open. A command whose reply does not arrive or fails its
// checks closes the port, so every later command of that connection fails until Connect
// is called again. Every operation says whether it succeeded; ReadInfo gives the radio's
// status byte beside its information.

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/LinkFrame.h"
#include "protocol/LinkPort.h"

namespace fw {

class RadioLink {
 public:
  // Reply lengths of the commands.
  static constexpr uint32_t kInfoReplyOverhead = 23;  // ReadInfo: n + 23
  static constexpr uint32_t kEndAccessReplyLength = 20;
  static constexpr uint32_t kBlockReplyOverhead = 32;  // ReadBlock: max(n, 200) + 32
  static constexpr uint32_t kWriteReplyLength = 32;
  static constexpr uint32_t kInfoDataOffset = 21;
  static constexpr uint32_t kBlockDataOffset = 30;
  // The most information bytes one ReadInfo may ask for: a framed reply's length byte
  // is a single byte.
  static constexpr uint16_t kMaxInfoLength = 255 - kInfoReplyOverhead;
  // The most data bytes one WriteBlock may carry in a 1024-byte frame.
  static constexpr uint16_t kMaxWriteLength = kMaxParameterLength - kBlockAddressSize;

  RadioLink() = default;
  virtual ~RadioLink();
  RadioLink(const RadioLink&) = delete;
  RadioLink& operator=(const RadioLink&) = delete;

  LinkPort& Port() { return port_; }

  // Opens the job's port, COM `portNumber` at `devicePath` (115200 baud, 8 data bits, no
  // parity, two stop bits) and shakes hands with the radio. True when the radio answered;
  // false with the port closed otherwise (also for a number outside 1..16).
  bool Connect(int portNumber, const std::string& devicePath);
  // Sleeps 20 ms and closes the port.
  void Disconnect();

  // Sends one command packet in a data frame and waits for a framed reply of
  // `replyLength` bytes (3 retries). True when the reply arrived; a parameter length of 0
  // sends nothing and fails. `expectedReplyCode` is not checked. Closes the port on failure.
  bool SendCommand(uint16_t code, const uint8_t* params, uint16_t paramLength,
                   uint16_t expectedReplyCode, uint8_t* reply, uint32_t replyLength);

  // Asks for `n` bytes of information area `area`; `params` are the 16 bytes sent after
  // the area number (`count` of them given, the rest zero). When the information arrived,
  // copies the n bytes to `dest` and returns the radio's status byte (never 1: a status of
  // 1 is the radio's refusal); returns nothing and leaves `dest` untouched on any failure
  // (no reply, status 1, wrong area or length, short reply).
  std::optional<uint8_t> ReadInfo(const uint8_t* params, uint32_t count, uint8_t area,
                                  uint8_t* dest, uint16_t n);
  // True when the radio acknowledged the end of the access.
  bool EndAccess(uint8_t mode);
  // Reads `n` (1..200) bytes at `offset`: asks for a 200-byte block and copies the first
  // n data bytes. True when they arrived.
  bool ReadBlock(uint32_t selector, uint16_t areaField, uint32_t offset, uint16_t n, uint8_t* dest);
  // Writes `n` bytes from `source` at `offset`. True when the radio answered.
  bool WriteBlock(uint32_t selector, uint16_t areaField, uint32_t offset, uint16_t n,
                  const uint8_t* source);

 private:
  LinkPort port_;
  FrameSequence sequence_;
  uint8_t params_[kFrameBufferSize] = {};
  uint8_t packet_[kFrameBufferSize] = {};
  uint8_t frame_[kFrameBufferSize] = {};
  uint8_t reply_[kFrameBufferSize] = {};
};

}  // namespace fw
