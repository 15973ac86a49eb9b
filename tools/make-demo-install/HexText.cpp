#include "HexText.h"

#include <algorithm>
#include <stdexcept>

namespace fw::demo {

void HexText::Data(uint16_t address, std::span<const uint8_t> data) {
  if (data.empty() || data.size() > 255) {
    throw std::invalid_argument("a hex data record holds 1 to 255 bytes");
  }
  Line(static_cast<uint8_t>(data.size()), address, 0x00, data);
  dataBytes_ += static_cast<uint32_t>(data.size());
}

void HexText::DataRun(uint16_t address, std::span<const uint8_t> data, int perRecord) {
  const size_t step = static_cast<size_t>(std::clamp(perRecord, 1, 255));
  if (address + data.size() > 0x10000) {
    throw std::invalid_argument("a run of hex records must stay inside its 64 KiB page");
  }
  for (size_t at = 0; at < data.size(); at += step) {
    Data(static_cast<uint16_t>(address + at), data.subspan(at, std::min(step, data.size() - at)));
  }
}

void HexText::Page(uint8_t page) {
  Line(0, page, 0x00, {});
}

void HexText::End() {
  Line(0, 0x0000, 0x01, {});
}

void HexText::Line(uint8_t count, uint16_t address, uint8_t type, std::span<const uint8_t> data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  uint8_t sum = 0;
  auto put = [&](uint8_t b) {
    sum = static_cast<uint8_t>(sum + b);
    text_ += kDigits[b >> 4];
    text_ += kDigits[b & 0x0F];
  };
  text_ += ':';
  put(count);
  put(static_cast<uint8_t>(address >> 8));
  put(static_cast<uint8_t>(address & 0xFF));
  put(type);
  for (uint8_t b : data) {
    put(b);
  }
  const uint8_t check = static_cast<uint8_t>(0x100 - sum);
  text_ += kDigits[check >> 4];
  text_ += kDigits[check & 0x0F];
  text_ += "\r\n";
  ++records_;
}

}  // namespace fw::demo
