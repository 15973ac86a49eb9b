// The download-mode blocks built from outside values: a header block from a file name (the
// image name an installation's settings give) and a size, and a data block from file bytes.
// Checked against the layout and a CRC computed here bit by bit.
//
// Input: 4 bytes size (little-endian), 1 byte name length, the name, then the data.

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "firmware/DownloadBlocks.h"

namespace {

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial 0xFFFF, no reflection, no final XOR.
uint16_t ReferenceCrc(const uint8_t* p, size_t n) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint16_t>(p[i] << 8);
    for (int b = 0; b < 8; ++b) {
      crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

bool CrcAfter(const uint8_t* payload, size_t n) {
  const uint16_t crc = ReferenceCrc(payload, n);
  return payload[n] == (crc >> 8) && payload[n + 1] == (crc & 0xFF);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) {
    return 0;
  }
  const uint32_t fileSize =
      data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
  const size_t nameLength = std::min<size_t>(data[4], size - 5);
  const std::string_view name(reinterpret_cast<const char*>(data + 5), nameLength);
  const uint8_t* rest = data + 5 + nameLength;
  const size_t restSize = size - 5 - nameLength;

  char digits[10];
  const size_t d = fw::DecimalDigits(fileSize, digits);
  FUZZ_CHECK(d <= 10 && (fileSize == 0) == (d == 0));

  uint8_t header[fw::kHeaderBlockSize];
  std::memset(header, 0xEE, sizeof(header));
  const bool fits = name.size() + 1 + d + 1 <= fw::kHeaderPayload;
  FUZZ_CHECK(fw::BuildHeaderBlock(name, fileSize, header) == fits);
  if (fits) {
    FUZZ_CHECK(header[0] == 0x01 && header[1] == 0x00 && header[2] == 0xFF);
    FUZZ_CHECK(std::memcmp(header + 3, name.data(), name.size()) == 0);
    FUZZ_CHECK(header[3 + name.size()] == 0);
    FUZZ_CHECK(std::memcmp(header + 4 + name.size(), digits, d) == 0);
    for (size_t i = 4 + name.size() + d; i < 3 + fw::kHeaderPayload; ++i) {
      FUZZ_CHECK(header[i] == 0);
    }
    FUZZ_CHECK(CrcAfter(header + 3, fw::kHeaderPayload));
  } else {
    FUZZ_CHECK(header[0] == 0xEE && header[fw::kHeaderBlockSize - 1] == 0xEE);  // untouched
  }

  std::vector<uint8_t> block(fw::kDataBlockSize);
  const uint32_t number = fileSize >> 8;
  fw::BuildDataBlock(number, rest, restSize, block.data());
  const size_t kept = std::min(restSize, fw::kBlockPayload);
  FUZZ_CHECK(block[0] == 0x02 && block[1] == (number & 0xFF) && block[2] == (~number & 0xFF));
  FUZZ_CHECK(kept == 0 || std::memcmp(block.data() + 3, rest, kept) == 0);
  for (size_t i = 3 + kept; i < 3 + fw::kBlockPayload; ++i) {
    FUZZ_CHECK(block[i] == fw::kPadByte);
  }
  FUZZ_CHECK(CrcAfter(block.data() + 3, fw::kBlockPayload));
  return 0;
}
