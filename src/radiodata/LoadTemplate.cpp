#include "radiodata/LoadTemplate.h"

#include <limits>

#include "radiodata/TemplateFile.h"

namespace fw {

std::string TemplatePathFor(const UpgradeState& state) {
  const std::string name = TemplateNameFor(state.radioModelId);
  const bool largeProcessor = state.radioInfo.find("MCU") != std::string::npos &&
                              static_cast<uint32_t>(state.radioVersion) >= 400;
  const char* folder = (!largeProcessor && state.familyOverride != 2) ? "rcdb/smallMCU/" : "rcdb/";
  return state.programDir + folder + name + ".rcd";
}

int LoadTemplate(UpgradeState& state, const std::string& path, std::string* detail) {
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
  state.templateData = std::move(r.data);
  state.radioDataSize = static_cast<uint32_t>(state.templateData.size());
  if (detail)
    detail->clear();
  return 1;
}

}  // namespace fw
