#pragma once
// CRC-16 of the download-mode blocks: polynomial 0x1021, initial value 0xFFFF, most
// significant bit first, no reflection, no final XOR (CCITT-FALSE).

#include <cstddef>
#include <cstdint>

namespace fw {

uint16_t Crc16(const uint8_t* data, size_t length);

}  // namespace fw
