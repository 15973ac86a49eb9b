#pragma once
// The blocks of a download-mode batch (YMODEM style, CRC-16): a header block with the file
// name and size, 1024-byte data blocks, end of transmission and an empty closing block.
// Their sizes and the rules for the radio's replies are in protocol/DownloadRequests.h.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/DownloadRequests.h"

namespace fw {

inline constexpr size_t kBlockPayload = 1024;
inline constexpr size_t kHeaderPayload = 128;
inline constexpr uint8_t kPadByte = 0x1A;

// Header block: 0x01 0x00 0xFF, the file name bytes (already in the radio's code page), a
// zero, the size in decimal digits, zeros, CRC-16 of the 128 payload bytes (high byte
// first). False, with `out` untouched, when name, zero, digits and a terminating zero do
// not fit in the 128 payload bytes.
bool BuildHeaderBlock(std::string_view ansiName, uint32_t size, uint8_t out[kHeaderBlockSize]);

// Closing block: 0x01 0x00 0xFF, 128 zero bytes, their CRC-16.
void BuildClosingBlock(uint8_t out[kHeaderBlockSize]);

// Data block: 0x02, the block number's low 8 bits, its complement, `length` (1..1024) bytes
// of `data` followed by 0x1A up to 1024 bytes, CRC-16 of the 1024 payload bytes.
void BuildDataBlock(uint32_t blockNumber, const uint8_t* data, size_t length,
                    uint8_t out[kDataBlockSize]);

// The size in decimal digits, without leading zeros ("" for 0).
size_t DecimalDigits(uint32_t value, char out[10]);

}  // namespace fw
