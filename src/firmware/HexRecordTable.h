#pragma once
// The firmware chip's hex records, decoded into a fixed table of 1500 slots of 262 bytes.
//
// A slot holds the record's bytes as they stand after the ':' in the file: byte count n,
// address high and low byte, record type, the n data bytes, then for a data record (n not
// 0) the character '/' written over the checksum, for a record with n = 0 the checksum as
// decoded; the rest is zero. The chip update walks Count() slots in order.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace fw {

class HexRecordTable {
 public:
  static constexpr int kSlotCount = 1500;
  static constexpr size_t kSlotSize = 262;
  static constexpr uint8_t kDataEndMark = 0x2F;  // '/'

  // One decoded record, viewed in its slot.
  struct Record {
    uint8_t byteCount;
    uint8_t addressHigh;
    uint8_t addressLow;
    uint8_t type;
    std::span<const uint8_t> data;  // byteCount bytes
  };

  HexRecordTable();

  // Replaces the table with the records of `text` (the hex file as text, one unit per
  // character) and returns the sum of the byte counts of the data records.
  //
  // Records are cut at the next ':' less the two characters of a CR LF line end; the last
  // record (no ':' after it) is read from the 10 characters after its ':'. Digits are '0'-'9'
  // and upper-case 'A'-'F'; any other character counts as 0. No checksum is checked. At
  // most 1500 records are kept; a record text longer than its slot is cut to the slot.
  uint32_t Decode(std::u16string_view text);

  // Number of slots the last decode filled (the chip update walks this many).
  int Count() const { return count_; }
  // Slot `index` (0 <= index < kSlotCount), all 262 bytes.
  std::span<const uint8_t, kSlotSize> Slot(int index) const;
  // Slot `index` read as a record.
  Record At(int index) const;

 private:
  void DecodeInto(int slot, std::u16string_view recordText);

  std::vector<uint8_t> slots_;  // kSlotCount * kSlotSize bytes
  int count_ = 0;
};

}  // namespace fw
