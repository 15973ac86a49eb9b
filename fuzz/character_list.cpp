// Character lists ("SimpleCH.dat") from arbitrary bytes, read into a scratch area whose size
// the first input byte picks (so that full areas are reached too): entries stay inside the
// area and the bytes past the last entry are left alone.

#include <vector>

#include "FuzzSupport.h"
#include "font/CharacterList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  // 0 to 63 entries and an odd remainder of up to 31 bytes; 255 means the real 9600 entries.
  const size_t scratchSize = data[0] == 255 ? size_t{307200} : (data[0] % 64) * 32 + data[0] % 32;
  ++data;
  --size;
  constexpr uint8_t kUntouched = 0xA5;
  std::vector<uint8_t> scratch(scratchSize + 64, kUntouched);
  fw::CharacterListResult r = fw::ReadCharacterList(data, size, scratch.data(), scratchSize);
  FUZZ_CHECK(r.entryCount >= 0);
  const size_t used = static_cast<size_t>(r.entryCount) * fw::kCharacterEntrySize;
  FUZZ_CHECK(used <= scratchSize);
  FUZZ_CHECK(r.truncatedLines <= r.entryCount);
  for (size_t i = used; i < scratch.size(); ++i) {
    FUZZ_CHECK(scratch[i] == kUntouched);
  }

  // The boundary fit never splits a double-byte character and never passes the limit.
  for (size_t limit : {size_t{0}, size_t{1}, size_t{31}, size_t{32}, size}) {
    const size_t n = fw::FitAtCharacterBoundary(data, size, limit);
    FUZZ_CHECK(n <= limit && n <= size);
  }
  return 0;
}
