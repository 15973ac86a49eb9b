// The firmware chip's hex file: its bytes read as ANSI text and decoded into the record
// table, as the hex file loader does.

#include <string>

#include "FuzzSupport.h"
#include "firmware/HexRecordTable.h"
#include "platform/CodePage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fw::HexRecordTable table;  // 393 000 bytes: built once, every decode clears it
  const std::u16string text = fw::Cp936ToUtf16(fw::fuzz::AsText(data, size));
  const uint32_t dataBytes = table.Decode(text);
  FUZZ_CHECK(table.Count() >= 1 && table.Count() <= fw::HexRecordTable::kSlotCount);
  FUZZ_CHECK(dataBytes <= 255u * static_cast<uint32_t>(table.Count()));
  for (int i = 0; i < table.Count(); ++i) {
    fw::HexRecordTable::Record r = table.At(i);
    FUZZ_CHECK(r.data.size() == r.byteCount);
  }
  return 0;
}
