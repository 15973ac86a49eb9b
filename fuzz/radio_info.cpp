// The radio's information block, of any content, taken apart (identity, area code, model
// text and its fix-up), and the fix-up applied to texts of any length. Replies shorter
// than the block are padded with zeros, as the zero-filled reply buffer leaves them.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "radiodata/RadioInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> block(fw::kRadioInfoSize, 0);
  std::memcpy(block.data(), data, std::min(size, block.size()));
  const fw::RadioInfo info = fw::DecodeRadioInfoBlock(block.data());
  FUZZ_CHECK(std::memcmp(info.identity.data(), block.data() + fw::kIdentityOffset,
                         fw::kIdentitySize) == 0);
  FUZZ_CHECK(info.areaCode == block[fw::kAreaCodeOffset]);
  // At most 16 + 5 + 7 characters, each at most two bytes of UTF-8.
  FUZZ_CHECK(info.modelId.size() <= 2 * 28);

  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string fixed = fw::FixUpModelText(text);
  FUZZ_CHECK(fixed.size() <= 28);
  const size_t kept = std::min<size_t>(text.size(), 16);
  FUZZ_CHECK(fixed.compare(0, kept, text, 0, kept) == 0);
  FUZZ_CHECK(fw::ModelVariantCode(text).size() == 5);
  return 0;
}
