#pragma once
// Finding and loading the template file for the radio at hand.

#include <string>

#include "core/UpgradeState.h"

namespace fw {

// The template file for the radio that was read: programDir + "rcdb/" + name + ".rcd",
// or programDir + "rcdb/smallMCU/" + name + ".rcd" for radios with the small processor
// (radioInfo without "MCU", or a version below 400), unless familyOverride is 2. The name
// is radioModelId with "N00" turned into "N02" for the KV68 models.
std::string TemplatePathFor(const UpgradeState& state);

// Loads the template at `path` (or at its alternative path, see AlternativeTemplatePath)
// into templateData and sets radioDataSize to its length. Returns 1 on success, 0 when the
// file is missing or refused; `detail` then receives the reason. A refused file leaves
// templateData and radioDataSize as they were. A template whose data would not fit the
// radio data buffer is refused.
int LoadTemplate(UpgradeState& state, const std::string& path, std::string* detail = nullptr);

}  // namespace fw
