#pragma once
// Finding and loading the template file for the radio at hand.

#include <string>

#include "core/StepResult.h"
#include "core/UpgradeState.h"

namespace fw {

// The template file for the radio that was read: programDir + "rcdb/" + name + ".rcd",
// or programDir + "rcdb/smallMCU/" + name + ".rcd" for radios with the small processor
// (radioInfo without "MCU", or a version below 400), unless familyOverride is 2. The name
// is radioModelId with "N00" turned into "N02" for the KV68 models. Empty when radioModelId
// cannot name a file (IsUsableModelId).
std::string TemplatePathFor(const UpgradeState& state);

// Loads the template at `path` (or at its alternative path, see AlternativeTemplatePath)
// into templateData and sets radioDataSize to its length. Fails with the reason when the
// file is missing or refused. A refused file leaves
// templateData and radioDataSize as they were. A template whose data would not fit the
// radio data buffer is refused.
//
// With a `requiredDataSize` (not 0), a template whose data length differs from it is refused
// too, and the reason names both sizes: the radio's data was read at the size chosen for its
// processor, and the converted data is written back at the template's length.
StepResult LoadTemplate(UpgradeState& state, const std::string& path,
                        uint32_t requiredDataSize = 0);

}  // namespace fw
