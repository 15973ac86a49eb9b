// The firmware chip's hex file: its bytes read as ANSI text and decoded into the record
// table, as the hex file loader does. A file is taken whole or refused: a refused one leaves
// the table empty with a reason; a taken one ends with its end record, and every record in
// the table is a data record whose data lies inside its slot, marked '/' after it.

#include <string>

#include "FuzzSupport.h"
#include "firmware/HexRecordTable.h"
#include "platform/CodePage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fw::HexRecordTable table;  // 393 000 bytes: built once, every decode clears it
  const std::u16string text = fw::Cp936ToUtf16(fw::fuzz::AsText(data, size));
  const uint32_t dataBytes = table.Decode(text);
  if (table.Refusal()) {
    FUZZ_CHECK(table.Count() == 0 && dataBytes == 0);
    FUZZ_CHECK(!table.Refusal()->reason.empty() && table.Refusal()->line >= 0);
    // Nothing of the refused file stays in the table.
    for (int i = 0; i < fw::HexRecordTable::kSlotCount; i += 97) {
      for (uint8_t b : table.Slot(i)) {
        FUZZ_CHECK(b == 0);
      }
    }
    return 0;
  }
  FUZZ_CHECK(table.Count() >= 1 && table.Count() <= fw::HexRecordTable::kSlotCount);
  uint32_t sum = 0;
  for (int i = 0; i < table.Count(); ++i) {
    fw::HexRecordTable::Record r = table.At(i);
    FUZZ_CHECK(r.data.size() == r.byteCount);
    const bool last = i + 1 == table.Count();
    FUZZ_CHECK(r.type == (last ? 0x01 : 0x00));
    const auto slot = table.Slot(i);
    if (r.byteCount != 0) {
      FUZZ_CHECK(slot[4 + r.byteCount] == fw::HexRecordTable::kDataEndMark);
      sum += r.byteCount;
    }
    for (size_t k = 5 + r.byteCount; k < slot.size(); ++k) {
      FUZZ_CHECK(slot[k] == 0);
    }
  }
  FUZZ_CHECK(table.At(table.Count() - 1).byteCount == 0);
  FUZZ_CHECK(dataBytes == sum);
  return 0;
}
