#pragma once
// The firmware chip's hex records, decoded into a fixed table of 1500 slots of 262 bytes.
//
// A slot holds the record's bytes as they stand after the ':' in the file: byte count n,
// address high and low byte, record type, the n data bytes, then for a data record (n not
// 0) the character '/' written over the checksum, for a record with n = 0 (a page record,
// or the end record) the checksum as decoded; the rest is zero. The chip update walks
// Count() slots in order.
//
// A file is taken whole or not at all: every record is checked (':' first, hexadecimal
// digits of either case, a length that matches its byte count, its checksum, its type), the
// file must end with an end record, and all its records must fit the table. A refused file
// leaves the table empty and says which line is wrong and why.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// Why a hex file was refused.
struct HexRefusal {
  std::string file;       // the file as its loader named it
  int line = 0;           // the first bad line (1-based); 0 when the file as a whole is wrong
  bool tooLarge = false;  // more records than the table holds
  std::string reason;     // e.g. "its checksum is 3C, but its bytes need 3D"
};

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
  // character; lines end in CR LF or LF alone; empty lines are skipped) and returns the sum
  // of the byte counts of the data records. Data records (type 00) and the end record (01)
  // take a slot each, in order; extended address records (02, 04) that keep the address
  // base at 0 and start address records (03, 05) tell the chip nothing and take none. When
  // the text is refused the table is left empty, 0 is returned and Refusal() says why.
  // `file` names the text's file in a refusal.
  uint32_t Decode(std::u16string_view text, const std::string& file = std::string());

  // Number of slots the last decode filled (the chip update walks this many).
  int Count() const { return count_; }
  // Slot `index` (0 <= index < kSlotCount), all 262 bytes.
  std::span<const uint8_t, kSlotSize> Slot(int index) const;
  // Slot `index` read as a record.
  Record At(int index) const;
  // Why the last decode refused its text; empty when it was taken (or nothing was decoded).
  const std::optional<HexRefusal>& Refusal() const { return refusal_; }

 private:
  void Clear();

  std::vector<uint8_t> slots_;  // kSlotCount * kSlotSize bytes
  int count_ = 0;
  std::optional<HexRefusal> refusal_;
};

}  // namespace fw
