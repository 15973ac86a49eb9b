#include "firmware/HexRecordTable.h"

#include <algorithm>
#include <cstdio>

namespace fw {
namespace {

constexpr size_t kNone = std::u16string_view::npos;
constexpr uint8_t kTypeData = 0x00;
constexpr uint8_t kTypeEnd = 0x01;
constexpr uint8_t kTypeSegmentBase = 0x02;
constexpr uint8_t kTypeSegmentStart = 0x03;
constexpr uint8_t kTypeLinearBase = 0x04;
constexpr uint8_t kTypeLinearStart = 0x05;
// The digits of the largest record: byte count, address, type, 255 data bytes, checksum.
constexpr size_t kMaxRecordBytes = 5 + 255;

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') {
    return c - u'0';
  }
  if (c >= u'A' && c <= u'F') {
    return c - u'A' + 10;
  }
  if (c >= u'a' && c <= u'f') {
    return c - u'a' + 10;
  }
  return -1;
}

std::string Hex2(unsigned v) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", v & 0xFFu);
  return text;
}

// A character as the message shows it: printable ASCII in quotes, anything else by its code.
std::string Shown(char16_t c) {
  char text[32];
  if (c >= 0x20 && c < 0x7F) {
    std::snprintf(text, sizeof text, "'%c'", static_cast<char>(c));
  } else {
    std::snprintf(text, sizeof text, "the character U+%04X", static_cast<unsigned>(c));
  }
  return text;
}

// Checks one record line (without its line end) and decodes it into `bytes`; returns the
// reason it is wrong, or an empty text.
std::string DecodeLine(std::u16string_view line, uint8_t* bytes, size_t& count) {
  if (line.front() != u':') {
    return "it does not begin with ':'";
  }
  const std::u16string_view digits = line.substr(1);
  for (char16_t c : digits) {
    if (DigitValue(c) < 0) {
      return Shown(c) + " is not a hexadecimal digit";
    }
  }
  if (digits.size() % 2 != 0) {
    return "it holds an odd number of digits (" + std::to_string(digits.size()) + ")";
  }
  if (digits.size() < 10) {
    return "it is too short for a record (" + std::to_string(digits.size()) +
           " digits; a record has at least 10)";
  }
  const int n = DigitValue(digits[0]) * 16 + DigitValue(digits[1]);
  const size_t held = digits.size() / 2 - 5;
  if (held != static_cast<size_t>(n)) {
    return "its byte count says " + std::to_string(n) + " data bytes, but it holds " +
           std::to_string(held);
  }
  count = digits.size() / 2;
  uint8_t sum = 0;
  for (size_t k = 0; k < count; ++k) {
    bytes[k] = static_cast<uint8_t>(DigitValue(digits[2 * k]) * 16 + DigitValue(digits[2 * k + 1]));
    sum = static_cast<uint8_t>(sum + bytes[k]);
  }
  if (sum != 0) {
    const uint8_t given = bytes[count - 1];
    const uint8_t needed = static_cast<uint8_t>(given - sum);
    return "its checksum is " + Hex2(given) + ", but its bytes need " + Hex2(needed);
  }
  return std::string();
}

// Checks a record of a type other than data; returns the reason it cannot be taken.
std::string CheckOtherType(const uint8_t* r) {
  const uint8_t n = r[0];
  const uint8_t type = r[3];
  switch (type) {
    case kTypeEnd:
      return n == 0 ? std::string() : "its end record holds data";
    case kTypeSegmentBase:
    case kTypeLinearBase:
      if (n != 2) {
        return "its address record (type " + Hex2(type) + ") holds " + std::to_string(n) +
               " bytes instead of 2";
      }
      if (r[4] != 0 || r[5] != 0) {
        return "its address record (type " + Hex2(type) + ") moves the address base to " +
               Hex2(r[4]) + Hex2(r[5]) +
               ": the firmware chip takes addresses below 64 KiB only (its pages are "
               "named by records without data)";
      }
      return std::string();
    case kTypeSegmentStart:
    case kTypeLinearStart:
      return n == 4 ? std::string()
                    : "its start address record (type " + Hex2(type) + ") holds " +
                          std::to_string(n) + " bytes instead of 4";
    default:
      return "its record type " + Hex2(type) + " is none of the types 00 to 05";
  }
}

}  // namespace

HexRecordTable::HexRecordTable() : slots_(static_cast<size_t>(kSlotCount) * kSlotSize, 0) {}

std::span<const uint8_t, HexRecordTable::kSlotSize> HexRecordTable::Slot(int index) const {
  return std::span<const uint8_t, kSlotSize>(slots_.data() + static_cast<size_t>(index) * kSlotSize,
                                             kSlotSize);
}

HexRecordTable::Record HexRecordTable::At(int index) const {
  std::span<const uint8_t, kSlotSize> s = Slot(index);
  return Record{s[0], s[1], s[2], s[3], std::span<const uint8_t>(s).subspan(4, s[0])};
}

void HexRecordTable::Clear() {
  std::fill(slots_.begin(), slots_.end(), 0);
  count_ = 0;
}

uint32_t HexRecordTable::Decode(std::u16string_view text, const std::string& file) {
  Clear();
  refusal_.reset();
  auto refuse = [this, &file](int line, std::string reason, bool tooLarge = false) {
    Clear();
    refusal_ = HexRefusal{file, line, tooLarge, std::move(reason)};
    return 0u;
  };

  uint32_t dataBytes = 0;
  int records = 0;  // records that take a slot, also beyond the table's end
  int endLine = 0;
  int lineNumber = 0;
  uint8_t bytes[kMaxRecordBytes];
  for (size_t pos = 0; pos < text.size();) {
    ++lineNumber;
    size_t end = text.find(u'\n', pos);
    std::u16string_view line = text.substr(pos, end == kNone ? kNone : end - pos);
    pos = end == kNone ? text.size() : end + 1;
    if (!line.empty() && line.back() == u'\r') {
      line.remove_suffix(1);
    }
    if (line.empty()) {
      continue;
    }
    if (endLine != 0) {
      return refuse(lineNumber, "it follows the end record (line " + std::to_string(endLine) + ")");
    }
    size_t count = 0;
    std::string reason = DecodeLine(line, bytes, count);
    if (reason.empty() && bytes[3] != kTypeData) {
      reason = CheckOtherType(bytes);
    }
    if (!reason.empty()) {
      return refuse(lineNumber, reason);
    }
    const uint8_t type = bytes[3];
    if (type == kTypeEnd) {
      endLine = lineNumber;
    } else if (type != kTypeData) {
      continue;  // an address base of 0 or a start address: nothing for the chip
    }
    ++records;
    if (records > kSlotCount) {
      continue;  // counted, to say how many there are
    }
    uint8_t* slot = slots_.data() + static_cast<size_t>(records - 1) * kSlotSize;
    std::copy(bytes, bytes + count, slot);
    const uint8_t n = bytes[0];
    if (n != 0) {
      slot[4 + n] = kDataEndMark;  // over the checksum; 4 + 255 stays inside the slot
      dataBytes += n;
    }
  }
  if (endLine == 0) {
    return refuse(0, "it has no end record (:00000001FF)");
  }
  if (records > kSlotCount) {
    return refuse(0,
                  "it holds " + std::to_string(records) + " records, and at most " +
                      std::to_string(kSlotCount) + " fit",
                  true);
  }
  count_ = records;
  return dataBytes;
}

}  // namespace fw
