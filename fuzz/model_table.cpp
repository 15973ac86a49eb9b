// The model file ("config/r55/Model.dat") loaded from arbitrary bytes, then asked about a
// radio's identity and area as the identification step does.

#include <array>
#include <string>

#include "FuzzSupport.h"
#include "config/ModelTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fw::fuzz::WriteScratchFile("Model.dat", fw::fuzz::AsText(data, size));
  fw::ModelTable table;
  table.Load(path);
  FUZZ_CHECK(table.areaCount() >= 0 && table.areaCount() <= fw::ModelTable::kMaxAreaCount);

  std::array<uint8_t, 32> block{};
  for (size_t i = 0; i < block.size() && i < size; ++i) {
    block[i] = data[i];
  }
  table.FindByIdentity(block);
  for (const fw::ModelEntry& entry : table.entries()) {
    if (entry.identity.size() == 64) {
      table.FindByIdentity(block);
    }
  }
  for (int code = 0; code < 256; code += 17) {
    table.IsAreaAccepted(code);
  }
  return 0;
}
