#pragma once
// Firmware-chip hex files as the chip update walks them: Intel HEX lines (":" count,
// address, type, data, checksum as the two's complement of the byte sum), each ended by
// CR LF.
//
// The chip's flash is larger than 64 KiB; a file reaches past the first 64 KiB with page
// records: records without data whose address low byte names the page of the data records
// after them (":00000100FF" selects page 1). The chip update sends no frame for them; it
// carries the page in every data frame. Intel's own extended-address records (type 04,
// two data bytes) are not written: the chip update would send their two bytes to the chip
// as data at address 0 of the current page.

#include <cstdint>
#include <span>
#include <string>

namespace fw::demo {

class HexText {
 public:
  // A data record (type 00) of 1 to 255 bytes at `address` of the current page.
  void Data(uint16_t address, std::span<const uint8_t> data);
  // Data records of at most `perRecord` bytes covering `data` from `address` on.
  void DataRun(uint16_t address, std::span<const uint8_t> data, int perRecord = 16);
  // A page record: the records after it belong to page `page`.
  void Page(uint8_t page);
  // The end record ":00000001FF".
  void End();

  const std::string& Text() const { return text_; }
  uint32_t DataBytes() const { return dataBytes_; }
  int Records() const { return records_; }

 private:
  void Line(uint8_t count, uint16_t address, uint8_t type, std::span<const uint8_t> data);

  std::string text_;
  uint32_t dataBytes_ = 0;
  int records_ = 0;
};

}  // namespace fw::demo
