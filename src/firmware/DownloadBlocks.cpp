#include "firmware/DownloadBlocks.h"

#include <cstring>

#include "firmware/Crc16.h"

namespace fw {
namespace {

void PutCrc(uint8_t* payload, size_t length) {
  uint16_t crc = Crc16(payload, length);
  payload[length] = static_cast<uint8_t>(crc >> 8);
  payload[length + 1] = static_cast<uint8_t>(crc & 0xFF);
}

}  // namespace

size_t DecimalDigits(uint32_t value, char out[10]) {
  char reversed[10];
  size_t n = 0;
  while (value != 0) {
    reversed[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  for (size_t i = 0; i < n; ++i) {
    out[i] = reversed[n - 1 - i];
  }
  return n;
}

bool BuildHeaderBlock(std::string_view ansiName, uint32_t size, uint8_t out[kHeaderBlockSize]) {
  char digits[10];
  size_t d = DecimalDigits(size, digits);
  // Name, its zero, the digits and a zero that ends them.
  if (ansiName.size() + 1 + d + 1 > kHeaderPayload) {
    return false;
  }
  std::memset(out, 0, kHeaderBlockSize);
  out[0] = 0x01;
  out[1] = 0x00;
  out[2] = 0xFF;
  std::memcpy(out + 3, ansiName.data(), ansiName.size());
  std::memcpy(out + 4 + ansiName.size(), digits, d);
  PutCrc(out + 3, kHeaderPayload);
  return true;
}

void BuildClosingBlock(uint8_t out[kHeaderBlockSize]) {
  std::memset(out, 0, kHeaderBlockSize);
  out[0] = 0x01;
  out[1] = 0x00;
  out[2] = 0xFF;
  PutCrc(out + 3, kHeaderPayload);
}

void BuildDataBlock(uint32_t blockNumber, const uint8_t* data, size_t length,
                    uint8_t out[kDataBlockSize]) {
  if (length > kBlockPayload) {
    length = kBlockPayload;
  }
  out[0] = 0x02;
  out[1] = static_cast<uint8_t>(blockNumber & 0xFF);
  out[2] = static_cast<uint8_t>(~out[1]);
  if (length > 0) {
    std::memcpy(out + 3, data, length);
  }
  std::memset(out + 3 + length, kPadByte, kBlockPayload - length);
  PutCrc(out + 3, kBlockPayload);
}

}  // namespace fw
