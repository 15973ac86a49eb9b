#include "radiodata/ConverterChoice.h"

namespace fw {

ConverterKind ChooseConverter(uint32_t dataSize, const std::string& modelList) {
  const bool newModels = modelList.find("KZ") != std::string::npos ||
                         modelList.find("KX4X") != std::string::npos ||
                         modelList.find("KX2X") != std::string::npos;
  return dataSize < kConverterV1Limit && !newModels ? ConverterKind::V1 : ConverterKind::Current;
}

ConverterEntry ConverterEntryFor(ConverterKind kind) {
  if (kind == ConverterKind::V1)
    return {"mutarisV1", "RecastRadioDataV1"};
  return {"mutaris", "RecastRadioData"};
}

}  // namespace fw
