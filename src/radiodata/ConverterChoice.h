#pragma once
// Which of the maker's two converters serves a radio: the older one ("mutarisV1",
// RecastRadioDataV1) for data below 126976 bytes (0x1F000) unless the installation serves
// the KZ, KX4X or KX2X models; the current one ("mutaris", RecastRadioData) otherwise.

#include <cstdint>
#include <string>

namespace fw {

inline constexpr uint32_t kConverterV1Limit = 0x1F000;  // 126976

enum class ConverterKind { V1, Current };

struct ConverterEntry {
  const char* libraryBase;  // "mutarisV1" or "mutaris"
  const char* symbol;       // "RecastRadioDataV1" or "RecastRadioData"
};

ConverterKind ChooseConverter(uint32_t dataSize, const std::string& modelList);
ConverterEntry ConverterEntryFor(ConverterKind kind);

}  // namespace fw
