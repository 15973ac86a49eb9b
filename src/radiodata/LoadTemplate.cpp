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

StepResult LoadTemplate(UpgradeState& state, const std::string& path, uint32_t requiredDataSize) {
  const size_t bufferSize = state.radioDataBuffer.size();
  const uint32_t maxData = bufferSize > std::numeric_limits<uint32_t>::max()
                               ? std::numeric_limits<uint32_t>::max()
                               : static_cast<uint32_t>(bufferSize);
  TemplateParseResult r = ReadTemplateFile(path, maxData);
  if (!r.ok) {
    return StepResult::Failed(r.reason);
  }
  if (requiredDataSize != 0 && r.data.size() != requiredDataSize) {
    return StepResult::Failed("The template " + path + " holds " + std::to_string(r.data.size()) +
                              " bytes of radio data, but the radio's data is " +
                              std::to_string(requiredDataSize) + " bytes.");
  }
  state.templateData = std::move(r.data);
  state.radioDataSize = static_cast<uint32_t>(state.templateData.size());
  return StepResult::Done();
}

}  // namespace fw
