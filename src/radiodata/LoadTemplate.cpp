#include "radiodata/LoadTemplate.h"

#include <limits>
#include <string>

#include "config/Installation.h"
#include "radiodata/TemplateFile.h"

namespace fw {

std::string TemplatePathFor(const UpgradeState& state) {
  if (!IsUsableModelId(state.radioModelId)) {
    return std::string();
  }
  const std::string name = TemplateNameFor(state.radioModelId);
  const bool largeProcessor = state.radioInfo.find("MCU") != std::string::npos &&
                              static_cast<uint32_t>(state.radioVersion) >= 400;
  const char* folder = (!largeProcessor && state.familyOverride != 2) ? "rcdb/smallMCU/" : "rcdb/";
  return state.installation->programDir + folder + name + ".rcd";
}

int LoadTemplate(UpgradeState& state, const std::string& path, std::string* detail,
                 uint32_t requiredDataSize) {
  const size_t bufferSize = state.radioDataBuffer.size();
  const uint32_t maxData = bufferSize > std::numeric_limits<uint32_t>::max()
                               ? std::numeric_limits<uint32_t>::max()
                               : static_cast<uint32_t>(bufferSize);
  TemplateParseResult r = ReadTemplateFile(path, maxData);
  if (!r.ok) {
    if (detail)
      *detail = r.reason;
    return 0;
  }
  if (requiredDataSize != 0 && r.data.size() != requiredDataSize) {
    if (detail)
      *detail = "The template " + path + " holds " + std::to_string(r.data.size()) +
                " bytes of radio data, but the radio's data is " +
                std::to_string(requiredDataSize) + " bytes.";
    return 0;
  }
  state.templateData = std::move(r.data);
  state.radioDataSize = static_cast<uint32_t>(state.templateData.size());
  if (detail)
    detail->clear();
  return 1;
}

}  // namespace fw
