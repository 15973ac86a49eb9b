#include "protocol/RadioLink.h"

#include <algorithm>
#include <cstring>

#include "serial/PortMap.h"

namespace fw {
namespace {

constexpr int kCommandRetries = 3;
constexpr int kHandshakeRepeats = 2;
constexpr uint32_t kHandshakeWaitMs = 180;
constexpr uint32_t kDisconnectWaitMs = 20;
constexpr uint32_t kInfoParamLength = 17;  // area number + 16 bytes

}  // namespace

RadioLink::~RadioLink() = default;

bool RadioLink::Connect(int portNumber, const std::string& devicePath) {
  if (portNumber < 1 || portNumber > PortMap::kMaxMappedPort) {
    return false;
  }
  if (port_.OpenJobPort(portNumber, devicePath, 115200, 8, kParityNone, kTwoStopBits) == 0) {
    return false;
  }
  uint8_t connect[kConnectFrameSize];
  BuildConnectFrame(connect, sizeof connect);
  uint8_t answer[kConnectFrameSize] = {};
  port_.Purge();
  port_.Write(connect, kConnectFrameSize);
  port_.Time().Sleep(kHandshakeWaitMs);
  const uint32_t got = port_.Read(answer, kConnectFrameSize);
  // Any answer that is not the connect frame coming straight back shows a radio.
  bool ok = got > 0 && SameBytes(connect, answer, kConnectFrameSize, got) == 0;
  for (int i = 0; !ok && i < kHandshakeRepeats; ++i) {
    ok = port_.ExchangeAgain(connect, kConnectFrameSize, answer, kConnectFrameSize) == 1;
  }
  if (!ok) {
    port_.Close();
    return false;
  }
  return true;
}

void RadioLink::Disconnect() {
  port_.Time().Sleep(kDisconnectWaitMs);
  port_.Close();
}

bool RadioLink::SendCommand(uint16_t code, const uint8_t* params, uint16_t paramLength,
                            uint16_t /*expectedReplyCode*/, uint8_t* reply, uint32_t replyLength) {
  if (paramLength == 0) {
    return false;
  }
  const size_t packetLength =
      BuildCommandPacket(code, params, paramLength, packet_, sizeof packet_);
  const size_t frameLength =
      packetLength == 0
          ? 0
          : BuildDataFrame(packet_, packetLength, sequence_.Next(true), frame_, sizeof frame_);
  if (frameLength == 0) {
    return false;  // does not fit a frame buffer: nothing is sent
  }
  // Bytes left from an earlier reply must not pass for this one.
  std::memset(reply, 0, replyLength);
  if (port_.Exchange(frame_, static_cast<uint32_t>(frameLength), reply, replyLength,
                     kCommandRetries) != 1) {
    port_.Close();
    return false;
  }
  return true;
}

std::optional<uint8_t> RadioLink::ReadInfo(const uint8_t* params, uint32_t count, uint8_t area,
                                           uint8_t* dest, uint16_t n) {
  if (n > kMaxInfoLength) {
    return std::nullopt;
  }
  params_[0] = area;
  std::memset(params_ + 1, 0, 16);
  if (params != nullptr) {
    std::memcpy(params_ + 1, params, std::min<uint32_t>(count, 16));
  }
  const uint32_t replyLength = n + kInfoReplyOverhead;
  if (!SendCommand(kCmdReadInfo, params_, kInfoParamLength, 0x81C5, reply_, replyLength)) {
    return std::nullopt;
  }
  const uint8_t status = reply_[17];
  const uint16_t infoLength = static_cast<uint16_t>(reply_[19] | (reply_[20] << 8));
  // The accepted reply's length field equals the bytes received; the information must
  // all have arrived.
  if (status == 1 || reply_[18] != area || infoLength != n || FrameLength(reply_) != replyLength) {
    return std::nullopt;
  }
  std::memcpy(dest, reply_ + kInfoDataOffset, n);
  return status;
}

bool RadioLink::EndAccess(uint8_t mode) {
  const uint8_t param = mode;
  if (!SendCommand(kCmdEndAccess, &param, 1, 0x81C6, reply_, kEndAccessReplyLength)) {
    return false;
  }
  return reply_[0] == kFrameStart && reply_[9] == kEndAccessReplyLength;
}

bool RadioLink::ReadBlock(uint32_t selector, uint16_t areaField, uint32_t offset, uint16_t n,
                          uint8_t* dest) {
  if (n == 0 || n > kBlockSize) {
    return false;  // one request never carries more than one 200-byte block
  }
  BuildBlockAddress(selector, areaField, offset, kBlockSize, params_);
  const uint32_t replyLength = std::max<uint32_t>(n, kBlockSize) + kBlockReplyOverhead;
  if (!SendCommand(kCmdReadBlock, params_, kBlockAddressSize, 0x81C7, reply_, replyLength)) {
    return false;
  }
  // A shorter framed reply is accepted by the exchange; take only data that arrived. The
  // exchange compares only the length's low byte (byte 9) with the count received, so a
  // length longer than the reply asked for says nothing about what arrived.
  const uint16_t frameLength = FrameLength(reply_);
  if (reply_[0] != kFrameStart || frameLength > replyLength || frameLength < kBlockDataOffset + n) {
    return false;
  }
  std::memcpy(dest, reply_ + kBlockDataOffset, n);
  return true;
}

bool RadioLink::WriteBlock(uint32_t selector, uint16_t areaField, uint32_t offset, uint16_t n,
                           const uint8_t* source) {
  if (n > kMaxWriteLength) {
    return false;
  }
  BuildBlockAddress(selector, areaField, offset, n, params_);
  if (n > 0) {
    std::memcpy(params_ + kBlockAddressSize, source, n);
  }
  if (!SendCommand(kCmdWriteBlock, params_, static_cast<uint16_t>(kBlockAddressSize + n), 0x81C8,
                   reply_, kWriteReplyLength)) {
    return false;
  }
  return reply_[0] == kFrameStart;
}

}  // namespace fw
