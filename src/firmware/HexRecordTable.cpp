#include "firmware/HexRecordTable.h"

#include <algorithm>

namespace fw {
namespace {

constexpr size_t kNone = std::u16string_view::npos;

uint8_t DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') {
    return static_cast<uint8_t>(c - u'0');
  }
  if (c >= u'A' && c <= u'F') {
    return static_cast<uint8_t>(c - u'A' + 10);
  }
  return 0;  // lower-case letters and anything else
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

void HexRecordTable::DecodeInto(int slot, std::u16string_view recordText) {
  uint8_t* out = slots_.data() + static_cast<size_t>(slot) * kSlotSize;
  // Two characters a byte; an odd last character is ignored; never past the slot's end.
  size_t bytes = std::min(recordText.size() / 2, kSlotSize);
  for (size_t k = 0; k < bytes; ++k) {
    out[k] = static_cast<uint8_t>(DigitValue(recordText[2 * k]) * 16 +
                                  DigitValue(recordText[2 * k + 1]));
  }
}

uint32_t HexRecordTable::Decode(std::u16string_view text) {
  std::fill(slots_.begin(), slots_.end(), 0);
  count_ = 0;
  uint32_t dataBytes = 0;
  size_t s = 0;
  for (int i = 0; i < kSlotCount; ++i) {
    ++count_;
    size_t d = text.find(u':', s);
    // Without any ':' the record is read from the start of the text (a search that would
    // start below 0 starts at 0).
    size_t start = d == kNone ? 0 : d + 1;
    size_t e = d == kNone ? kNone : text.find(u':', d + 1);
    if (e == kNone) {
      DecodeInto(i, text.substr(std::min(start, text.size()), 10));
      break;
    }
    // Up to the next ':' less the CR LF before it.
    long length = static_cast<long>(e) - static_cast<long>(d) - 3;
    if (length > 0) {
      DecodeInto(i, text.substr(start, static_cast<size_t>(length)));
      // The first ":00" at or after the record's ':' lies before the next ':' only when
      // the record itself begins with it.
      bool emptyRecord = text.substr(d, 3) == u":00";
      if (!emptyRecord) {
        uint8_t* slot = slots_.data() + static_cast<size_t>(i) * kSlotSize;
        slot[4 + slot[0]] = kDataEndMark;  // 4 + 255 stays inside the 262 bytes
        dataBytes += slot[0];
      }
    }
    s = e;
  }
  return dataBytes;
}

}  // namespace fw
